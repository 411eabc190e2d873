#include "Launcher.h"

namespace Lanyard {

bool Launcher::execute(const Catalogue &, const PlaceholderTable &, const QString &, const QString &)
{
    return false;
}

std::optional<LaunchCommand> Launcher::preview(const Catalogue &, const PlaceholderTable &, const QString &,
                                               const QString &)
{
    return std::nullopt;
}

} // namespace Lanyard
