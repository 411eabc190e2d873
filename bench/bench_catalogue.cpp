// SPDX-License-Identifier: MIT
// Catalogue figures: the memory of an object with the largest limits, and the time to add
// 100,000 applications.
#include <Lanyard/ExternalApps.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <malloc.h>

#include <cstdio>

using namespace Lanyard;

namespace {

double heapMegabytes() { return double(mallinfo2().uordblks + mallinfo2().hblkhd) / (1024.0 * 1024.0); }

void catalogueMemory()
{
    const double before = heapMegabytes();
    {
        ExternalApps apps;
        apps.setMaxGroups(32767);
        apps.setMaxApps(32767);
        for (int i = 0; i < 100; ++i)
            apps.AddApp(QStringLiteral("Group %1").arg(i % 10), QStringLiteral("App %1").arg(i),
                        QStringLiteral("/usr/bin/env"), QStringLiteral("%FILE%"), false);
        std::printf("catalogue_memory_mb %.2f MB\n", heapMegabytes() - before);
    }
}

void add100k()
{
    ExternalApps apps;
    apps.setMaxGroups(1000);
    apps.setMaxApps(100);
    const QString paths[] = {QStringLiteral("/usr/bin/env"), QStringLiteral("/bin/sh"),
                             QStringLiteral("/no/such/program")};
    QStringList groups, names;
    for (int i = 0; i < 1000; ++i)
        groups << QStringLiteral("Group %1").arg(i);
    for (int i = 0; i < 100; ++i)
        names << QStringLiteral("Application %1").arg(i);

    QElapsedTimer timer;
    timer.start();
    for (int g = 0; g < 1000; ++g)
        for (int a = 0; a < 100; ++a)
            apps.AddApp(groups[g], names[a], paths[(g + a) % 3], QStringLiteral("--line %LINE% %FILE%"), false);
    std::printf("add_100k_ms %.1f ms\n", timer.nsecsElapsed() / 1e6);
    if (apps.AppCount(999) != 100)
        std::printf("add_100k_ms: wrong count\n");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    catalogueMemory();
    add100k();
    return 0;
}
