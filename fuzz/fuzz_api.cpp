// SPDX-License-Identifier: MIT
// The catalogue driven through its members with any values, then saved and loaded again: the
// file gives back what the catalogue held (up to the merging any load does of repeated names),
// and a value the file could not hold was refused rather than stored.
#include "FuzzInput.h"

#include <Lanyard/ExternalApps.h>

#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

using namespace Lanyard;

namespace {

QStringList dump(const ExternalApps &apps)
{
    QStringList rows;
    for (qint16 g = 0; g < apps.GroupCount(); ++g) {
        for (qint16 a = 0; a < apps.AppCount(g); ++a)
            rows << apps.GroupName(g) + u'\x1f' + apps.ApplicationName(g, a) + u'\x1f' + apps.AppPath(g, a) + u'\x1f'
                        + apps.CmdLine(g, a) + u'\x1f' + QString::number(apps.AppProtected(g, a));
    }
    return rows;
}

/// What a load of the saved catalogue gives: its entries added in order to a fresh catalogue,
/// the lines a reader skips (no name, neither path nor command line) left out.
QStringList readBack(const ExternalApps &apps)
{
    ExternalApps expected;
    expected.setMaxGroups(32767);
    expected.setMaxApps(32767);
    for (qint16 g = 0; g < apps.GroupCount(); ++g) {
        const QString group = apps.GroupName(g);
        // Two groups of one name are both written with the first one's count.
        for (qint16 a = 0; a < apps.AppCount(group); ++a) {
            const QString name = apps.ApplicationName(g, a);
            const QString path = apps.AppPath(g, a);
            const QString cmd = apps.CmdLine(g, a);
            if (!group.isEmpty() && !name.isEmpty() && !(path.isEmpty() && cmd.isEmpty()))
                expected.AddApp(group, name, path, cmd, apps.AppProtected(g, a) != 0);
        }
    }
    return dump(expected);
}

void apply(ExternalApps &apps, FuzzInput &input)
{
    const auto name = [&] { return input.text(12); };
    const auto index = [&] { return QVariant(qint16(input.byte() % 6)); };
    switch (input.byte() % 8) {
    case 0:
        apps.AddApp(name(), name(), name(), name(), input.byte() & 1);
        break;
    case 1:
        apps.EditApp(name(), name(), name(), name(), input.byte() & 1, QVariant(name()), QVariant(name()));
        break;
    case 2:
        apps.DeleteApp(index(), index());
        break;
    case 3:
        apps.setGroupName(qint16(input.byte() % 6), name());
        break;
    case 4:
        apps.setApplicationName(index(), qint16(input.byte() % 6), name());
        break;
    case 5:
        apps.setAppPath(index(), index(), name());
        break;
    case 6:
        apps.setCmdLine(index(), index(), name());
        break;
    default:
        apps.setAppProtected(index(), index(), input.byte() & 1);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir(
        QFileInfo(QStringLiteral("/dev/shm")).isDir() ? QStringLiteral("/dev/shm/lanyard-fuzz-XXXXXX") : QString());
    const QString path = dir.filePath(QStringLiteral("tools.lst"));
    QFile::remove(path);
    FuzzInput input(data, size);
    QStringList held;
    {
        auto apps = std::make_unique<ExternalApps>();
        apps->setMaxGroups(6);
        apps->setMaxApps(6);
        apps->setEXTFile(path);
        while (!input.empty()) {
            try {
                apply(*apps, input);
            } catch (const ComponentError &) {
                // Refused values and slots outside the tables change nothing.
            }
        }
        held = readBack(*apps);
        if (!apps->save())
            std::abort();
    }
    ExternalApps again;
    again.setMaxGroups(32767);
    again.setMaxApps(32767);
    if (QFileInfo::exists(path))
        again.setEXTFile(path);
    if (dump(again) != held) {
        qWarning() << "held:" << held << "\nread back:" << dump(again);
        std::abort();
    }
    return 0;
}
