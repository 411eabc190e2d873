// SPDX-License-Identifier: MIT
// A tool that talks back: the editor's text goes to `tr a-z A-Z`, its answer replaces the text.
#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolsMenu.h>

#include <QApplication>
#include <QDebug>
#include <QMenu>
#include <QPlainTextEdit>

using Lanyard::ToolsMenu;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Lanyard::ExternalApps apps; // a host loads its launch list; here one entry is added
    apps.AddApp(QStringLiteral("Text"), QStringLiteral("Upper"), QStringLiteral("tr"), QStringLiteral("a-z A-Z"), false);
    QPlainTextEdit editor(QStringLiteral("talk back"));
    ToolsMenu tools(&apps, QStringLiteral("&Tools"));
    tools.setDocumentHooks([&] { return editor.toPlainText(); }, // what a tool reads
                           [&](ToolsMenu::OutputMode, const QString &text) { editor.setPlainText(text); });
    // The user's choices for the entry; a host keeps them with saveModes and loadModes.
    tools.setOutputMode(QStringLiteral("Text"), QStringLiteral("Upper"), ToolsMenu::OutputMode::ReplaceSelection);
    tools.setSelectionAsInput(QStringLiteral("Text"), QStringLiteral("Upper"), true);
    QObject::connect(&tools, &ToolsMenu::runFinished, [&] {
        qInfo().noquote() << editor.toPlainText();
        app.quit(); // one run is all this example shows
    });
    tools.menu()->actions().constFirst()->menu()->actions().constFirst()->trigger(); // as if the user picked it
    return app.exec();
}
