#include "FileOps.h"

#include "FileListing.h"
#include "StringOps.h"

namespace Lanyard::FileOps {

namespace {

qsizetype lastSeparator(const QString &path)
{
    return std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
}

} // namespace

QString FileBaseName(const QString &path)
{
    if (path.isEmpty())
        return QString();
    const qsizetype separator = lastSeparator(path);
    qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0)
        dot = path.size();
    if (dot < separator)
        return QString();
    return StringOps::TrimTabs(path.mid(separator + 1, dot - separator - 1));
}

QString FolderOfPath(const QString &path)
{
    const qsizetype separator = lastSeparator(path);
    if (separator < 0)
        return QString();
    return StringOps::TrimTabs(path.left(separator + 1));
}

bool FileExists(const QString &path)
{
    QString unquoted = path;
    unquoted.remove(u'"');
    if (unquoted.isEmpty())
        return false;
    return !FileListing::firstNormalFile(unquoted).isEmpty();
}

} // namespace Lanyard::FileOps
