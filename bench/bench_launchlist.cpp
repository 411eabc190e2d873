// SPDX-License-Identifier: MIT
// Loads and saves a launch list of 1,000,000 lines (1000 groups of 1000 applications) and
// prints the times next to the time that awk takes to count the file's lines, measured in the
// same run on the same file. The load runs in a fresh process of this program, so that its
// peak resident memory is the load's own.
#include "ProcessStatus.h"
#include "catalogue/Catalogue.h"
#include "catalogue/LaunchList.h"
#include "catalogue/LaunchListFile.h"

#include "PeakMemory.h"

#include <Lanyard/ExternalApps.h>

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

constexpr int groups = 1000;
constexpr int appsPerGroup = 1000;
constexpr int rounds = 3;

bool writeList(const QString &path)
{
    const QByteArray programs[] = {"/bin/true", "/usr/bin/env", "/bin/ls", "/usr/bin/awk"};
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray out;
    out += "; Created by: bench on 01-01-2026\r\n; Format: Group Label,Program label,Program Path,Command line\r\n";
    for (int g = 0; g < groups; ++g) {
        for (int a = 0; a < appsPerGroup; ++a) {
            out += "Group " + QByteArray::number(g) + ",Application " + QByteArray::number(a) + ','
                   + programs[(g + a) % 4] + ",--file=%FILE% -n " + QByteArray::number(a % 7) + ','
                   + (a % 3 == 0 ? "-1" : "0") + "\r\n";
        }
        if (out.size() > (4 << 20)) {
            file.write(out);
            out.clear();
        }
    }
    return file.write(out) == out.size();
}

double awkMs(const QString &path)
{
    double best = 1e300;
    for (int i = 0; i < rounds; ++i) {
        QProcess awk;
        QElapsedTimer timer;
        timer.start();
        awk.start(u"awk"_s, {u"-F,"_s, u"NF>=3{n++} END{print n}"_s, path});
        awk.waitForFinished(-1);
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

/// The child: loads @p path, saves it to @p savePath, prints "load_ms save_ms rss_kb".
int child(const QString &path, const QString &savePath)
{
    auto apps = std::make_unique<ExternalApps>();
    apps->setMaxGroups(groups);
    apps->setMaxApps(appsPerGroup);
    QElapsedTimer timer;
    timer.start();
    apps->setEXTFile(path);
    const double loadMs = timer.nsecsElapsed() / 1e6;
    const long rss = processStatusKb("VmHWM");
    if (apps->GroupCount() != groups || apps->AppCount(QVariant(groups - 1)) != appsPerGroup)
        return 1;
    // The save writes the catalogue's data; the same data without the object around it.
    apps.release(); // its teardown is not part of what is measured
    Catalogue catalogue;
    catalogue.setMaxGroups(groups);
    catalogue.setMaxApps(appsPerGroup);
    const LaunchListFile::Version read = LaunchListFile::load(
        path, [&](const LaunchListEntry &entry) { catalogue.addLoaded(entry, QIcon()); });
    timer.restart();
    LaunchListFile::save(savePath, LaunchList::linesOf(catalogue), read.encoding);
    const double saveMs = timer.nsecsElapsed() / 1e6;
    std::printf("%.3f %.3f %ld\n", loadMs, saveMs, rss);
    std::fflush(stdout);
    // The catalogue's teardown is not part of what is measured.
    std::_Exit(0);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == u"--child"_s)
        return child(args[2], args[3]);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"launch.lst"_s);
    if (!dir.isValid() || !writeList(path)) {
        std::fprintf(stderr, "could not write the launch list\n");
        return 1;
    }
    const double awk = awkMs(path);
    double load = 1e300;
    double save = 1e300;
    long rss = 0;
    for (int i = 0; i < rounds; ++i) {
        QProcess run;
        run.start(app.applicationFilePath(), {u"--child"_s, path, dir.filePath(u"saved.lst"_s)});
        if (!run.waitForFinished(-1) || run.exitCode() != 0) {
            std::fprintf(stderr, "the load failed: %s\n", run.readAllStandardError().constData());
            return 1;
        }
        const QList<QByteArray> figures = run.readAllStandardOutput().trimmed().split(' ');
        load = std::min(load, figures.value(0).toDouble());
        save = std::min(save, figures.value(1).toDouble());
        rss = std::max(rss, figures.value(2).toLong());
    }
    std::printf("awk_1m_ms %.1f ms\n", awk);
    std::printf("load_1m_ms %.1f ms\n", load);
    std::printf("save_1m_ms %.1f ms\n", save);
    std::printf("load_1m_ratio_awk %.2f x\n", load / awk);
    std::printf("save_1m_ratio_awk %.2f x\n", save / awk);
    std::printf("load_1m_peak_rss_mb %.1f MB\n", rss / 1024.0);
    return 0;
}
