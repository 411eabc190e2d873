// SPDX-License-Identifier: MIT
// A host that knows Lanyard only by its class name: it loads the plugin, creates the object by
// "Lanyard.ExternalApps" and drives it by member names. No Lanyard header, no link to it.
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QJsonObject>
#include <QPluginLoader>

/// Creates the object through the plugin whose metadata names the class.
QObject *create(const QString &className)
{
    const QDir plugins(QStringLiteral(LANYARD_PLUGIN_DIR));
    for (const QString &file : plugins.entryList(QDir::Files)) {
        QPluginLoader loader(plugins.filePath(file));
        if (loader.metaData().value(QStringLiteral("MetaData")).toObject().value(QStringLiteral("className"))
            != className)
            continue;
        QObject *created = nullptr;
        if (QObject *factory = loader.instance())
            QMetaObject::invokeMethod(factory, "create", Q_RETURN_ARG(QObject *, created), Q_ARG(QObject *, nullptr));
        return created;
    }
    return nullptr;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QObject *apps = create(QStringLiteral("Lanyard.ExternalApps"));
    if (!apps || argc < 2)
        return 1;
    apps->setProperty("EXTFile", QString::fromLocal8Bit(argv[1])); // properties by name
    QVariant added;                                                // members by name, QVariants in and out
    QMetaObject::invokeMethod(apps, "AddApp", Q_RETURN_ARG(QVariant, added), Q_ARG(QVariant, "Tools"),
                              Q_ARG(QVariant, "Editor"), Q_ARG(QVariant, "/usr/bin/ed"), Q_ARG(QVariant, "-p %FILE%"),
                              Q_ARG(QVariant, false));

    // invoke(): the same members with the error's number and text in the result.
    QVariantMap result;
    QMetaObject::invokeMethod(apps, "invoke", Q_RETURN_ARG(QVariantMap, result), Q_ARG(QString, "AppPath"),
                              Q_ARG(QString, "get"), Q_ARG(QVariantList, (QVariantList{"Tools", "Editor"})));
    qInfo().noquote() << "added:" << added.toBool() << "groups:" << apps->property("GroupCount").toInt()
                      << "path:" << result.value("value").toString() << "error:" << result.value("error").toInt();
    delete apps; // the release saves the changes
    return 0;
}
