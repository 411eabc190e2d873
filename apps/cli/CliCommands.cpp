// SPDX-License-Identifier: MIT
#include "CliCommands.h"

#include "CliArguments.h"
#include "WaitedRun.h"
#include "Windowing.h"

#include "text/NativeText.h"

#include <Lanyard/ComponentError.h>
#include <Lanyard/ExternalApps.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;
using Lanyard::ExternalApps;

namespace CliCommands {

namespace {

void write(std::FILE *stream, const QString &text)
{
    // Values keep the bytes they came with, UTF-8 or not.
    const QByteArray bytes = Lanyard::NativeText::encode(text);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

void out(const QString &line) { write(stdout, line + u'\n'); }
void err(const QString &line) { write(stderr, u"lanyard: "_s + line + u'\n'); }

QString entryName(const QString &group, const QString &app) { return group + u'/' + app; }

/// True when the group holds an application of that name.
bool hasEntry(const ExternalApps &apps, const QString &group, const QString &app)
{
    return apps.entry(group, app).ok();
}

int list(const ExternalApps &apps)
{
    for (qint16 group = 0; group < apps.GroupCount(); ++group) {
        for (qint16 app = 0; app < apps.AppCount(group); ++app) {
            out(QStringList{apps.GroupName(group), apps.ApplicationName(group, app), apps.AppPath(group, app),
                            apps.CmdLine(group, app), QString::number(apps.AppProtected(group, app))}
                    .join(u'\t'));
        }
    }
    return 0;
}

int show(const ExternalApps &apps, const QString &group, const QString &app)
{
    const Lanyard::Result<Lanyard::LaunchCommand> command = apps.launchCommand(group, app);
    if (!command) {
        const bool found = command.error().code() != Lanyard::ErrorCode::IndexOutOfRange;
        err(found ? u"%1: the command line has a quote that is not closed"_s.arg(entryName(group, app))
                  : u"%1: no such application"_s.arg(entryName(group, app)));
        return 1;
    }
    out(u"program: "_s + command->program);
    for (const QString &argument : command->arguments)
        out(u"arg: "_s + argument);
    out(u"folder: "_s + command->folder);
    return 0;
}

int run(ExternalApps &apps, const QString &group, const QString &app, bool wait)
{
    const int notStarted = wait ? CliArguments::notStartedStatus : 1;
    if (!hasEntry(apps, group, app)) {
        err(u"%1: no such application"_s.arg(entryName(group, app)));
        return notStarted;
    }
    // A terminal gets the reason on standard error; a box only where someone sees it and no
    // terminal does (a desktop shortcut).
    apps.setShowMissingProgram(qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr);
    if (wait) {
        const WaitedRun::Outcome outcome = WaitedRun::exec(apps, group, app);
        if (!outcome.started)
            err(u"%1: not started: %2"_s.arg(entryName(group, app), outcome.reason));
        return outcome.started ? outcome.status : notStarted;
    }
    QString reason;
    const QMetaObject::Connection failed = QObject::connect(
        &apps, &ExternalApps::launchFailed,
        [&reason](const QString &, const QString &, const QString &why) { reason = why; });
    const bool started = apps.ExecuteApp(group, app);
    QObject::disconnect(failed);
    if (started)
        return 0;
    err(u"%1: not started: %2"_s.arg(entryName(group, app), reason));
    return 1;
}

/// Which limit keeps an application out of @p group.
QString limitReached(const ExternalApps &apps, const QString &group)
{
    if (apps.AppCount(group) == 0)
        return u"the list holds the %1 groups --max-groups allows"_s.arg(apps.MaxGroups());
    return u"group %1 holds the %2 applications --max-apps allows"_s.arg(group).arg(apps.MaxApps());
}

int add(ExternalApps &apps, const CliInvocation &invocation)
{
    const QStringList &a = invocation.arguments;
    if (apps.AddApp(a.at(0), a.at(1), a.at(2), a.value(3), invocation.isProtected))
        return 0;
    err(u"%1: not added: %2"_s.arg(entryName(a.at(0), a.at(1)), limitReached(apps, a.at(0))));
    return 1;
}

int edit(ExternalApps &apps, const CliInvocation &invocation)
{
    const QStringList &a = invocation.arguments;
    if (!hasEntry(apps, a.at(0), a.at(1))) {
        err(u"%1: no such application"_s.arg(entryName(a.at(0), a.at(1))));
        return 1;
    }
    const QVariant path = invocation.path ? QVariant(*invocation.path) : QVariant();
    const QVariant cmd = invocation.cmd ? QVariant(*invocation.cmd) : QVariant();
    apps.EditApp(a.at(0), a.at(1), a.at(2), a.at(3), invocation.isProtected, path, cmd);
    // A move into a full group, or a new group beyond the limit, leaves the entry where it was.
    if (hasEntry(apps, a.at(2), a.at(3)))
        return 0;
    err(u"%1: not moved to %2: %3"_s.arg(entryName(a.at(0), a.at(1)), a.at(2), limitReached(apps, a.at(2))));
    return 1;
}

/// The component deletes nothing without a word when the names are not found; a user is told.
int deleteEntry(ExternalApps &apps, const QString &group, const QString &app)
{
    if (!hasEntry(apps, group, app)) {
        err(u"%1: no such application"_s.arg(entryName(group, app)));
        return 1;
    }
    apps.DeleteApp(group, app);
    return 0;
}

int runCommand(ExternalApps &apps, const CliInvocation &invocation)
{
    const QString &command = invocation.command;
    const QStringList &a = invocation.arguments;
    if (command == u"list")
        return list(apps);
    if (command == u"show")
        return show(apps, a.at(0), a.at(1));
    if (command == u"run")
        return run(apps, a.at(0), a.at(1), invocation.wait);
    if (command == u"add")
        return add(apps, invocation);
    if (command == u"edit")
        return edit(apps, invocation);
    if (command == u"delete")
        return deleteEntry(apps, a.at(0), a.at(1));
    if (command == u"configure") {
        apps.ShowForm(1);
        return 0;
    }
    Q_UNREACHABLE();
}

/**
 * Limits, the file, then the placeholders in the order given. Limits not given are the largest
 * there are (the tables cost memory only for what they hold), so a list can grow with every
 * add. The file is loaded with that room and limits given are assigned after: the component
 * refuses limits below what it holds, where limits assigned first would leave entries out.
 */
bool configure(ExternalApps &apps, const CliInvocation &invocation)
{
    constexpr qint16 largest = CliArguments::maxCount;
    apps.setMaxGroups(largest);
    apps.setMaxApps(largest);
    apps.setEXTFile(invocation.file);
    qint16 largestGroup = 0;
    for (qint16 g = 0; g < apps.GroupCount(); ++g)
        largestGroup = std::max(largestGroup, apps.AppCount(g));
    const qint16 maxGroups = invocation.maxGroups.value_or(largest);
    const qint16 maxApps = invocation.maxApps.value_or(largest);
    if (maxGroups < apps.GroupCount() || maxApps < largestGroup) {
        err(u"the launch list holds %1 groups of up to %2 applications, more than the limits given allow"_s
                .arg(apps.GroupCount())
                .arg(largestGroup));
        return false;
    }
    apps.setMaxGroups(maxGroups);
    apps.setMaxApps(maxApps);
    if (invocation.language)
        apps.setLanguage(*invocation.language);
    for (const auto &[search, replace] : invocation.placeholders)
        apps.AddPlaceHolder(search, replace);
    return true;
}

} // namespace

int execute(const CliInvocation &invocation)
{
    if (invocation.command == u"configure" && !Windowing::canOpenWindows()) {
        err(u"configure needs a display, and none answers (DISPLAY, WAYLAND_DISPLAY)"_s);
        return CliArguments::errorStatus;
    }
    // The default list's folder appears with the first change; reading creates nothing.
    if (!invocation.fileGiven && CliArguments::writesTheList(invocation.command))
        QDir().mkpath(QFileInfo(invocation.file).absolutePath());

    int status = CliArguments::errorStatus;
    auto apps = std::make_unique<ExternalApps>();
    try {
        if (configure(*apps, invocation))
            status = runCommand(*apps, invocation);
    } catch (const Lanyard::ComponentError &error) {
        err(u"error %1: %2"_s.arg(QString::number(error.number()), error.message()));
        return CliArguments::errorStatus;
    }
    // Saved here rather than at the release, so that a failure reaches the exit status; a
    // command that changed nothing writes nothing.
    const QMetaObject::Connection reported = QObject::connect(
        apps.get(), &ExternalApps::saveFailed,
        [](const QString &reason) { err(u"the launch list was not saved: "_s + reason); });
    const bool saved = apps->save();
    QObject::disconnect(reported); // the release tries once more, without a word
    return saved ? status : CliArguments::errorStatus;
}

} // namespace CliCommands
