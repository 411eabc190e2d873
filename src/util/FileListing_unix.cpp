#include "FileListing.h"

#include <QFile>

#include <cstring>
#include <glob.h>
#include <sys/stat.h>

namespace Lanyard::FileListing {

namespace {

bool isRegular(const char *path)
{
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

bool isHiddenName(const char *path)
{
    const char *slash = std::strrchr(path, '/');
    const char *name = slash ? slash + 1 : path;
    return name[0] == '.';
}

} // namespace

QString firstNormalFile(const QString &pattern)
{
    if (pattern.isEmpty())
        return QString();
    const QByteArray encoded = QFile::encodeName(pattern);
    if (encoded.contains('\0'))
        return QString();
    glob_t matches {};
    QString found;
    if (::glob(encoded.constData(), GLOB_NOSORT, nullptr, &matches) == 0) {
        for (size_t i = 0; i < matches.gl_pathc && found.isEmpty(); ++i) {
            const char *path = matches.gl_pathv[i];
            if (!isHiddenName(path) && isRegular(path))
                found = QFile::decodeName(path);
        }
    }
    ::globfree(&matches);
    return found;
}

bool isRegularFile(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    return !encoded.isEmpty() && !encoded.contains('\0') && isRegular(encoded.constData());
}

} // namespace Lanyard::FileListing
