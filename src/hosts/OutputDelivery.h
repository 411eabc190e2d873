// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/ToolsMenu.h>

#include <QPointer>
#include <QTextCursor>
#include <QTextDocument>
#include <QWidget>

namespace Lanyard {

/**
 * How a tool's output reaches the host's document: what the tool was aimed at when it started
 * (the selection or the whole document, and where the cursor was), the input taken from there,
 * and the output put back there — through a QPlainTextEdit or QTextEdit, whose cursors follow
 * the user's edits, or through the host's hooks. Output that would replace text the user
 * changed meanwhile is held back, never put in.
 */
class OutputDelivery
{
public:
    using OutputMode = ToolsMenu::OutputMode;

    /// What one run was aimed at, taken when it started.
    struct Aim
    {
        ToolBehaviour::Input input = ToolBehaviour::Input::None;
        QString given; ///< the text the tool was given to read, or would replace
        QString shown; ///< for the hooks: what the hook gave, to compare at delivery
        QPointer<QTextDocument> document;
        QTextCursor cursor; ///< in the editor's document: the text given, or the cursor
    };

    void setHooks(ToolsMenu::SelectionHook selection, ToolsMenu::OutputHook output, ToolsMenu::DocumentHook document);
    /// Input and output go through @p editor (QPlainTextEdit or QTextEdit) from now on; @p others
    /// takes Pane and NewDocument output. Null: the hooks again.
    void setTextEdit(QWidget *editor, ToolsMenu::OutputHook others);
    QWidget *textEdit() const { return m_editor; }

    Aim aim(const ToolBehaviour &tool) const;
    /// A piece of a pane run's output, as it comes.
    void stream(const QString &piece) const;
    /// Puts a run's whole output where @p mode says; false when it was held back, as the text
    /// the tool was given changed meanwhile or its document went.
    bool deliver(const Aim &aim, OutputMode mode, const QString &output) const;

private:
    QTextCursor editorCursor() const;
    void toHost(OutputMode mode, const QString &text) const;

    ToolsMenu::SelectionHook m_selection;
    ToolsMenu::DocumentHook m_document;
    ToolsMenu::OutputHook m_output;
    QPointer<QWidget> m_editor;
};

/// @p output as it goes into text: one line break at its end dropped unless the input ended with one.
QString fittedOutput(ToolsMenu::OutputMode mode, QString output, const QString &input);

} // namespace Lanyard
