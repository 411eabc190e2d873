// SPDX-License-Identifier: MIT
// An editor whose windows share one launch list: File > New Window opens another window with a
// Tools menu of its own. Each window's ExternalApps reads the same file.
#include "EditorWindow.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString list = args.size() > 1 ? args.at(1) : QDir::homePath() + QStringLiteral("/.config/myeditor/tools.lst");
    QDir().mkpath(QFileInfo(list).absolutePath()); // on the first run the folder is not there yet
    auto *first = new EditorWindow(list);
    first->show();
    // --smoke, for the install test: a second window as the menu opens it, each window's Tools
    // entries printed, then every window closed (which saves and ends the program).
    if (args.contains(QStringLiteral("--smoke"))) {
        QTimer::singleShot(0, first, [first] {
            first->findChild<QAction *>(QStringLiteral("actionNewWindow"))->trigger();
            int number = 0;
            for (QWidget *window : QApplication::topLevelWidgets()) {
                if (!qobject_cast<EditorWindow *>(window))
                    continue;
                QStringList entries;
                for (const QAction *action : window->findChildren<QAction *>())
                    if (action->objectName().startsWith(QStringLiteral("lanyard-tool/")))
                        entries << action->objectName();
                std::printf("window %d: %s\n", ++number, qPrintable(entries.join(u' ')));
            }
            QApplication::closeAllWindows();
        });
    }
    return app.exec();
}
