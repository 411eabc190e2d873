#include "FileListing.h"

#include <QDir>

#include "text/NativeText.h"

#include <QByteArrayList>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <glob.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace Lanyard::FileListing {

namespace {

/// The bytes of @p path for the system; nothing for an empty path or one holding a NUL.
std::optional<QByteArray> encoded(const QString &path)
{
    QByteArray bytes = NativeText::encode(path);
    if (bytes.isEmpty() || bytes.contains('\0'))
        return std::nullopt;
    return bytes;
}

bool isRegular(const char *path)
{
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

bool isNormal(const char *path)
{
    const char *slash = std::strrchr(path, '/');
    const char *name = slash ? slash + 1 : path;
    return name[0] != '.' && isRegular(path);
}

bool hasWildcard(const QByteArray &path) { return path.contains('*') || path.contains('?'); }

/// @p path as a glob pattern in which only * and ? are special.
QByteArray onlyStarAndQuestionMark(const QByteArray &path)
{
    QByteArray pattern;
    pattern.reserve(path.size());
    for (const char c : path) {
        if (c == '[' || c == ']' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    return pattern;
}

QString firstGlobMatch(const QByteArray &path)
{
    glob_t matches {};
    QString found;
    if (::glob(onlyStarAndQuestionMark(path).constData(), GLOB_NOSORT, nullptr, &matches) == 0) {
        for (size_t i = 0; i < matches.gl_pathc && found.isEmpty(); ++i) {
            if (isNormal(matches.gl_pathv[i]))
                found = NativeText::decode(matches.gl_pathv[i]);
        }
    }
    ::globfree(&matches);
    return found;
}

} // namespace

QString firstNormalFile(const QString &pattern)
{
    const std::optional<QByteArray> path = encoded(pattern);
    if (!path)
        return QString();
    if (isNormal(path->constData()))
        return pattern;
    return hasWildcard(*path) ? firstGlobMatch(*path) : QString();
}

bool isRegularFile(const QString &path)
{
    const std::optional<QByteArray> bytes = encoded(path);
    return bytes && isRegular(bytes->constData());
}

QString findOnPath(const QString &name)
{
    const std::optional<QByteArray> bytes = encoded(name);
    if (!bytes || bytes->contains('/'))
        return QString();
    const char *searchPath = std::getenv("PATH");
    // An empty entry of PATH is the current directory, as for the shell.
    for (const QByteArray &folder : QByteArray(searchPath ? searchPath : "/usr/local/bin:/usr/bin:/bin").split(':')) {
        const QByteArray candidate = (folder.isEmpty() ? QByteArray(".") : folder) + '/' + *bytes;
        if (isRegular(candidate.constData()) && ::access(candidate.constData(), X_OK) == 0)
            return NativeText::decode(candidate);
    }
    return QString();
}

QString canonicalPath(const QString &path)
{
    const std::optional<QByteArray> bytes = encoded(path);
    if (!bytes)
        return QString();
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(bytes->constData(), nullptr), &std::free);
    return resolved ? NativeText::decode(resolved.get()) : QString();
}

QByteArray head(const QString &path, qsizetype size)
{
    const std::optional<QByteArray> bytes = encoded(path);
    const int fd = bytes ? ::open(bytes->constData(), O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0)
        return QByteArray();
    QByteArray data(size, Qt::Uninitialized);
    qsizetype filled = 0;
    ssize_t got = 0;
    while (filled < size && (got = ::read(fd, data.data() + filled, size_t(size - filled))) != 0) {
        if (got < 0 && errno != EINTR)
            break;
        filled += std::max<ssize_t>(got, 0);
    }
    ::close(fd);
    data.truncate(filled);
    return data;
}

QString currentFolder()
{
    const std::unique_ptr<char, decltype(&std::free)> folder(::getcwd(nullptr, 0), &std::free);
    return folder ? NativeText::decode(folder.get()) : QString();
}

QString absolutePath(const QString &path)
{
    return QDir::cleanPath(path.startsWith(u'/') ? path : currentFolder() + u'/' + path);
}

} // namespace Lanyard::FileListing
