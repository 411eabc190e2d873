#pragma once

#include <QString>

namespace Lanyard {

class Catalogue;
class ExternalApps;

/// Reads and writes the launch list file.
class LaunchListFile
{
public:
    /// Hands every accepted line of the file at @p path to apps.AddApp.
    static void load(ExternalApps &apps, const QString &path);
    /// Writes the whole catalogue to @p path.
    static void save(const Catalogue &catalogue, const QString &path);
};

} // namespace Lanyard
