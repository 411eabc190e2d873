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
    QString selectedText() const;

private:
    /// What Lanyard adds: the Tools menu and its configuration (Tools.cpp).
    void addTools(const QString &listFile);

    QPlainTextEdit *m_text = nullptr;
    QString m_fileName;
};
