#pragma once

#include <Lanyard/LaunchCommand.h>

#include <QString>

#include <functional>
#include <optional>

namespace Lanyard {

class PlaceholderTable;

/// How a launch went: started, or why not, in words a user understands.
struct LaunchResult
{
    bool started = false;
    QString reason; ///< empty when started

    static LaunchResult success() { return {true, QString()}; }
    static LaunchResult failure(const QString &why) { return {false, why}; }
};

/// Starts a program path with a command line, the placeholders replaced in both.
class Launcher
{
public:
    /// Tells the user that the program file at the path, as stored, does not exist.
    using MissingProgram = std::function<void(const QString &path)>;

    /**
     * The launch of ExternalApps::ExecuteApp from the existence test on; true when started.
     * A missing program file is reported through @p missingProgram. A path without a folder
     * part keeps the current directory. A relative program is made absolute before the
     * directory changes, so it names the file that was checked. The program starts in a new
     * session with stdin on /dev/null and is reaped by ChildReaper.
     */
    static LaunchResult execute(const QString &path, const QString &cmdLine, const PlaceholderTable &placeholders,
                                const MissingProgram &missingProgram);
    /// What execute would start, without starting it.
    static std::optional<LaunchCommand> preview(const QString &path, const QString &cmdLine,
                                                const PlaceholderTable &placeholders);
};

} // namespace Lanyard
