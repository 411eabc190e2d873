#include "FileWriter.h"

#include "text/NativeText.h"

#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

constexpr int maxLinkHops = 40;

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    return slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

/// The file that @p path finally names: symbolic links followed, also to a target that does
/// not exist yet.
QByteArray finalTarget(QByteArray path)
{
    for (int hop = 0; hop < maxLinkHops; ++hop) {
        char buffer[PATH_MAX];
        const ssize_t size = ::readlink(path.constData(), buffer, sizeof buffer);
        if (size < 0)
            break;
        const QByteArray link(buffer, size);
        path = link.startsWith('/') ? link : folderOf(path) + '/' + link;
    }
    return path;
}

/// Writes all of @p bytes at @p offset, or -1 when nothing is given (appends); errno on failure.
bool writeAll(int fd, QByteArrayView bytes, off_t offset = -1)
{
    while (!bytes.isEmpty()) {
        const ssize_t written = offset < 0 ? ::write(fd, bytes.data(), size_t(bytes.size()))
                                           : ::pwrite(fd, bytes.data(), size_t(bytes.size()), offset);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
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

bool FileWriter::open()
{
    m_nativeTarget = finalTarget(NativeText::encode(m_path));
    m_target = NativeText::decode(m_nativeTarget);
    struct stat info {};
    if (::stat(m_nativeTarget.constData(), &info) == 0) {
        if (!S_ISREG(info.st_mode))
            return fail(u"cannot write %1, it is not a regular file"_s.arg(m_target), S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
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
    // The folder takes no new file, but the file itself may still be writable.
    UniqueFd inPlace(::open(m_nativeTarget.constData(), O_WRONLY | O_CLOEXEC));
    if (!inPlace.isValid())
        return false;
    m_fd = std::move(inPlace);
    m_inPlace = true;
    m_error = 0;
    m_errorString.clear();
    return true;
}

bool FileWriter::openTemporary()
{
    const QByteArray folder = folderOf(m_nativeTarget);
    const QByteArray base = m_nativeTarget.mid(m_nativeTarget.lastIndexOf('/') + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = folder + "/." + base + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        // A new file gets the usual mode (the umask applies); a replacement gets the old one.
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, m_exists ? 0600 : 0666);
        if (fd >= 0) {
            m_fd.reset(fd);
            m_temporary = name;
            return true;
        }
        if (errno != EEXIST)
            return fail(u"cannot create a file in %1"_s.arg(NativeText::decode(folder)), errno);
    }
    return fail(u"cannot create a file in %1"_s.arg(NativeText::decode(folder)), EEXIST);
}

bool FileWriter::write(QByteArrayView bytes)
{
    if (m_error != 0 || !m_fd.isValid())
        return false;
    if (m_inPlace) {
        m_pending.append(bytes);
        return true;
    }
    return writeAll(m_fd.get(), bytes) || fail(u"cannot write %1"_s.arg(m_target), errno);
}

bool FileWriter::commit()
{
    if (m_error != 0 || !m_fd.isValid()) {
        discardTemporary();
        return false;
    }
    if (m_inPlace)
        return commitInPlace();
    const int fd = m_fd.get();
    if (m_exists) {
        // Root writing another user's list must not take it from them; others keep their own.
        if (::fchown(fd, m_owner, m_group) != 0 && errno != EPERM)
            fail(u"cannot keep the owner of %1"_s.arg(m_target), errno);
        if (::fchmod(fd, m_mode) != 0)
            fail(u"cannot keep the mode of %1"_s.arg(m_target), errno);
    }
    if (m_error == 0 && ::fsync(fd) != 0)
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
    return true;
}

bool FileWriter::commitInPlace()
{
    const int fd = m_fd.get();
    // Reserved first, so that a full disk or a size limit is met before the old contents go.
    if (!m_pending.isEmpty()) {
        if (const int error = ::posix_fallocate(fd, 0, off_t(m_pending.size())); error != 0 && error != EOPNOTSUPP)
            return fail(u"no room to write %1"_s.arg(m_target), error);
    }
    if (!writeAll(fd, m_pending, 0) || ::ftruncate(fd, off_t(m_pending.size())) != 0 || ::fsync(fd) != 0)
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
