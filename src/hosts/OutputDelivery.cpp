// SPDX-License-Identifier: MIT
#include "OutputDelivery.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QTextDocumentFragment>
#include <QTextEdit>

namespace Lanyard {

QString fittedOutput(ToolsMenu::OutputMode mode, QString output, const QString &input)
{
    using Mode = ToolsMenu::OutputMode;
    const bool intoText = mode == Mode::InsertAtCursor || mode == Mode::ReplaceSelection || mode == Mode::Clipboard;
    if (intoText && output.endsWith(u'\n') && !input.endsWith(u'\n'))
        output.chop(1);
    return output;
}

void OutputDelivery::setHooks(ToolsMenu::SelectionHook selection, ToolsMenu::OutputHook output,
                              ToolsMenu::DocumentHook document)
{
    m_selection = std::move(selection);
    m_output = std::move(output);
    m_document = std::move(document);
    m_editor = nullptr;
}

void OutputDelivery::setTextEdit(QWidget *editor, ToolsMenu::OutputHook others)
{
    m_editor = editor;
    m_output = std::move(others);
}

QTextCursor OutputDelivery::editorCursor() const
{
    if (auto *plain = qobject_cast<QPlainTextEdit *>(m_editor))
        return plain->textCursor();
    if (auto *rich = qobject_cast<QTextEdit *>(m_editor))
        return rich->textCursor();
    return QTextCursor();
}

OutputDelivery::Aim OutputDelivery::aim(const ToolBehaviour &tool) const
{
    Aim aim;
    aim.input = tool.input;
    const bool wholeDocument = tool.input == ToolBehaviour::Input::Document;
    if (QTextCursor cursor = editorCursor(); !cursor.isNull()) {
        if (wholeDocument)
            cursor.select(QTextCursor::Document);
        aim.document = cursor.document();
        aim.cursor = cursor;
        aim.given = cursor.selection().toPlainText();
        return aim;
    }
    if (m_editor)
        return aim; // an editor that went: nothing to read, nowhere to write
    aim.shown = wholeDocument && m_document ? m_document() : m_selection ? m_selection() : QString();
    aim.given = tool.input == ToolBehaviour::Input::None ? QString() : aim.shown;
    return aim;
}

void OutputDelivery::stream(const QString &piece) const { toHost(OutputMode::Pane, piece); }

void OutputDelivery::toHost(OutputMode mode, const QString &text) const
{
    if (m_output)
        m_output(mode, text);
}

bool OutputDelivery::deliver(const Aim &aim, OutputMode mode, const QString &output) const
{
    const QString text = fittedOutput(mode, output, aim.input == ToolBehaviour::Input::None ? QString() : aim.given);
    switch (mode) {
    case OutputMode::Ignore:
    case OutputMode::Pane:
        return true;
    case OutputMode::Clipboard:
        if (qGuiApp) // a host tearing down may have none left
            QGuiApplication::clipboard()->setText(text);
        return true;
    case OutputMode::NewDocument:
        toHost(mode, text);
        return true;
    case OutputMode::InsertAtCursor:
    case OutputMode::ReplaceSelection:
        break;
    }
    if (!aim.cursor.isNull()) {
        if (!aim.document)
            return false;
        QTextCursor cursor = aim.cursor;
        // What the tool was given, not what is selected now: a selection deleted meanwhile is
        // a change, not a place to insert at.
        const bool replacing = mode == OutputMode::ReplaceSelection && !aim.given.isEmpty();
        if (replacing && cursor.selection().toPlainText() != aim.given)
            return false;
        if (!replacing)
            cursor.clearSelection();
        cursor.insertText(text);
        return true;
    }
    // Through the hooks the host puts the text where its cursor is: only where that is still
    // the text the tool was given.
    if (mode == OutputMode::ReplaceSelection) {
        const bool wholeDocument = aim.input == ToolBehaviour::Input::Document && m_document;
        const QString now = wholeDocument ? m_document() : m_selection ? m_selection() : QString();
        if (now != aim.shown)
            return false;
    }
    toHost(mode, text);
    return true;
}

} // namespace Lanyard
