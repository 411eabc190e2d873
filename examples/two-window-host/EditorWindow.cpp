// SPDX-License-Identifier: MIT
#include "EditorWindow.h"

#include <QApplication>
#include <QMenuBar>
#include <QPlainTextEdit>

EditorWindow::EditorWindow(const QString &listFile)
{
    setAttribute(Qt::WA_DeleteOnClose);
    m_text = new QPlainTextEdit(this);
    setCentralWidget(m_text);
    m_fileName = QStringLiteral("/etc/hostname"); // as if the user had opened it
    m_text->setPlainText(QStringLiteral("Pick an entry of the Tools menu."));

    QMenu *file = menuBar()->addMenu(tr("&File"));
    QAction *newWindow = file->addAction(tr("&New Window"), this, [listFile] { (new EditorWindow(listFile))->show(); });
    newWindow->setObjectName(QStringLiteral("actionNewWindow"));
    newWindow->setShortcut(QKeySequence::New);
    QAction *quit = file->addAction(tr("&Quit"), qApp, &QApplication::closeAllWindows);
    quit->setShortcut(QKeySequence::Quit);
    addTools(listFile);
}

QString EditorWindow::selectedText() const { return m_text->textCursor().selectedText(); }
