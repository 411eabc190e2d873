// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/Export.h>

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

namespace Lanyard {

/**
 * How a tool of the launch list behaves when a host's Tools menu starts it: where its output
 * goes, what it reads, what the host saves before and reloads after, which documents it
 * applies to, its shortcut and the folder it runs in. Users set it in the tool behaviour window
 * (see ToolsMenu); Lanyard keeps it beside the launch list (see ExternalApps::toolBehaviour and
 * \ref behaviour-file). The default behaviour is the plain launch of ExternalApps::ExecuteApp.
 */
struct LANYARD_EXPORT ToolBehaviour
{
    Q_GADGET
    Q_PROPERTY(Output output MEMBER output)
    Q_PROPERTY(Input input MEMBER input)
    Q_PROPERTY(Save saveBefore MEMBER saveBefore)
    Q_PROPERTY(bool reloadAfter MEMBER reloadAfter)
    Q_PROPERTY(QStringList fileTypes MEMBER fileTypes)
    Q_PROPERTY(bool needsSelection MEMBER needsSelection)
    Q_PROPERTY(QString shortcut MEMBER shortcut)
    Q_PROPERTY(QString folder MEMBER folder)

public:
    /// Where a run's output goes.
    enum class Output {
        Ignore,           ///< nowhere: the program is started and left alone
        Pane,             ///< to the host's output pane as it comes, standard error included
        InsertAtCursor,   ///< into the document where the cursor was when the tool started
        ReplaceSelection, ///< in place of the text the tool was given
        NewDocument,      ///< into a new document
        Clipboard,        ///< onto the clipboard
    };
    Q_ENUM(Output)
    /// What the program reads on its standard input.
    enum class Input {
        None,      ///< nothing (an empty input)
        Selection, ///< the selected text
        Document,  ///< the whole document
    };
    Q_ENUM(Input)
    /// What the host is asked to save before the tool starts.
    enum class Save {
        Nothing,      ///< nothing
        Document,     ///< the current document
        AllDocuments, ///< every open document
    };
    Q_ENUM(Save)

    /// Where the output goes; Ignore: nowhere.
    Output output = Output::Ignore;
    /// What the program reads; None: an empty input.
    Input input = Input::None;
    /// What the host is asked to save first (ToolsMenu::saveRequested).
    Save saveBefore = Save::Nothing;
    /// Whether the host is told to reload the current file when the tool changed it
    /// (ToolsMenu::reloadRequested).
    bool reloadAfter = false;
    /// The documents the tool applies to: MIME types ("text/x-python", "text/*", matching
    /// their subtypes too) or file name patterns ("*.txt", "Makefile"); empty: every document.
    QStringList fileTypes;
    /// Whether the tool is offered only while text is selected.
    bool needsSelection = false;
    /// The tool's shortcut as QKeySequence's portable text ("Ctrl+Alt+S"); empty: none.
    QString shortcut;
    /// The folder the tool runs in, the host's placeholders replaced ("%DIR%"); empty: the
    /// program's folder, as ExternalApps::ExecuteApp starts it.
    QString folder;

    /// Equal when every field is.
    friend bool operator==(const ToolBehaviour &, const ToolBehaviour &) = default;
    /// Whether every field has its default: the tool starts as ExecuteApp starts it.
    bool isDefault() const { return *this == ToolBehaviour(); }
    /// Whether the tool runs as a ToolRun (it reads, talks back, runs in another folder or is
    /// followed to its end), not through ExecuteApp.
    bool runs() const { return output != Output::Ignore || input != Input::None || reloadAfter || !folder.isEmpty(); }
};

} // namespace Lanyard

Q_DECLARE_METATYPE(Lanyard::ToolBehaviour)
