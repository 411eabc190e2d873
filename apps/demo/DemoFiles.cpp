// SPDX-License-Identifier: MIT
#include "DemoFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

// Outside any namespace, as Q_INIT_RESOURCE requires: the resources live in a static library.
static void initDemoResources() { Q_INIT_RESOURCE(demo); }

namespace DemoFiles {

namespace {

/// A copy of a resource that the user may change (QFile::copy would keep it read-only).
bool ensureFromResource(const QString &path, const QString &resource)
{
    if (QFileInfo::exists(path))
        return true;
    initDemoResources();
    QFile source(resource);
    if (!source.open(QIODevice::ReadOnly) || !QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile target(path);
    if (!target.open(QIODevice::WriteOnly))
        return false;
    target.write(source.readAll());
    return target.commit();
}

} // namespace

QString defaultLaunchList()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/lanyard-demo/tools.lst"_s;
}

QString defaultSampleText()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/lanyard-demo/sample.txt"_s;
}

QString outputModesFile(const QString &launchList)
{
    const QFileInfo list(launchList);
    return list.absoluteDir().filePath(list.completeBaseName() + u"-output.ini"_s);
}

bool ensureLaunchList(const QString &path)
{
    if (QFileInfo::exists(path))
        return true;
    // The modes first: a list without them would stay without them.
    return ensureFromResource(outputModesFile(path), u":/lanyard-demo/sample-tools-output.ini"_s)
           && ensureFromResource(path, u":/lanyard-demo/sample-tools.lst"_s);
}

bool ensureSampleText(const QString &path) { return ensureFromResource(path, u":/lanyard-demo/sample.txt"_s); }

} // namespace DemoFiles
