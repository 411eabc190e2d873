// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

/// What the configuration windows tell the user when an entry could not be stored: in the
/// user's words and the windows' language, naming the entry and what happened, never an error
/// number.
namespace Lanyard {
class ComponentError;
}

namespace Lanyard::EntryMessages {

/// What the user asked for.
enum class Change { Add, Edit, Delete };

/// A component error met while making @p change to the application @p app of @p group.
QString failed(Change change, const QString &group, const QString &app, const ComponentError &error);

/// @p change would have put @p app into @p group and a limit refused it: with @p groupIsNew the
/// list already holds @p limit groups, else the group already holds @p limit applications.
QString limitReached(Change change, const QString &group, const QString &app, bool groupIsNew, int limit);

/// The fields an entry needs that are empty: each item names the captions of fields of which
/// one must be filled in.
QString incomplete(const QList<QStringList> &missing);

/// The launch list refused the box captioned @p caption for the one character @p character.
QString refusedCharacter(const QString &caption, const QString &character);

/// The launch list refused a text for the reason @p detail, no single character being at fault.
QString refusedText(const QString &detail);

} // namespace Lanyard::EntryMessages
