// SPDX-License-Identifier: MIT
#include "FileVersion.h"

#include "text/NativeText.h"

#include <sys/stat.h>

namespace Lanyard {

namespace {

std::optional<FileVersion> versionOf(const struct stat &info)
{
    if (!S_ISREG(info.st_mode))
        return std::nullopt;
    return FileVersion{quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size),
                       qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

} // namespace

std::optional<FileVersion> FileVersion::of(const QString &path)
{
    const QByteArray native = NativeText::encode(path);
    struct stat info
    {
    };
    if (native.isEmpty() || native.contains('\0') || ::stat(native.constData(), &info) != 0)
        return std::nullopt;
    return versionOf(info);
}

std::optional<FileVersion> FileVersion::ofDescriptor(int fd)
{
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    return versionOf(info);
}

} // namespace Lanyard
