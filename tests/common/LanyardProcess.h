// SPDX-License-Identifier: MIT
#pragma once

// The command-line host run as a program without a display, as the test's user or another.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <grp.h>
#include <unistd.h>

#include <memory>

namespace LanyardProcess {

inline const QString program = QStringLiteral(LANYARD_TEST_BIN_DIR "/lanyard");

struct Result // status -1: not ended by itself within a minute
{
    int status = -1;
    QString out, err;
};

struct User // uid 0: as the test runs
{
    uid_t uid = 0;
    gid_t gid = 0;
    gid_t group = 0;
};
constexpr User nobody{65534, 65534, 65534};

/// The build tree, or for another user a copy anyone may enter (the tree may be out of reach).
inline QString binaryFolder(const User &user)
{
    static QTemporaryDir copy(QDir::tempPath() + QStringLiteral("/lanyard-bin-XXXXXX"));
    static const bool made = [] {
        const QDir bin(QStringLiteral(LANYARD_TEST_BIN_DIR));
        bool ok = copy.isValid() && QFile::setPermissions(copy.path(), QFileDevice::Permissions(0x7755));
        for (const QString &name : bin.entryList({QStringLiteral("lanyard"), QStringLiteral("*.so*")}, QDir::Files))
            ok = ok && QFile::copy(bin.filePath(name), copy.filePath(name));
        return ok;
    }();
    return user.uid == 0 ? QStringLiteral(LANYARD_TEST_BIN_DIR) : made ? copy.path() : QStringLiteral("/copy-failed");
}

inline QProcessEnvironment headless(const QStringList &variables = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    for (const QString &variable : variables)
        env.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    return env;
}

inline std::unique_ptr<QProcess> start(const QStringList &arguments, const QString &folder = {}, const User &user = {},
                                       const QStringList &variables = {})
{
    auto process = std::make_unique<QProcess>();
    QStringList reachable = QStringList(variables).replaceInStrings(QStringLiteral(LANYARD_TEST_BIN_DIR),
                                                                    binaryFolder(user));
    if (user.uid != 0)
        reachable << QStringLiteral("LD_LIBRARY_PATH=") + binaryFolder(user);
    process->setProcessEnvironment(headless(reachable)), process->setWorkingDirectory(folder);
    if (user.uid != 0)
        process->setChildProcessModifier([user] {
            const gid_t groups[] = {user.group};
            if (::setgroups(1, groups) != 0 || ::setgid(user.gid) != 0 || ::setuid(user.uid) != 0)
                ::_exit(99);
        });
    process->start(binaryFolder(user) + QStringLiteral("/lanyard"), arguments);
    return process;
}

inline Result finish(QProcess &process)
{
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return process.kill(), process.waitForFinished(), Result{};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

inline Result run(const QStringList &arguments, const QString &folder = {}, const User &user = {},
                  const QStringList &variables = {})
{
    return finish(*start(arguments, folder, user, variables));
}

} // namespace LanyardProcess
