// SPDX-License-Identifier: MIT
// An editor whose tools use every behaviour a user can set: output into the text, the pane,
// the clipboard or a new document; the selection or the whole file as input; the file saved
// before and read again after; tools that fit only some files or need a selection; a shortcut;
// a folder of their own; a value asked at launch. With --smoke it picks each tool in turn and
// prints what happened.
#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolsMenu.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using Lanyard::ToolBehaviour;
using Lanyard::ToolsMenu;

namespace {

/// Sets how a tool behaves; a user does it in Tools > Tool Behaviour...
void behave(Lanyard::ExternalApps &apps, const char *name, const std::function<void(ToolBehaviour &)> &set)
{
    ToolBehaviour behaviour;
    set(behaviour);
    apps.setToolBehaviour(QStringLiteral("Text"), QString::fromUtf8(name), behaviour);
}

void say(const QString &what) { std::printf("%s\n", qPrintable(what)); }

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("notes.txt"));
    QFile(file).open(QIODevice::WriteOnly);

    QMainWindow window;
    auto *editor = new QPlainTextEdit(QStringLiteral("pear\napple\n"), &window);
    window.setCentralWidget(editor);
    const auto save = [&] {
        QFile out(file);
        out.open(QIODevice::WriteOnly);
        out.write(editor->toPlainText().toUtf8());
        say(QStringLiteral("saved"));
    };
    const auto reload = [&] {
        QFile in(file);
        in.open(QIODevice::ReadOnly);
        editor->setPlainText(QString::fromUtf8(in.readAll()));
        say(QStringLiteral("reloaded: ") + editor->toPlainText().simplified());
    };

    auto *apps = new Lanyard::ExternalApps(&window);
    apps->setMaxApps(20);
    apps->setEXTFile(folder.filePath(QStringLiteral("tools.lst"))); // tools.lst.behaviour beside it
    const QString text = QStringLiteral("Text");
    apps->AddApp(text, QStringLiteral("Sort"), QStringLiteral("sort"), QString(), false);
    apps->AddApp(text, QStringLiteral("Count"), QStringLiteral("wc"), QStringLiteral("-l"), false);
    apps->AddApp(text, QStringLiteral("Copy upper"), QStringLiteral("tr"), QStringLiteral("a-z A-Z"), false);
    apps->AddApp(text, QStringLiteral("Stamp"), QStringLiteral("echo"), QStringLiteral("stamped"), false);
    apps->AddApp(text, QStringLiteral("Reverse file"), QStringLiteral("sed"), QStringLiteral("-i 1!G;h;$!d %FILE%"),
                 false);
    apps->AddApp(text, QStringLiteral("Where"), QStringLiteral("pwd"), QString(), false);
    apps->AddApp(text, QStringLiteral("Greet"), QStringLiteral("echo"), QStringLiteral("Hello %ASK:Name%"), false);
    apps->AddApp(text, QStringLiteral("Python only"), QStringLiteral("true"), QString(), false);
    behave(*apps, "Sort", [](ToolBehaviour &b) {
        b.output = ToolBehaviour::Output::ReplaceSelection;
        b.input = ToolBehaviour::Input::Selection;
        b.needsSelection = true;
        b.shortcut = QStringLiteral("Ctrl+Alt+S");
    });
    behave(*apps, "Count", [](ToolBehaviour &b) {
        b.output = ToolBehaviour::Output::Pane;
        b.input = ToolBehaviour::Input::Document;
    });
    behave(*apps, "Copy upper", [](ToolBehaviour &b) {
        b.output = ToolBehaviour::Output::Clipboard;
        b.input = ToolBehaviour::Input::Document;
    });
    behave(*apps, "Stamp", [](ToolBehaviour &b) { b.output = ToolBehaviour::Output::InsertAtCursor; });
    behave(*apps, "Reverse file", [](ToolBehaviour &b) {
        b.saveBefore = ToolBehaviour::Save::Document;
        b.reloadAfter = true;
    });
    behave(*apps, "Where", [](ToolBehaviour &b) {
        b.output = ToolBehaviour::Output::NewDocument;
        b.folder = QStringLiteral("/tmp");
    });
    behave(*apps, "Greet", [](ToolBehaviour &b) { b.output = ToolBehaviour::Output::Pane; });
    behave(*apps, "Python only", [](ToolBehaviour &b) { b.fileTypes = {QStringLiteral("text/x-python")}; });

    // The host's part: the document, its file, save and reload, the pane and new documents.
    QObject::connect(apps, &Lanyard::ExternalApps::placeholdersWanted,
                     [&] { apps->AddPlaceHolder(QStringLiteral("%FILE%"), file); });
    auto *tools = new ToolsMenu(apps, window.menuBar()->addMenu(QStringLiteral("&Tools")), &window);
    tools->addConfigureActions();
    tools->setTextEdit(editor, [](ToolsMenu::OutputMode mode, const QString &output) {
        say((mode == ToolsMenu::OutputMode::Pane ? QStringLiteral("pane: ") : QStringLiteral("new document: "))
            + output.simplified());
    });
    tools->setCurrentDocument(file);
    QObject::connect(tools, &ToolsMenu::saveRequested, save);
    QObject::connect(tools, &ToolsMenu::reloadRequested, reload);
    QObject::connect(tools, &ToolsMenu::outputHeldBack, [](auto, const QString &name, auto, const QString &why) {
        say(name + QStringLiteral(" held back: ") + why);
    });
    window.show();
    if (!app.arguments().contains(QStringLiteral("--smoke")))
        return app.exec();

    // --smoke: each tool in turn, as a user picks it.
    const auto action = [&](const char *name) {
        return window.findChild<QAction *>(QStringLiteral("lanyard-tool/Text/") + QString::fromUtf8(name));
    };
    QStringList steps{"Count", "Copy upper", "Stamp", "Reverse file", "Where", "Greet", "Sort"};
    say(QStringLiteral("Python only shown: %1").arg(action("Python only")->isVisible()));
    say(QStringLiteral("Sort shown without a selection: %1, shortcut %2")
            .arg(action("Sort")->isVisible())
            .arg(action("Sort")->shortcut().toString()));
    // The value Greet asks for, typed as a user would.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (QWidget *asking = QApplication::activeModalWidget(); asking && asking->objectName() == u"frmAskValue") {
            asking->findChild<QComboBox *>(QStringLiteral("cboValue"))->setEditText(QStringLiteral("Ada"));
            static_cast<QDialog *>(asking)->accept();
        }
    });
    answer.start(20);
    QObject::connect(tools, &ToolsMenu::runFinished, [&] {
        if (steps.isEmpty()) {
            say(QStringLiteral("clipboard: ") + QApplication::clipboard()->text().simplified());
            say(QStringLiteral("text: ") + editor->toPlainText().simplified());
            return app.quit();
        }
        const QString next = steps.takeFirst();
        if (next == u"Sort") {
            editor->selectAll();
            say(QStringLiteral("Sort shown with a selection: %1").arg(action("Sort")->isVisible()));
        }
        action(next.toUtf8().constData())->trigger();
    });
    action("Count")->trigger();
    steps.removeFirst();
    QTimer::singleShot(60000, &app, [] { std::_Exit(3); }); // a smoke test never hangs
    return app.exec();
}
