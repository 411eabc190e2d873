// A QML host: the ExternalApps object, created by its class name through the plugin, is
// "apps" in main.qml, which uses it by property and member names.
#include <QCoreApplication>
#include <QDir>
#include <QJsonObject>
#include <QPluginLoader>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QObject *apps = nullptr;
    const QDir plugins(QStringLiteral(LANYARD_PLUGIN_DIR));
    for (const QString &file : plugins.entryList(QDir::Files)) {
        QPluginLoader loader(plugins.filePath(file));
        if (loader.metaData().value(QStringLiteral("MetaData")).toObject().value(QStringLiteral("className"))
                == QStringLiteral("Lanyard.ExternalApps")
            && loader.instance())
            QMetaObject::invokeMethod(loader.instance(), "create", Q_RETURN_ARG(QObject *, apps),
                                      Q_ARG(QObject *, &app));
    }
    if (!apps || argc < 2)
        return 1;
    QQmlEngine engine;
    engine.rootContext()->setContextProperty(QStringLiteral("apps"), apps);
    engine.rootContext()->setContextProperty(QStringLiteral("listFile"), QString::fromLocal8Bit(argv[1]));
    // Queued: main.qml may ask to exit while it is created, before the event loop runs.
    QObject::connect(&engine, &QQmlEngine::exit, &app, &QCoreApplication::exit, Qt::QueuedConnection);
    QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/main.qml")));
    const std::unique_ptr<QObject> root(component.create());
    if (!root) {
        qCritical().noquote() << component.errorString();
        return 1;
    }
    return app.exec();
}
