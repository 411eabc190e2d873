// SPDX-License-Identifier: MIT
// How soon a host's Tools menu follows a save made by another process:
//   live_reload_ms      from the moment another process's save returned to the moment this
//                       one's ToolsMenu holds the new entry (target: at most 500), on a list of
//                       100 programs; the median of a few rounds
//   live_reload_10k_ms  the same on a list of 10,000 entries (100 groups of 100)
// Both processes read the monotonic clock, which the system shares.
#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolsMenu.h>

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <utility>
#include <vector>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

constexpr int rounds = 7;
constexpr qint16 maxApps = 200;

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

/// The other process: adds @p name and saves; prints when the save returned.
int saveOne(const QString &list, const QString &name)
{
    ExternalApps apps;
    apps.setMaxGroups(maxApps);
    apps.setMaxApps(maxApps);
    apps.setEXTFile(list);
    apps.AddApp(u"Programs"_s, name, u"/usr/bin/env"_s, QString(), false);
    if (!apps.save())
        return 1;
    std::printf("%lld\n", static_cast<long long>(nowNs()));
    return 0;
}

/// One round: the milliseconds from the other process's save to this menu's new entry.
double round(const QString &self, const QString &list, ExternalApps &apps, const ToolsMenu &tools, int number)
{
    const QString name = u"added %1"_s.arg(number);
    const QString objectName = u"lanyard-tool/Programs/"_s + name;
    qint64 shown = 0;
    QEventLoop loop;
    const auto connection = QObject::connect(&apps, &ExternalApps::catalogueChanged, &loop, [&] {
        if (!shown && tools.menu()->findChild<QAction *>(objectName)) {
            shown = nowNs();
            loop.quit();
        }
    });
    QProcess other;
    other.start(self, {u"--save"_s, list, name});
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(connection);
    // The loop may have seen it finish already.
    if ((other.state() != QProcess::NotRunning && !other.waitForFinished(30000)) || other.exitCode() != 0 || !shown)
        return -1;
    return double(shown - other.readAllStandardOutput().trimmed().toLongLong()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == u"--save"_s)
        return saveOne(args[2], args[3]);

    for (const auto &[groups, figure] : {std::pair{1, "live_reload_ms"}, std::pair{100, "live_reload_10k_ms"}}) {
        QTemporaryDir dir;
        const QString list = dir.filePath(u"tools.lst"_s);
        QFile file(list);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        for (int g = 0; g < groups; ++g) {
            const QString group = g == 0 ? u"Programs"_s : u"Group %1"_s.arg(g);
            for (int i = 0; i < 100; ++i)
                file.write(u"%1,tool %2,/usr/bin/env,%FILE%,0\r\n"_s.arg(group).arg(i).toUtf8());
        }
        file.close();

        ExternalApps apps;
        apps.setMaxGroups(maxApps);
        apps.setMaxApps(maxApps);
        apps.setEXTFile(list);
        ToolsMenu tools(&apps, u"&Tools"_s);
        // The host's one line: the menu follows the catalogue (connected first, so it runs first).
        QObject::connect(&apps, &ExternalApps::catalogueChanged, &tools, &ToolsMenu::rebuild);
        std::vector<double> times;
        for (int i = 0; i < rounds; ++i) {
            const double ms = round(app.applicationFilePath(), list, apps, tools, i);
            if (ms < 0)
                return 1;
            times.push_back(ms);
        }
        std::sort(times.begin(), times.end());
        std::printf("%s %.1f ms\n", figure, times[times.size() / 2]);
    }
    return 0;
}
