#pragma once

#include <QString>
#include <QStringList>

namespace Lanyard {

/// What launching an entry starts: the program taken whole, its arguments as separate words,
/// and the folder that becomes the current directory. No shell is involved.
struct LaunchCommand
{
    QString program;
    QStringList arguments;
    QString folder;

    friend bool operator==(const LaunchCommand &, const LaunchCommand &) = default;
};

} // namespace Lanyard
