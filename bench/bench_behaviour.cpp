// SPDX-License-Identifier: MIT
// Tools that fit the moment, for a list of 1,000 tools (10 groups of 100) with behaviours:
//   behaviour_load_1000_ms  reading a behaviour file of 1,000 tools (target: at most 20)
//   menu_filter_1000_ms     a ToolsMenu of the 1,000 tools told that the current file changed,
//                           its tools shown and hidden by their file types (target: at most 5)
// Processor time of this thread over fifty such steps, the least of several rounds, so that other
// jobs on the machine do not decide them.
#include "CpuTime.h"
#include "catalogue/BehaviourFile.h"

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolsMenu.h>

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace Lanyard;
using namespace Qt::StringLiterals;

namespace {

constexpr int groups = 10;
constexpr int toolsPerGroup = 100;
constexpr int rounds = 11;
// Each round repeats its step this often: one step takes less than the clock's tick.
constexpr int repeats = 50;

/// Every tool has a behaviour; a fifth of them fit C sources, a fifth Python, a fifth *.txt.
ToolBehaviour behaviourOf(int tool)
{
    ToolBehaviour behaviour;
    behaviour.output = ToolBehaviour::Output(tool % 6);
    behaviour.input = ToolBehaviour::Input(tool % 3);
    const QStringList types[] = {{u"text/x-csrc"_s}, {u"text/x-python"_s, u"*.pyw"_s}, {u"*.txt"_s}, {}, {}};
    behaviour.fileTypes = types[tool % 5];
    behaviour.shortcut = tool < 50 ? u"Ctrl+Alt+F%1"_s.arg(tool % 12 + 1) : QString();
    return behaviour;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString list = dir.filePath(u"tools.lst"_s);
    {
        ExternalApps apps;
        apps.setMaxGroups(groups);
        apps.setMaxApps(toolsPerGroup);
        apps.setEXTFile(list);
        for (int g = 0; g < groups; ++g) {
            for (int t = 0; t < toolsPerGroup; ++t) {
                const QString group = u"Group %1"_s.arg(g);
                const QString name = u"Tool %1"_s.arg(t);
                apps.AddApp(group, name, u"/bin/true"_s, QString(), false);
                apps.setToolBehaviour(group, name, behaviourOf(g * toolsPerGroup + t));
            }
        }
    }
    const QString file = BehaviourFile::pathFor(list);
    double load = 1e300;
    for (int i = 0; i < rounds; ++i) {
        const double start = cpuMs();
        for (int k = 0; k < repeats; ++k) {
            if (BehaviourFile::load(file).size() < 900) // a few tools have the default behaviour
                return 1;
        }
        load = std::min(load, (cpuMs() - start) / repeats);
    }

    ExternalApps apps;
    apps.setMaxGroups(groups);
    apps.setMaxApps(toolsPerGroup);
    apps.setEXTFile(list);
    ToolsMenu menu(&apps, u"&Tools"_s);
    const QString files[] = {u"/src/main.c"_s, u"/src/tool.py"_s, u"/doc/notes.txt"_s, u"/doc/README"_s};
    double filter = 1e300;
    for (int i = 0; i < rounds; ++i) {
        const double start = cpuMs();
        for (int k = 0; k < repeats; ++k)
            menu.setCurrentDocument(files[(i + k) % 4]);
        filter = std::min(filter, (cpuMs() - start) / repeats);
    }
    std::printf("behaviour_load_1000_ms %.3f ms\n", load);
    std::printf("menu_filter_1000_ms %.3f ms\n", filter);
    return 0;
}
