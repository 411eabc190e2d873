// SPDX-License-Identifier: MIT
#include "FileWriter.h"

#include "FileListing.h"
#include "Uninterrupted.h"
#include "text/NativeText.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

/// Characters of a temporary's suffix; its length tells it from the lock file's ".lock".
constexpr char suffixCharacters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr qsizetype suffixLength = 6;

QByteArray baseNameOf(const QByteArray &path) { return path.mid(path.lastIndexOf('/') + 1); }

/// ".NAME." and a random suffix.
QByteArray temporaryName(const QByteArray &base)
{
    QByteArray name = '.' + base + '.';
    for (qsizetype i = 0; i < suffixLength; ++i)
        name += suffixCharacters[QRandomGenerator::global()->bounded(int(sizeof suffixCharacters - 1))];
    return name;
}

bool isTemporaryOf(const QByteArray &base, const char *entry)
{
    const QByteArrayView name(entry);
    const qsizetype prefix = base.size() + 2;
    if (name.size() != prefix + suffixLength || !name.startsWith('.') || name.sliced(1, base.size()) != base
        || name[prefix - 1] != '.')
        return false;
    return std::all_of(name.begin() + prefix, name.end(), [](char c) { return std::isalnum(uchar(c)) != 0; });
}

/// Removes the temporaries of @p base that writers killed before their rename left in @p folder.
/// Only run under the writers' exclusive lock, when no temporary can be anyone's work.
void removeLeftovers(const QByteArray &folder, const QByteArray &base)
{
    struct Closer
    {
        void operator()(DIR *dir) const { ::closedir(dir); }
    };
    const std::unique_ptr<DIR, Closer> listing(::opendir(folder.constData()));
    if (!listing)
        return; // a folder that cannot be listed keeps them
    while (const dirent *entry = ::readdir(listing.get())) {
        if (isTemporaryOf(base, entry->d_name))
            ::unlinkat(::dirfd(listing.get()), entry->d_name, 0);
    }
}

/// Whitespace of @p size bytes in short lines, which a reader of lines skips as blank.
QByteArray blankLines(qsizetype size)
{
    QByteArray blank(size, ' ');
    for (qsizetype i = 79; i < size; i += 80)
        blank[i] = '\n';
    if (size > 0)
        blank[0] = '\n';
    return blank;
}

/// Space for @p size bytes without changing what the file holds or its size.
int reserve(int fd, off_t size, off_t current)
{
    if (size <= current)
        return 0;
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size) == 0)
        return 0;
    if (errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    // No reservation here: at least the free space must be there.
    struct statvfs room
    {
    };
    if (::fstatvfs(fd, &room) == 0 && off_t(room.f_bavail * room.f_frsize) < size - current)
        return ENOSPC;
    return 0;
}

void syncFolder(const QByteArray &folder)
{
    // Makes the rename last; a folder that cannot be opened for reading is left to the kernel.
    const UniqueFd fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.isValid())
        ::fsync(fd.get());
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

/// Writes all of @p bytes at @p offset, or -1 when nothing is given (appends); errno on failure.
bool writeAll(int fd, QByteArrayView bytes, off_t offset = -1)
{
    while (!bytes.isEmpty()) {
        const ssize_t written = uninterrupted([&] {
            return offset < 0 ? ::write(fd, bytes.data(), size_t(bytes.size()))
                              : ::pwrite(fd, bytes.data(), size_t(bytes.size()), offset);
        });
        if (written == -1)
            return false;
        bytes = bytes.sliced(written);
        if (offset >= 0)
            offset += written;
    }
    return true;
}

} // namespace

FileWriter::FileWriter(const QString &path)
    : m_path(path)
{
}

FileWriter::~FileWriter() { discardTemporary(); }

bool FileWriter::fail(const QString &what, int error)
{
    if (m_error == 0) {
        m_error = error;
        m_errorString = what + u": "_s + qt_error_string(error);
    }
    return false;
}

