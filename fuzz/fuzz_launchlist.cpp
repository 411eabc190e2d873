// A launch list of any bytes, loaded with small limits, saved at release and loaded again:
// the second load gives the same catalogue as the first.
#include <Lanyard/ExternalApps.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>

using namespace Lanyard;

namespace {

QStringList catalogue(ExternalApps &apps)
{
    QStringList rows;
    for (qint16 g = 0; g < apps.GroupCount(); ++g) {
        rows << apps.GroupName(g);
        for (qint16 a = 0; a < apps.AppCount(g); ++a)
            rows << apps.ApplicationName(g, a) + u'\x1f' + apps.AppPath(g, a) + u'\x1f' + apps.CmdLine(g, a)
                    + u'\x1f' + QString::number(apps.AppProtected(g, a));
    }
    return rows;
}

QStringList load(const QString &path)
{
    ExternalApps apps;
    apps.setMaxGroups(4);
    apps.setMaxApps(4);
    apps.setEXTFile(path);
    return catalogue(apps); // the release writes the file back
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Memory-backed, so that the save's sync to disk costs little.
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isDir() ? QStringLiteral("/dev/shm/lanyard-fuzz-XXXXXX")
                                                                           : QString());
    const QString path = dir.filePath(QStringLiteral("tools.lst"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    const QStringList first = load(path);
    const QStringList second = load(path);
    if (first != second) {
        qWarning() << "first load:" << first << "\nsecond load:" << second;
        std::abort();
    }
    return 0;
}
