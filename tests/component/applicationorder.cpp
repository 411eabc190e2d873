// A host whose application object is not the QApplication the windows need, or ends before its
// ExternalApps: "gui LIST" has only a QGuiApplication and asks for the program list window
// directly and by name; "outlive-open LIST" and "outlive-closed LIST" declare the object before
// the QApplication, add an entry, and let the application end with the window open or never
// shown. Prints what the calls gave; the object's release must save LIST.
#include <Lanyard/ExternalApps.h>

#include <QApplication>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>

namespace {

int windowWithoutQApplication(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    Lanyard::ExternalApps apps;
    try {
        apps.ShowForm();
        std::printf("typed: shown\n");
    } catch (const Lanyard::ComponentError &error) {
        std::printf("typed: %d %s\n", error.number(), qPrintable(error.message()));
    }
    QObject::connect(&apps, &Lanyard::ExternalApps::errorOccurred,
                     [](int number, const QString &) { std::printf("by name: %d\n", number); });
    QMetaObject::invokeMethod(&apps, "ShowForm");
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 3)
        return 2;
    if (std::strcmp(argv[1], "gui") == 0)
        return windowWithoutQApplication(argc, argv);
    Lanyard::ExternalApps apps;
    {
        QApplication app(argc, argv);
        apps.setEXTFile(QString::fromLocal8Bit(argv[2]));
        apps.AddApp(QStringLiteral("Tools"), QStringLiteral("Editor"), QStringLiteral("/usr/bin/ed"), QString(), false);
        if (std::strcmp(argv[1], "outlive-open") == 0)
            apps.ShowForm();
    }
    std::printf("application gone\n");
    return 0;
}