bool FileWriter::prepare()
{
    // The file the kernel finds at the path, so the new one goes to the folder it is in.
    m_target = FileListing::realFile(m_path);
    if (m_target.isEmpty())
        m_target = m_path; // an unreachable folder: the calls below say why
    m_nativeTarget = NativeText::encode(m_target);
    struct stat info
    {
    };
    if (::stat(m_nativeTarget.constData(), &info) == 0) {
        if (!S_ISREG(info.st_mode))
            return fail(u"cannot write %1, it is not a regular file"_s.arg(m_target),
                        S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
        // A file made read-only is not replaced behind its owner's back.
        if (::faccessat(AT_FDCWD, m_nativeTarget.constData(), W_OK, AT_EACCESS) != 0)
            return fail(u"cannot write %1"_s.arg(m_target), errno);
        m_exists = true;
        m_mode = info.st_mode & 07777;
        m_owner = info.st_uid;
        m_group = info.st_gid;
    } else if (errno != ENOENT) {
        return fail(u"cannot write %1"_s.arg(m_target), errno);
    }
    if (openTemporary())
        return true;
    if (!m_exists)
        return false;
    // The folder takes no new file, or the new file could not be the old one's owner's, but
    // the file itself may still be writable.
    UniqueFd inPlace(::open(m_nativeTarget.constData(), O_WRONLY | O_CLOEXEC));
    if (!inPlace.isValid())
        return fail(u"cannot write %1"_s.arg(m_target), errno);
    m_fd = std::move(inPlace);
    m_inPlace = true;
    m_error = 0;
    m_errorString.clear();
    return true;
}

bool FileWriter::openTemporary()
{
    const QByteArray folder = folderOf(m_nativeTarget);
    const QByteArray base = baseNameOf(m_nativeTarget);
    removeLeftovers(folder, base);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = folder + '/' + temporaryName(base);
        // A new file gets the usual mode (the umask applies); a replacement gets the old one.
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, m_exists ? 0600 : 0666);
        if (fd >= 0) {
            m_fd.reset(fd);
            m_temporary = name;
            return !m_exists || takeOwnerAndMode();
        }
        if (errno != EEXIST)
            return fail(u"cannot create a file in %1"_s.arg(NativeText::decode(folder)), errno);
    }
    return fail(u"cannot create a file in %1"_s.arg(NativeText::decode(folder)), EEXIST);
}

bool FileWriter::takeOwnerAndMode()
{
    // Owner and group first: a change of owner clears the set-id bits of the mode. Another
    // user's file (or a group we are not in) cannot be replaced without taking it from them:
    // writing in place keeps both.
    if (::fchown(m_fd.get(), m_owner, m_group) == 0 && ::fchmod(m_fd.get(), m_mode) == 0)
        return true;
    discardTemporary();
    return false;
}

bool FileWriter::add(QByteArrayView bytes)
{
    if (m_error != 0 || !m_fd.isValid())
        return false;
    if (m_inPlace) {
        m_pending.append(bytes);
        return true;
    }
    return writeAll(m_fd.get(), bytes) || fail(u"cannot write %1"_s.arg(m_target), errno);
}

bool FileWriter::replace()
{
    if (m_error != 0 || !m_fd.isValid()) {
        discardTemporary();
        return false;
    }
    if (m_inPlace)
        return commitInPlace();
    const int fd = m_fd.get();
    if (::fsync(fd) != 0)
        fail(u"cannot write %1"_s.arg(m_target), errno);
    // Taken before the rename, which keeps it: a look afterwards could see another writer's file.
    m_written = FileVersion::ofDescriptor(fd).value_or(FileVersion{});
    if (m_error == 0 && ::close(m_fd.release()) != 0)
        fail(u"cannot write %1"_s.arg(m_target), errno);
    if (m_error == 0 && ::rename(m_temporary.constData(), m_nativeTarget.constData()) != 0)
        fail(u"cannot replace %1"_s.arg(m_target), errno);
    if (m_error != 0) {
        discardTemporary();
        return false;
    }
    m_temporary.clear();
    syncFolder(folderOf(m_nativeTarget));
    return true;
}

bool FileWriter::commitInPlace()
{
    const int fd = m_fd.get();
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0)
        return fail(u"cannot write %1"_s.arg(m_target), errno);
    const off_t size = off_t(m_pending.size());
    const off_t oldSize = info.st_size;
    // Reserved first, so that a full disk or a size limit is met before the old contents go.
    if (const int error = reserve(fd, size, oldSize); error != 0)
        return fail(u"no room to write %1"_s.arg(m_target), error);
    // One write, after which the file holds the new lines; where it shrinks, what is left of
    // the old ones becomes blank lines before it is cut off, so no kill leaves half an entry.
    if (!writeAll(fd, m_pending + blankLines(qMax(off_t(0), oldSize - size)), 0) || ::fsync(fd) != 0)
        return fail(u"cannot write %1"_s.arg(m_target), errno);
    if (::ftruncate(fd, size) != 0 || ::fsync(fd) != 0)
        return fail(u"cannot write %1"_s.arg(m_target), errno);
    m_written = FileVersion::ofDescriptor(fd).value_or(FileVersion{});
    m_fd.reset();
    return true;
}

void FileWriter::discardTemporary()
{
    m_fd.reset();
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
    m_temporary.clear();
}

} // namespace Lanyard
