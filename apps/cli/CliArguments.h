// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/Language.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <variant>

/// One run of the command-line host, as its arguments ask for it.
struct CliInvocation
{
    QString file; // as given: the component makes it absolute
    bool fileGiven = false;
    std::optional<qint16> maxGroups;
    std::optional<qint16> maxApps;
    std::optional<Lanyard::Language> language;
    QList<std::pair<QString, QString>> placeholders; // in the order given
    QString command;
    QStringList arguments;
    bool isProtected = false;
    std::optional<QString> path; // edit only
    std::optional<QString> cmd;  // edit only
    bool wait = false;           // run only
};

/// What the host prints before it stops without running a command (--help, --version, bad usage).
struct CliExit
{
    int status;
    QString out;
    QString err;
};

namespace CliArguments {

/// Parses the whole argument list, program name first. @p defaultFile is the launch list used
/// without --file.
std::variant<CliInvocation, CliExit> parse(const QStringList &arguments, const QString &defaultFile);

/// The exit status of an error that the component reports, of bad usage and of lost output.
inline constexpr int errorStatus = 2;
/// The exit status of run --wait when the program did not start, as a shell's for a command
/// it cannot find.
inline constexpr int notStartedStatus = 127;

/// The range of --max-groups and --max-apps: what the component accepts as a limit.
inline constexpr qint16 minCount = 1;
inline constexpr qint16 maxCount = 32767;

/// Whether @p command may write the launch list (and so create its folder).
bool writesTheList(const QString &command);

} // namespace CliArguments
