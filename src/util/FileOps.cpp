// SPDX-License-Identifier: MIT
#include "FileOps.h"

#include "FileListing.h"
#include "StringOps.h"

namespace Lanyard::FileOps {

namespace {

qsizetype lastSeparator(const QString &path) { return std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/')); }

} // namespace

QString FileBaseName(const QString &path)
{
    const QStringView name = QStringView(path).sliced(lastSeparator(path) + 1);
    // A leading dot names a hidden file; it does not begin an extension.
    const qsizetype dot = name.lastIndexOf(u'.');
    return StringOps::TrimTabs((dot > 0 ? name.first(dot) : name).toString());
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

std::optional<QString> ProgramFile(const QString &path)
{
    if (FileExists(path))
        return path;
    if (!FolderOfPath(path).isEmpty())
        return std::nullopt;
    const QString onPath = FileListing::findOnPath(path);
    return onPath.isEmpty() ? std::nullopt : std::optional(onPath);
}

} // namespace Lanyard::FileOps
