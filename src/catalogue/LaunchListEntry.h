#pragma once

#include <QString>

namespace Lanyard {

/// One application line of a launch list file, as the reader accepts it.
struct LaunchListEntry
{
    QString group;
    QString name;
    QString path;
    QString cmdLine;
    bool isProtected = false;
};

} // namespace Lanyard
