// SPDX-License-Identifier: MIT
#pragma once

#include "LaunchListFile.h"
#include "util/FileVersion.h"

#include <QString>

#include <functional>

#include <optional>

namespace Lanyard {

class Catalogue;

/**
 * A catalogue's launch list file: where it is, how it was read, and the save that keeps what
 * other programs wrote there meanwhile.
 *
 * Loads and saves of this library take turns with those of other processes (a lock on the
 * file's folder). A save writes only when the catalogue changed since it was read or last
 * saved. When the file changed on disk since then, or the catalogue does not hold all of it
 * (entries beyond its limits), the save reads the file again and takes only the catalogue's
 * changed entries into it, so that both sides' changes survive. A file that could not be
 * read whole is not written until a reload has read it whole.
 */
class LaunchList
{
public:
    /// Where the file is: absolute native text; empty for none.
    QString path() const { return m_path; }
    LaunchListFile::Encoding encoding() const { return m_encoding; }

    /**
     * Makes @p path (absolute) the list's file and, when something is there, adds the file's
     * entries to @p catalogue (entries beyond its limits are left out). Throws ComponentError
     * as LaunchListFile::load does, or when other programs hold the lock too long; after a
     * failure the entries read so far stay and the file is not written by this list until a
     * reload() reads it.
     */
    void open(const QString &path, Catalogue &catalogue);

    /// Whether save() has something to write: changes, and a file that may be written over.
    bool hasChangesToSave(const Catalogue &catalogue) const;

    /// What reload() did.
    enum class Reload {
        Unchanged, ///< the file is as last read or written, or gone, or gave the same entries
        Changed,   ///< the catalogue's entries changed
        NoRoom,    ///< the file's entries left no room for the catalogue's changes: nothing changed
    };

    /**
     * Reads the file again when it changed on disk since it was last read or written, and
     * makes @p catalogue what a save would write now: the file's entries with the
     * catalogue's own changes applied, which stay changes to be saved. Entries beyond the
     * limits are left out as a load leaves them out, never one of the catalogue's changes:
     * rather than that nothing changes. A file that is gone changes nothing. Throws
     * ComponentError as open() does when the file cannot be read, and the catalogue stays as
     * it was; a read that succeeds lets the file be written again after a failed open().
     */
    Reload reload(Catalogue &catalogue);

    /// Writes @p catalogue's changes, as described above, and forgets them; after a merge the
    /// next reload() reads the file, which holds more than the catalogue. Throws
    /// ComponentError when the file was not written (it is then left as it was).
    /// @p written, when given, sees each entry the file then holds.
    void save(Catalogue &catalogue, const std::function<void(const LaunchListEntry &)> &written = {});

    /// The lines @p catalogue writes, as LaunchListFile::save takes them; it must outlive them.
    static LaunchListFile::Source linesOf(const Catalogue &catalogue);

private:
    QString m_path;
    LaunchListFile::Encoding m_encoding = LaunchListFile::Encoding::Utf8;
    std::optional<FileVersion> m_version; // as last read or written
    bool m_readWhole = true;
    bool m_holdsAll = false; // the catalogue held exactly the file as of m_version
};

} // namespace Lanyard
