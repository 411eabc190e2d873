// SPDX-License-Identifier: MIT
// A small editor's main window; any number of them share one launch list.
#pragma once

#include <QMainWindow>

class QPlainTextEdit;

class EditorWindow : public QMainWindow
{
    Q_OBJECT

public:
    /// A window whose Tools menu comes from the launch list @p listFile.
    explicit EditorWindow(const QString &listFile);

    QString fileName() const { return m_fileName; }
    QPlainTextEdit *editor() const { return m_text; }

public Q_SLOTS:
    /// Writes the text to the file (a tool asks for it before it starts).
    void save();
    /// Reads the file again (a tool changed it).
    void reload();

private:
    /// What Lanyard adds: the Tools menu and its configuration (Tools.cpp).
    void addTools(const QString &listFile);

    QPlainTextEdit *m_text = nullptr;
    QString m_fileName;
};
