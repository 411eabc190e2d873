#pragma once

#include <QString>

namespace Lanyard {

/// One application of the catalogue: its group, its name, the program file, the command line
/// handed to it (placeholders not yet replaced) and whether the user may not change it.
struct Entry
{
    QString group;            ///< the group's name
    QString name;             ///< the application's name, unique in its group
    QString path;             ///< the program file
    QString cmdLine;          ///< the command line, placeholders not replaced
    bool isProtected = false; ///< the user may not change it

    /// Equal when every field is.
    friend bool operator==(const Entry &, const Entry &) = default;
};

} // namespace Lanyard
