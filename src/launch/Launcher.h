#pragma once

#include <Lanyard/LaunchCommand.h>

#include <QString>

#include <optional>

namespace Lanyard {

class Catalogue;
class PlaceholderTable;

/// Starts catalogue entries with their placeholders replaced.
class Launcher
{
public:
    /**
     * The launch of ExternalApps::ExecuteApp up to and including the start; true when started.
     *
     * A missing program file shows "Unable to find the file: " with the stored path in a modal
     * QMessageBox (critical icon, one OK button, title "Lanyard", objectName
     * "lanyardMissingProgram") run with exec(), so a test can find it through
     * QApplication::activeModalWidget(); without a QApplication the text goes to stderr.
     * A path without a folder part keeps the current directory. A relative program is made
     * absolute before the directory changes, so it names the file that was checked. The
     * program starts in a new session with stdin on /dev/null and is reaped by ChildReaper.
     */
    static bool execute(const Catalogue &catalogue, const PlaceholderTable &placeholders,
                        const QString &group, const QString &app);
    /// What execute would start, without starting it.
    static std::optional<LaunchCommand> preview(const Catalogue &catalogue, const PlaceholderTable &placeholders,
                                                const QString &group, const QString &app);
};

} // namespace Lanyard
