// SPDX-License-Identifier: MIT
#include "LanyardQmlPlugin.h"

#include <Lanyard/ExternalApps.h>

#include <QQmlEngine>

namespace Lanyard {

void LanyardQmlPlugin::registerTypes(const char *uri)
{
    qmlRegisterType<ExternalApps>(uri, 1, 0, "ExternalApps");
    qmlRegisterUncreatableType<ToolRun>(uri, 1, 0, "ToolRun", QStringLiteral("a ToolRun comes from startTool"));
    qmlRegisterUncreatableMetaObject(Lanyard::staticMetaObject, uri, 1, 0, "Language",
                                     QStringLiteral("Language is an enumeration"));
}

} // namespace Lanyard
