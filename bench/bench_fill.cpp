// SPDX-License-Identifier: MIT
// Filling the program list window with 10,000 applications (100 groups of 100) and filling it
// again after a delete, against filling a bare QTreeWidget with the same labels in this run;
// and the window opened and shown with 1,000 applications (25 groups of 40) at 16 points, and
// its tree rebuilt after an edit. Times are the processor time of the filling thread, the least
// of several rounds, so that other jobs on the machine do not decide them.
#include "CpuTime.h"
#include "ui/frmEditApps.h"

#include <Lanyard/ExternalApps.h>

#include <QApplication>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>

using namespace Lanyard;

namespace {

constexpr int groups = 100;
constexpr int appsPerGroup = 100;
constexpr int rounds = 11;

QString groupLabel(int i) { return QStringLiteral("Group %1").arg(i); }
QString appLabel(int i, int j) { return QStringLiteral("Application %1.%2").arg(i).arg(j); }

double bareFillMs()
{
    QTreeWidget tree;
    tree.setHeaderHidden(true);
    tree.show();
    const double start = cpuMs();
    QList<QTreeWidgetItem *> nodes;
    for (int i = 0; i < groups; ++i) {
        auto *group = new QTreeWidgetItem(QStringList{groupLabel(i)});
        for (int j = 0; j < appsPerGroup; ++j)
            new QTreeWidgetItem(group, QStringList{appLabel(i, j)});
        nodes.append(group);
    }
    tree.addTopLevelItems(nodes);
    tree.expandAll();
    QApplication::processEvents();
    return cpuMs() - start;
}

struct WindowTimes
{
    double fillMs;
    double refillMs;
};

WindowTimes windowFillMs(ExternalApps &apps)
{
    double start = cpuMs();
    apps.ShowForm();
    QApplication::processEvents();
    const double fill = cpuMs() - start;

    start = cpuMs();
    frmEditApps::instance()->RemoveProgram();
    QApplication::processEvents();
    const double refill = cpuMs() - start;
    apps.HideForm();
    return {fill, refill};
}

struct OpenTimes
{
    double openMs;
    double rebuildMs;
};

OpenTimes openThousandMs()
{
    ExternalApps apps;
    apps.setMaxGroups(25);
    apps.setMaxApps(40);
    for (int i = 0; i < 25; ++i) {
        for (int j = 0; j < 40; ++j)
            apps.AddApp(groupLabel(i), appLabel(i, j), QStringLiteral("/nonexistent/app%1").arg(j), QString(), false);
    }
    double start = cpuMs();
    apps.ShowForm();
    QApplication::processEvents();
    const double open = cpuMs() - start;

    apps.EditApp(groupLabel(3), appLabel(3, 7), groupLabel(3), QStringLiteral("Edited application"), false);
    start = cpuMs();
    frmEditApps::instance()->FillTree();
    QApplication::processEvents();
    const double rebuild = cpuMs() - start;
    apps.HideForm();
    return {open, rebuild};
}

void print(const char *name, double value, const char *unit) { std::printf("%s %.3f %s\n", name, value, unit); }

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    double bare = 1e300;
    WindowTimes window{1e300, 1e300};
    for (int round = 0; round < rounds; ++round) {
        ExternalApps apps;
        apps.setMaxGroups(groups);
        apps.setMaxApps(appsPerGroup);
        for (int i = 0; i < groups; ++i) {
            for (int j = 0; j < appsPerGroup; ++j)
                apps.AddApp(groupLabel(i), appLabel(i, j), QStringLiteral("/nonexistent/app%1").arg(j), QString(),
                            false);
        }
        bare = std::min(bare, bareFillMs());
        const WindowTimes times = windowFillMs(apps);
        window.fillMs = std::min(window.fillMs, times.fillMs);
        window.refillMs = std::min(window.refillMs, times.refillMs);
    }
    QFont font = QApplication::font();
    font.setPointSize(16);
    QApplication::setFont(font);
    OpenTimes open{1e300, 1e300};
    for (int round = 0; round < rounds; ++round) {
        const OpenTimes times = openThousandMs();
        open.openMs = std::min(open.openMs, times.openMs);
        open.rebuildMs = std::min(open.rebuildMs, times.rebuildMs);
    }

    print("fill_10k_ratio_bare_tree", std::max(window.fillMs, window.refillMs) / bare, "x");
    print("fill_10k_window_ms", window.fillMs, "ms");
    print("refill_10k_after_delete_ms", window.refillMs, "ms");
    print("fill_10k_bare_tree_ms", bare, "ms");
    print("open_1000_entries_ms", open.openMs, "ms");
    print("rebuild_1000_after_edit_ms", open.rebuildMs, "ms");
    return 0;
}
