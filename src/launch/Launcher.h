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
    /// The launch of ExternalApps::ExecuteApp up to and including the start; true when started.
    static bool execute(const Catalogue &catalogue, const PlaceholderTable &placeholders,
                        const QString &group, const QString &app);
    /// What execute would start, without starting it.
    static std::optional<LaunchCommand> preview(const Catalogue &catalogue, const PlaceholderTable &placeholders,
                                                const QString &group, const QString &app);
};

} // namespace Lanyard
