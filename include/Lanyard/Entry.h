#pragma once

#include <QString>

namespace Lanyard {

/// One application of the catalogue: its group, its name, the program file, the command line
/// handed to it (placeholders not yet replaced) and whether the user may not change it.
struct Entry
{
    QString group;
    QString name;
    QString path;
    QString cmdLine;
    bool isProtected = false;

    friend bool operator==(const Entry &, const Entry &) = default;
};

} // namespace Lanyard
