#pragma once

#include <QString>

namespace Lanyard {

/**
 * One entry of a launch list as the file layer reads and writes it. Every value means the
 * same whatever the file's encoding: group and name are text; path and command line are
 * native text (see NativeText), their bytes kept.
 */
struct LaunchListEntry
{
    QString group;
    QString name;
    QString path;
    QString cmdLine;
    /// As stored: 0 for an unprotected entry; a line read from a file gives -1 or 0.
    qint16 protectedFlag = 0;
    /// Which line of the file the entry is (the same bytes give the same identity, whatever
    /// the file's encoding); 0 for an entry that is in no file yet.
    quint64 origin = 0;
};

} // namespace Lanyard
