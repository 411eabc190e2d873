// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

#include <utility>

namespace Lanyard {

/// What launching an entry starts: the program taken whole, its arguments as separate words,
/// and the folder that becomes the current directory. No shell is involved.
struct LaunchCommand
{
    QString program;       ///< the program file, as the system is given it
    QStringList arguments; ///< the words of the command line, placeholders replaced
    QString folder;        ///< the current directory the program starts in

    /// Equal when every field is.
    friend bool operator==(const LaunchCommand &, const LaunchCommand &) = default;
};

/// What one launch of an entry adds to it: values for placeholders that this launch alone
/// uses (answers the user gave at launch, say), which come after the registered ones and win
/// over one of the same label, and the folder it starts in, its placeholders replaced (empty:
/// the program's folder; a relative folder is taken from the host's current one).
struct LaunchOptions
{
    QList<std::pair<QString, QString>> values; ///< label, value
    QString folder;                            ///< where the program starts
};

} // namespace Lanyard
