// SPDX-License-Identifier: MIT
// A launch list of any bytes, loaded with small limits: a file that is no launch list fails the
// load and stays as it was; any other is written back by a save that merges (the object left
// entries out) and gives the same catalogue when loaded again.
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
            rows << apps.ApplicationName(g, a) + u'\x1f' + apps.AppPath(g, a) + u'\x1f' + apps.CmdLine(g, a) + u'\x1f'
                        + QString::number(apps.AppProtected(g, a));
    }
    return rows;
}

/// The catalogue that a load gives; with @p rewrite, a change made and undone forces a save.
QStringList load(const QString &path, bool rewrite)
{
    ExternalApps apps;
    apps.setMaxGroups(4);
    apps.setMaxApps(4);
    apps.setEXTFile(path);
    const QStringList rows = catalogue(apps);
    if (rewrite && apps.AddApp(QStringLiteral("Fuzz"), QStringLiteral("Once"), QStringLiteral("/x"), QString(), false))
        apps.DeleteApp(QStringLiteral("Fuzz"), QStringLiteral("Once"));
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Memory-backed, so that the save's sync to disk costs little.
    static QTemporaryDir dir(
        QFileInfo(QStringLiteral("/dev/shm")).isDir() ? QStringLiteral("/dev/shm/lanyard-fuzz-XXXXXX") : QString());
    const QString path = dir.filePath(QStringLiteral("tools.lst"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    QStringList first;
    try {
        first = load(path, true);
    } catch (const ComponentError &) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)
            || file.readAll() != QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)))
            std::abort(); // a list that could not be read was written over
        return 0;
    }
    const QStringList second = load(path, false);
    if (first != second) {
        qWarning() << "first load:" << first << "\nsecond load:" << second;
        std::abort();
    }
    return 0;
}
