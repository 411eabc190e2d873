// SPDX-License-Identifier: MIT
// Every member that takes a number-or-name argument, called late-bound with fuzzed values:
// it either succeeds or fails with one of the component's error numbers, and a failed call,
// like any read, leaves the catalogue as it was.
#include "FuzzInput.h"

#include <Lanyard/ExternalApps.h>

#include <cstdlib>

using namespace Lanyard;

namespace {

// The first slots of the tables: the fuzzer may raise the limits to 32767.
QStringList snapshot(ExternalApps &apps)
{
    QStringList rows{QString::number(apps.GroupCount()), QString::number(apps.MaxGroups()),
                     QString::number(apps.MaxApps())};
    for (qint16 g = 0; g < std::min<qint16>(apps.MaxGroups(), 8); ++g) {
        rows << apps.GroupName(g) + QString::number(apps.AppCount(g));
        for (qint16 a = 0; a < std::min<qint16>(apps.MaxApps(), 8); ++a)
            rows << apps.ApplicationName(g, a) + u'|' + apps.AppPath(g, a) + u'|' + apps.CmdLine(g, a) + u'|'
                        + QString::number(apps.AppProtected(g, a));
    }
    return rows;
}

struct Probe
{
    const char16_t *member;
    const char16_t *kind;
    int arity; // a let's value included
};

const Probe probes[] = {
    {u"AppCount", u"get", 1},  {u"GroupName", u"get", 1},    {u"ApplicationName", u"get", 2},
    {u"Icon", u"get", 2},      {u"AppPath", u"get", 2},      {u"AppProtected", u"get", 2},
    {u"CmdLine", u"get", 2},   {u"SearchString", u"get", 1}, {u"ReplaceString", u"get", 1},
    {u"AppPath", u"let", 3},   {u"CmdLine", u"let", 3},      {u"ApplicationName", u"let", 3},
    {u"GroupName", u"let", 2}, {u"AppProtected", u"let", 3}, {u"DeleteApp", u"call", 2},
    {u"MaxGroups", u"let", 1}, {u"MaxApps", u"let", 1},      {u"Language", u"let", 1},
};

bool isComponentError(int number) { return number == 0 || number == 5 || number == 6 || number == 9 || number == 13; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    ExternalApps apps;
    apps.AddApp(QStringLiteral("Tools"), QStringLiteral("Editor"), QStringLiteral("/no/ed"), QStringLiteral("%F%"),
                false);
    apps.AddApp(QStringLiteral("Tools"), QStringLiteral("0"), QStringLiteral("/no/zero"), QString(), true);
    apps.AddApp(QStringLiteral("1"), QStringLiteral("Viewer"), QStringLiteral("/no/view"), QString(), false);
    apps.AddPlaceHolder(QStringLiteral("%F%"), QStringLiteral("file"));

    while (!input.empty()) {
        const Probe &probe = probes[input.byte() % std::size(probes)];
        QVariantList args;
        for (int i = 0; i < probe.arity; ++i)
            args << input.variant();
        const QString kind = QString::fromUtf16(probe.kind);

        const QStringList before = snapshot(apps);
        const QVariantMap result = apps.invoke(QString::fromUtf16(probe.member), kind, args);
        const int error = result.value(QStringLiteral("error")).toInt();
        if (!isComponentError(error))
            std::abort();
        if ((error != 0 || kind == u"get") && snapshot(apps) != before)
            std::abort();
        // Counts and limits stay coherent whatever was assigned.
        if (apps.GroupCount() > apps.MaxGroups() || apps.MaxGroups() < 1 || apps.MaxApps() < 1)
            std::abort();
    }
    return 0;
}
