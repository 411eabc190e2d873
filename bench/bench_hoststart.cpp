// SPDX-License-Identifier: MIT
// What a GUI host pays at start for its Tools menu, against a plain Qt menu of as many icons:
//   host_start_100_ms           create ExternalApps, load a list of 100 programs of /usr/bin,
//                               build the ToolsMenu with their icons
//   bare_menu_100_ms            a QMenu with 100 actions whose icons come from QIcon::fromTheme
//   host_start_ratio_bare_menu  the first divided by the second (target: under 2), the list
//                               followed on disk as every host has it
// Each is measured in a fresh process, so that no cache of an earlier round helps it; the best
// of a few rounds counts.
#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolsMenu.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

constexpr int programCount = 100;
constexpr int rounds = 3;

QStringList programs()
{
    QStringList found = QDir(u"/usr/bin"_s).entryList(QDir::Files | QDir::Executable, QDir::Name);
    return found.mid(0, programCount);
}

double hostStart(const QString &list)
{
    QElapsedTimer timer;
    timer.start();
    ExternalApps apps;
    apps.setMaxApps(programCount);
    apps.setEXTFile(list);
    ToolsMenu menu(&apps, u"&Tools"_s);
    return timer.nsecsElapsed() / 1e6;
}

double bareMenu()
{
    QElapsedTimer timer;
    timer.start();
    QMenu menu(u"&Tools"_s);
    for (const QString &program : programs())
        menu.addAction(QIcon::fromTheme(program, QIcon::fromTheme(u"application-x-executable"_s)), program);
    return timer.nsecsElapsed() / 1e6;
}

double bestOfChildren(const QString &self, const QStringList &arguments)
{
    double best = 1e300;
    for (int i = 0; i < rounds; ++i) {
        QProcess child;
        child.start(self, arguments);
        if (!child.waitForFinished(-1) || child.exitCode() != 0)
            return -1;
        best = std::min(best, child.readAllStandardOutput().trimmed().toDouble());
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == u"--host"_s) {
        std::printf("%.3f\n", hostStart(args[2]));
        return 0;
    }
    if (args.size() == 2 && args[1] == u"--bare"_s) {
        std::printf("%.3f\n", bareMenu());
        return 0;
    }

    QTemporaryDir dir;
    const QString list = dir.filePath(u"tools.lst"_s);
    QFile file(list);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    for (const QString &program : programs())
        file.write(("Programs," + program + ",/usr/bin/" + program + ",%FILE%,0\r\n").toUtf8());
    file.close();
    const double host = bestOfChildren(app.applicationFilePath(), {u"--host"_s, list});
    const double bare = bestOfChildren(app.applicationFilePath(), {u"--bare"_s});
    std::printf("host_start_100_ms %.2f ms\n", host);
    std::printf("bare_menu_100_ms %.2f ms\n", bare);
    std::printf("host_start_ratio_bare_menu %.2f x\n", host / bare);
    return 0;
}
