// SPDX-License-Identifier: MIT
// Figures of the launch list under other writers and hostile files:
//   concurrent_add_20_kept       entries kept after 20 `lanyard add` of distinct entries, all
//                                started at once on one list (target: 20)
//   long_line_200mb_peak_rss_mb  peak resident memory of a process whose load meets a list with
//                                one 200 MB line and fails (target: under 100)
#include "PeakMemory.h"

#include <Lanyard/ExternalApps.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <vector>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

int concurrentAddsKept(const QString &list)
{
    std::vector<std::unique_ptr<QProcess>> adds;
    for (int i = 0; i < 20; ++i) {
        auto &add = adds.emplace_back(std::make_unique<QProcess>());
        add->start(QStringLiteral(LANYARD_BIN_DIR "/lanyard"),
                   {u"--file"_s, list, u"add"_s, u"Group "_s + QString::number(i % 4), u"App "_s + QString::number(i),
                    u"/bin/true"_s});
    }
    for (auto &add : adds)
        add->waitForFinished(-1);
    ExternalApps apps;
    apps.setMaxGroups(100);
    apps.setEXTFile(list);
    int kept = 0;
    for (qint16 g = 0; g < apps.GroupCount(); ++g)
        kept += apps.AppCount(g);
    return kept;
}

/// The child: loads the list, which must fail, and prints its peak memory in KiB.
int loadLongLine(const QString &list)
{
    ExternalApps apps;
    try {
        apps.setEXTFile(list);
        return 1;
    } catch (const ComponentError &) {
    }
    std::printf("%ld\n", peakRssKb());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == u"--child"_s)
        return loadLongLine(args[2]);

    QTemporaryDir dir;
    std::printf("concurrent_add_20_kept %d entries\n", concurrentAddsKept(dir.filePath(u"shared.lst"_s)));
    std::fflush(stdout);

    const QString longLine = dir.filePath(u"long.lst"_s);
    QFile file(longLine);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    const QByteArray block(1 << 20, 'x');
    file.write("Tools,Editor,/usr/bin/ed,");
    for (int i = 0; i < 200; ++i)
        file.write(block);
    file.write(",0\r\n");
    file.close();
    QProcess child;
    child.start(app.applicationFilePath(), {u"--child"_s, longLine});
    if (!child.waitForFinished(-1) || child.exitCode() != 0) {
        std::fprintf(stderr, "the load of a 200 MB line did not fail cleanly\n");
        return 1;
    }
    std::printf("long_line_200mb_peak_rss_mb %.1f MB\n", child.readAllStandardOutput().trimmed().toLong() / 1024.0);
    return 0;
}
