// A QML host: main.qml imports the QML module "Lanyard" and declares its ExternalApps there.
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>

#include <memory>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv); // what a QML host has: no widgets, so no program list window
    if (argc < 2)
        return 1;
    QQmlEngine engine;
    // Where `import Lanyard` is found; Qt's own QML folder needs no entry.
    engine.addImportPath(QStringLiteral(LANYARD_QML_IMPORT_DIR));
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
