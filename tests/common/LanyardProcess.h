// SPDX-License-Identifier: MIT
#pragma once

// The command-line host run as a program, as from a shell without a display, as the test's
// user or as another.
#include <QProcess>
#include <QStringList>

#include <grp.h>
#include <unistd.h>

#include <memory>

namespace LanyardProcess {

inline const QString program = QStringLiteral(LANYARD_TEST_BIN_DIR "/lanyard");

/// What a run ended with; status -1: it did not end by itself within a minute.
struct Result
{
    int status = -1;
    QString out, err;
};

/// The user a process runs as; uid 0: as the test does. Ids without an account are enough.
struct User
{
    uid_t uid = 0;
    gid_t gid = 0;
    gid_t group = 0;
};
constexpr User nobody{65534, 65534, 65534};

/// The test's environment without a display, with @p variables ("NAME=value") set.
inline QProcessEnvironment headless(const QStringList &variables = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name :
         {QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("QT_QPA_PLATFORM")})
        env.remove(name);
    for (const QString &variable : variables)
        env.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    return env;
}

/// Starts `lanyard` in @p folder (none: the test's own) without a display.
inline std::unique_ptr<QProcess> start(const QStringList &arguments, const QString &folder = {}, const User &user = {},
                                       const QStringList &variables = {})
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(headless(variables));
    process->setWorkingDirectory(folder);
    if (user.uid != 0) {
        process->setChildProcessModifier([user] {
            const gid_t groups[] = {user.group};
            if (::setgroups(1, groups) != 0 || ::setgid(user.gid) != 0 || ::setuid(user.uid) != 0)
                ::_exit(99);
        });
    }
    process->start(program, arguments);
    return process;
}

inline Result finish(QProcess &process)
{
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

inline Result run(const QStringList &arguments, const QString &folder = {}, const User &user = {},
                  const QStringList &variables = {})
{
    return finish(*start(arguments, folder, user, variables));
}

} // namespace LanyardProcess
