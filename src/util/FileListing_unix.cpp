// SPDX-License-Identifier: MIT
#include "FileListing.h"

#include "Uninterrupted.h"
#include "text/NativeText.h"

#include <QByteArrayList>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
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
    struct stat info
    {
    };
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

bool isNormal(const char *path)
{
    const char *slash = std::strrchr(path, '/');
    const char *name = slash ? slash + 1 : path;
    return name[0] != '.' && isRegular(path);
}

constexpr int maxLinkHops = 40;

/// realpath(3) of @p path; errno when it fails.
std::optional<QByteArray> realPath(const QByteArray &path)
{
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.constData(), nullptr), &std::free);
    if (!resolved)
        return std::nullopt;
    return QByteArray(resolved.get());
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
    glob_t matches{};
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
    if (!bytes)
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
    const std::optional<QByteArray> resolved = realPath(*bytes);
    return resolved ? NativeText::decode(*resolved) : QString();
}

QByteArray head(const QString &path, qsizetype size)
{
    const std::optional<QByteArray> bytes = encoded(path);
    const int fd = bytes ? ::open(bytes->constData(), O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0)
        return QByteArray();
    QByteArray data(size, Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < size) {
        const ssize_t got = uninterrupted([&] { return ::read(fd, data.data() + filled, size_t(size - filled)); });
        if (got <= 0)
            break;
        filled += got;
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
    // getcwd() is already free of links, so prefixing it keeps the meaning of a relative path.
    const QString whole = path.startsWith(u'/') ? path : currentFolder() + u'/' + path;
    QStringList kept;
    for (const QString &part : whole.split(u'/', Qt::SkipEmptyParts)) {
        if (part != u".")
            kept.append(part);
    }
    // A final "/" or "/." asks for a folder; it stays so.
    const bool asFolder = !kept.isEmpty() && (whole.endsWith(u'/') || whole.endsWith(u"/."));
    return u'/' + kept.join(u'/') + (asFolder ? QStringLiteral("/") : QString());
}

QString realFile(const QString &path)
{
    std::optional<QByteArray> bytes = encoded(path);
    if (!bytes)
        return QString();
    for (int hop = 0; hop < maxLinkHops; ++hop) {
        if (std::optional<QByteArray> resolved = realPath(*bytes))
            return NativeText::decode(*resolved);
        if (errno != ENOENT)
            return QString();
        // The final component is missing, or a link to something missing: follow the link by
        // hand, else the file is new and belongs in its folder's real place.
        const qsizetype slash = bytes->lastIndexOf('/');
        const QByteArray folder = slash < 0    ? QByteArrayLiteral(".")
                                  : slash == 0 ? QByteArrayLiteral("/")
                                               : bytes->left(slash);
        const QByteArray name = bytes->mid(slash + 1);
        char buffer[PATH_MAX];
        const ssize_t size = ::readlink(bytes->constData(), buffer, sizeof buffer);
        if (size > 0) {
            const QByteArray link(buffer, size);
            *bytes = link.startsWith('/') ? link : folder + '/' + link;
            continue;
        }
        const std::optional<QByteArray> realFolder = realPath(folder);
        if (!realFolder || name.isEmpty() || name == "." || name == "..")
            return QString();
        return NativeText::decode(*realFolder + (realFolder->endsWith('/') ? "" : "/") + name);
    }
    return QString();
}

} // namespace Lanyard::FileListing
