// SPDX-License-Identifier: MIT
// Program icon look-ups: the first one (desktop entry scan, theme set-up, MIME type), a cached
// one (what loading a long launch list with a few distinct programs costs per line), and one
// past the cache lifetime (the file checked again).
#include "icons/mGetFileIcon.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using Lanyard::mGetFileIcon::GetFileIcon;

namespace {

constexpr int cachedRounds = 1'000'000;
constexpr int recheckRounds = 10'000;

double nanosecondsPerLookup(const QStringList &paths, int rounds)
{
    qint64 keys = 0; // keeps the calls from being optimised away
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rounds; ++i)
        keys += GetFileIcon(paths.at(i % paths.size()), 1).cacheKey();
    const double elapsed = double(timer.nsecsElapsed());
    return keys == 0 ? -1.0 : elapsed / rounds;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList paths{u"/bin/sh"_s, u"/usr/bin/env"_s, u"/usr/bin/cmake"_s, u"/no/such/program"_s};

    QElapsedTimer first;
    first.start();
    GetFileIcon(paths.first(), 1);
    std::printf("icon_lookup_first_ms %.2f ms\n", double(first.nsecsElapsed()) / 1e6);

    for (const QString &path : paths)
        GetFileIcon(path, 1);
    std::printf("icon_lookup_cached_ns %.1f ns\n", nanosecondsPerLookup(paths, cachedRounds));

    Lanyard::mGetFileIcon::setEntryCheckInterval(0ms);
    std::printf("icon_lookup_recheck_us %.2f us\n", nanosecondsPerLookup(paths, recheckRounds) / 1e3);
    return 0;
}
