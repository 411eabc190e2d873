// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/ToolBehaviour.h>

#include <QByteArray>
#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <utility>

namespace Lanyard {

/**
 * The tool behaviours kept beside a launch list, in a file of their own: "tools.lst" has
 * "tools.lst.behaviour", a UTF-8 key file a user can read and edit, one section per tool:
 *
 *     [Text/Sort lines]
 *     output=ReplaceSelection
 *     input=Selection
 *
 * (a "/", "%" or "]" in a name written %2F, %25, %5D). Keys left out, and lines it does not
 * know, take the defaults. It is written as the launch list is: under its exclusive FileLock,
 * by FileWriter (atomic, owner, mode and links kept), merged with what another writer saved
 * since it was read; it is never written over when it could not be read.
 */
class BehaviourFile
{
public:
    using Key = std::pair<QString, QString>; // group, name
    using Table = std::map<Key, ToolBehaviour>;
    /// What one writer changed since it read the file: a behaviour set, or removed (nullopt).
    using Changes = std::map<Key, std::optional<ToolBehaviour>>;

    /// The behaviour file of the launch list at @p listPath.
    static QString pathFor(const QString &listPath);

    /// The behaviours at @p path; empty when there is no file. Throws ComponentError as
    /// LaunchListFile::load does for a file that cannot be read.
    static Table load(const QString &path);

    /**
     * Writes @p changes into the file at @p path as it is now, keeping only the tools that
     * @p keep accepts (every one without it), and gives what the file then holds. A file is
     * made only for a behaviour to keep. Throws ComponentError when the file cannot be read or
     * written; it is then as it was.
     */
    static Table save(const QString &path, const Changes &changes, const std::function<bool(const Key &)> &keep = {});

    static Table parse(QByteArrayView text);
    static QByteArray format(const Table &table);
};

} // namespace Lanyard
