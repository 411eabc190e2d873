#include "FileStamp.h"

#include "util/NativeText.h"

#include <sys/stat.h>

namespace Lanyard {

FileStamp FileStamp::of(const QString &path)
{
    const QByteArray encoded = NativeText::encode(path);
    struct stat info {};
    if (encoded.isEmpty() || encoded.contains('\0') || ::stat(encoded.constData(), &info) != 0
        || !S_ISREG(info.st_mode))
        return {};
    return {true, quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size),
            qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

} // namespace Lanyard
