// SPDX-License-Identifier: MIT
#pragma once

#include "FileVersion.h"
#include "Raise.h"
#include "UniqueFd.h"

#include <Lanyard/Result.h>

#include <QByteArray>
#include <QString>

namespace Lanyard {

/**
 * Replaces the contents of a file so that nothing is lost when the write fails or the writer is
 * killed: the new contents go to a temporary file ".NAME.XXXXXX" beside the real file (after
 * every symbolic link, which stays a link), which then takes the file's place in one rename,
 * with the file's mode, owner and group.
 *
 * Where the folder cannot take the temporary file, or the temporary cannot be given the file's
 * owner and group (another user's or a group-shared file written by a member), a writable file
 * is written in place: the contents are gathered first and the space for them reserved without
 * changing the file, then written in one go; what is left of a longer old file becomes blank
 * lines before it is cut off. A kill at any point leaves the old contents or the new ones, or
 * the new ones followed by blank lines.
 *
 * The writer runs under the exclusive FileLock of the file: temporaries of the file that
 * writers killed before their rename left behind are removed.
 *
 * Why not QSaveFile: the file it puts in place belongs to the writer (a group-shared list or
 * another user's changes hands), its fallback for a folder that takes no new file writes in
 * place without first reserving the room (a full disk cuts the list short), and the temporaries
 * of writers killed before their rename stay behind for good.
 *
 * Paths are native text (see NativeText). A failure is the first one, numbered by its errno
 * (fileError) and saying what failed: "cannot create a file in /home/me/.config: Permission
 * denied".
 */
class FileWriter
{
public:
    explicit FileWriter(const QString &path);
    ~FileWriter();
    FileWriter(const FileWriter &) = delete;
    FileWriter &operator=(const FileWriter &) = delete;

    /// Prepares the write; fails when the file cannot be written at all.
    Result<void> open() { return outcome(prepare()); }
    /// Adds @p bytes to the new contents; fails once anything failed.
    Result<void> write(QByteArrayView bytes) { return outcome(add(bytes)); }
    /// Puts the new contents in place; on any failure the old file is untouched.
    Result<void> commit() { return outcome(replace()); }
    /// The file that is replaced: the path, or the final target of a link.
    QString target() const { return m_target; }
    /// The version of the file as committed.
    FileVersion written() const { return m_written; }

private:
    Result<void> outcome(bool done) const
    {
        return done ? Result<void>() : Result<void>(fileError(m_error, m_errorString));
    }
    bool prepare();
    bool add(QByteArrayView bytes);
    bool replace();
    bool fail(const QString &what, int error);
    bool openTemporary();
    bool takeOwnerAndMode();
    bool commitInPlace();
    void discardTemporary();

    QString m_path;
    QString m_target;
    QByteArray m_nativeTarget;
    QByteArray m_temporary;
    UniqueFd m_fd;
    bool m_exists = false;
    bool m_inPlace = false;
    QByteArray m_pending; // the contents, gathered for a write in place
    FileVersion m_written;
    unsigned m_mode = 0;
    unsigned m_owner = 0;
    unsigned m_group = 0;
    int m_error = 0;
    QString m_errorString;
};

} // namespace Lanyard
