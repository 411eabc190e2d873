// SPDX-License-Identifier: MIT
#pragma once

#include <QQmlExtensionPlugin>

namespace Lanyard {

/**
 * The QML module "Lanyard": `import Lanyard` gives the type ExternalApps (the same object as in
 * C++, by its member names), the type of the runs its startTool returns (ToolRun, not made in
 * QML) and the enumeration Language.
 */
class LanyardQmlPlugin : public QQmlExtensionPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QQmlExtensionInterface_iid)

public:
    using QQmlExtensionPlugin::QQmlExtensionPlugin;

    void registerTypes(const char *uri) override;
};

} // namespace Lanyard
