// SPDX-License-Identifier: MIT
#include "EditorWindow.h"

#include <QApplication>
#include <QFile>
#include <QMenuBar>
#include <QPlainTextEdit>

EditorWindow::EditorWindow(const QString &listFile)
{
    setAttribute(Qt::WA_DeleteOnClose);
    m_text = new QPlainTextEdit(this);
    setCentralWidget(m_text);
    m_fileName = QStringLiteral("/etc/hostname"); // as if the user had opened it
    reload();

    QMenu *file = menuBar()->addMenu(tr("&File"));
    QAction *newWindow = file->addAction(tr("&New Window"), this, [listFile] { (new EditorWindow(listFile))->show(); });
    newWindow->setObjectName(QStringLiteral("actionNewWindow"));
    newWindow->setShortcut(QKeySequence::New);
    QAction *quit = file->addAction(tr("&Quit"), qApp, &QApplication::closeAllWindows);
    quit->setShortcut(QKeySequence::Quit);
    addTools(listFile);
}

void EditorWindow::save()
{
    QFile file(m_fileName);
    if (file.open(QIODevice::WriteOnly))
        file.write(m_text->toPlainText().toUtf8());
}

void EditorWindow::reload()
{
    QFile file(m_fileName);
    m_text->setPlainText(file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString());
}
