// SPDX-License-Identifier: MIT
#pragma once

#include "util/FileVersion.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace Lanyard {

/**
 * Maps programs to the Icon of the freedesktop desktop entry that runs them.
 *
 * The entries are the applications/ folders (subfolders included) of XDG_DATA_HOME and then
 * XDG_DATA_DIRS; an entry's desktop-file ID (its path below applications/, "/" read as "-")
 * hides entries of the same ID in later folders, a Hidden one included. The program of an
 * entry is the first word of its Exec (unquoted; a leading "env NAME=value ..." is skipped),
 * found on PATH when it has no slash, and canonicalised, so a program and a symbolic link to
 * it share their entry. When several entries run one program the first shown entry wins
 * (NoDisplay entries only when no shown entry runs it), in folder order and then by ID.
 */
class DesktopEntryIndex
{
public:
    /// Scans the entries now.
    DesktopEntryIndex();

    /// The Icon value (a theme icon name or an absolute file path) of the entry that runs the
    /// program at @p canonicalPath; empty when no entry runs it.
    QString iconFor(const QString &canonicalPath) const;

    /// True when something changed since the scan: an entry was edited (its file's time stamp),
    /// added, removed or renamed (a folder's), or the XDG variables changed.
    bool isStale() const;

private:
    struct Entry
    {
        QString icon;
        bool noDisplay = false;
    };
    struct ScannedFolder
    {
        QString path;
        QDateTime modified;
    };

    struct ScannedEntry
    {
        QString path;
        std::optional<FileVersion> stamp;
    };

    void scanRoot(const QString &root, QSet<QString> &seenIds);
    void addEntryFile(const QString &filePath);

    QStringList m_roots;
    QList<ScannedFolder> m_folders;
    QList<ScannedEntry> m_entryFiles;
    QHash<QString, Entry> m_byProgram;
};

} // namespace Lanyard
