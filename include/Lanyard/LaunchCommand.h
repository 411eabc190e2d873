#pragma once

#include <QString>
#include <QStringList>

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

} // namespace Lanyard
