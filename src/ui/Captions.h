// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/Language.h>

#include <QList>
#include <QString>

namespace Lanyard {

/// The base ids of the window texts: the English text of each stands at its base id.
enum class TextId : int {
    // Program list window
    EditAppsCaption = 101,
    AddProgram = 102,
    AddProgramTip = 103,
    EditProgram = 104,
    EditProgramTip = 105,
    DeleteProgram = 106,
    DeleteProgramTip = 107,
    TreeTip = 108,
    // The host's Tools menu
    NoToolsConfigured = 109,
    // Application dialog
    AddCaption = 151,
    EditCaption = 152,
    GroupLabel = 153,
    GroupTip = 154,
    NameLabel = 155,
    NameTip = 156,
    PathLabel = 157,
    PathTip = 158,
    Browse = 159,
    BrowseTip = 160,
    CmdLineLabel = 161,
    CmdLineTip = 162,
    InsertKeyword = 163,
    InsertKeywordTip = 164,
    OK = 165,
    OKTip = 166,
    Cancel = 167,
    CancelTip = 168,
    // Messages about an entry
    IncompleteEntry = 169,
    EitherField = 170,
    RefusedCharacter = 171,
    RefusedText = 172,
    NotAdded = 173,
    NoLongerExists = 174,
    NotChanged = 175,
    NotDeleted = 176,
    AddListFull = 177,
    AddGroupFull = 178,
    MoveListFull = 179,
    MoveGroupFull = 180,
    // Placeholder picker
    PickerCaption = 201,
    PlaceholderHeader = 202,
    ExampleHeader = 203,
    PickerTip = 204,
    // Tool behaviour window
    BehaviourCaption = 210,
    ToolsLabel = 211,
    OutputLabel = 212,
    OutputTip = 213,
    InputLabel = 214,
    InputTip = 215,
    SaveLabel = 216,
    SaveTip = 217,
    ReloadAfter = 218,
    NeedsSelection = 219,
    FileTypesLabel = 220,
    FileTypesTip = 221,
    ShortcutLabel = 222,
    ShortcutTip = 223,
    FolderLabel = 224,
    FolderTip = 225,
    OutputIgnore = 226, // ... one text for each ToolBehaviour::Output, in order
    InputNone = 232,    // ... each ToolBehaviour::Input
    SaveNothing = 235,  // ... each ToolBehaviour::Save
    ShortcutTaken = 238,
    // The host's Tools menu, continued
    ConfigureTools = 239,
    ToolBehaviourMenu = 240,
    // The value a tool asks for at launch
    AskCaption = 241,
    AskPrompt = 242,
    AskTip = 243,
    OutputHeldBack = 244,
};

/// The window texts by base id, in the language that LanguageOffset selects.
class Captions
{
public:
    /// How far apart the languages' blocks of ids lie: German at +250, French at +500.
    static constexpr qint32 LanguageBlock = 250;

    /// The library-wide offset added to every base id: 0, 250 or 500.
    static qint32 LanguageOffset();
    /// Sets LanguageOffset to the block of @p language.
    static void setLanguage(Language language);

    /// The text of base id @p id + LanguageOffset, read now.
    static QString text(TextId id);
    /// The text of base id @p id in @p language, whatever LanguageOffset is.
    static QString text(TextId id, Language language);
};

} // namespace Lanyard
