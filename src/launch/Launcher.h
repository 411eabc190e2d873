// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/LaunchCommand.h>
#include <Lanyard/Result.h>

#include <QString>

#include <functional>

namespace Lanyard {

class PlaceholderTable;

struct SpawnResult;

/// Starts a program path with a command line, the placeholders replaced in both. Thread-safe:
/// it keeps no state of its own. A launch that fails gives the ComponentError whose detail is
/// its reason in words a user understands: FileNotFound for a missing program or one that
/// cannot start, PermissionDenied, InvalidArgument for a quote left open.
class Launcher
{
public:
    /// Tells the user that the program file at the path, as stored, does not exist.
    using MissingProgram = std::function<void(const QString &path)>;

    /**
     * The launch of ExternalApps::ExecuteApp from the existence test on: prepare, then start.
     */
    static Result<void> execute(const QString &path, const QString &cmdLine, const PlaceholderTable &placeholders,
                                const MissingProgram &missingProgram);
    /**
     * The existence test and the command of a launch, shared by every way of starting an
     * entry. A missing program file is reported through @p missingProgram; any failure comes
     * with its reason in one line. A path without a folder that names no normal file in the
     * current folder is looked up in PATH and started by the path found there. The command's
     * folder is that of the path (one without a folder: empty, the current directory).
     */
    static Result<LaunchCommand> prepare(const QString &path, const QString &cmdLine,
                                         const PlaceholderTable &placeholders, const MissingProgram &missingProgram);
    /// Starts @p command detached: in its folder while the host's current directory stays as
    /// it is, in a new session with stdin on /dev/null; ChildReaper reaps it.
    static Result<void> start(const LaunchCommand &command);
    /// Why a spawn failed, its detail in one line ("Permission denied", "cannot enter the
    /// program's folder: ...").
    static ComponentError spawnFailure(const SpawnResult &spawn);
    /// What execute would start, without starting it.
    static Result<LaunchCommand> preview(const QString &path, const QString &cmdLine,
                                         const PlaceholderTable &placeholders);
};

} // namespace Lanyard
