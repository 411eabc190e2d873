// SPDX-License-Identifier: MIT
// A host in twenty lines: its launch list, a placeholder, a launch, the program list window.
#include <Lanyard/ExternalApps.h>

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString list = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                   : QDir::homePath() + QStringLiteral("/.config/myeditor/tools.lst");
    QDir().mkpath(QFileInfo(list).absolutePath()); // on the first run the folder is not there yet
    Lanyard::ExternalApps tools;                   // 5 groups of 5 applications to start with
    tools.setMaxGroups(20);                         // limits first ...
    tools.setMaxApps(40);
    try {
        tools.setEXTFile(list);                     // ... then the file: loads it
    } catch (const Lanyard::ComponentError &error) {
        qCritical().noquote() << "Cannot use the launch list:" << error.message();
        return 1;
    }
    QObject::connect(&tools, &Lanyard::ExternalApps::placeholdersWanted, [&tools] { // asked right before each use
        tools.AddPlaceHolder(QStringLiteral("%FILE%"), QStringLiteral("/etc/hostname")); // the host's data now
    });

    QObject::connect(&tools, &Lanyard::ExternalApps::launchFailed,
                     [](const QString &, const QString &app, const QString &why) { qWarning() << app << why; });
    if (tools.GroupCount() > 0) // as if a menu entry was picked
        tools.ExecuteApp(tools.GroupName(0), tools.ApplicationName(0, 0));
    tools.ShowForm(1);          // let the user maintain the list (modal)
    return 0;                   // the release of `tools` saves the changes
}
