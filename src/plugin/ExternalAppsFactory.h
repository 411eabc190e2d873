// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

namespace Lanyard {

/**
 * The plugin that lets a host create an ExternalApps object by its class name
 * "Lanyard.ExternalApps" at run time, without the library's headers: load the plugin with
 * QPluginLoader, check MetaData.className, and call create() on its instance. The caller owns
 * the new object; deleting it releases it.
 */
class ExternalAppsFactory : public QObject
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "Lanyard.ExternalApps/1.0" FILE "lanyard.json")

public:
    using QObject::QObject;

    Q_INVOKABLE QObject *create(QObject *parent = nullptr);
};

} // namespace Lanyard
