// SPDX-License-Identifier: MIT
// lanyard-demo: a small text viewer that shows the Lanyard component at work.
#include "DemoFiles.h"
#include "DemoWindow.h"
#include "Screenshots.h"
#include "TextView.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QIcon>
#include <QStandardPaths>
#include <QStyleFactory>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

/// Fusion looks the same on every desktop and on the offscreen platform.
void setLook(QApplication &app)
{
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    QFont font(u"DejaVu Sans"_s, 10);
    app.setFont(font);
    // Platforms without a desktop theme (offscreen, a bare X server) search no system folder.
    if (QIcon::themeName().isEmpty()) {
        QStringList paths = QIcon::themeSearchPaths();
        for (const QString &folder : QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, u"icons"_s,
                                                               QStandardPaths::LocateDirectory)) {
            if (!paths.contains(folder))
                paths.append(folder);
        }
        QIcon::setThemeSearchPaths(paths);
        QIcon::setThemeName(u"Adwaita"_s);
    }
}

int fail(const QString &message)
{
    std::fprintf(stderr, "lanyard-demo: %s\n", qPrintable(message));
    return 1;
}

void identify()
{
    QCoreApplication::setApplicationName(u"lanyard-demo"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(LANYARD_VERSION));
}

/// --help and --version answer before any window system is needed: without a display a
/// QApplication would end the program first.
void answerHelpAndVersion(int &argc, char **argv, QCommandLineParser &parser)
{
    const QCoreApplication console(argc, argv);
    identify();
    if (parser.parse(QCoreApplication::arguments()) && (parser.isSet(u"help"_s) || parser.isSet(u"version"_s)))
        parser.process(console); // prints and exits
}

} // namespace

int main(int argc, char **argv)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(u"A text viewer that starts external programs from a Lanyard launch list."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption file(u"file"_s, u"The launch list (default: $XDG_CONFIG_HOME/lanyard-demo/tools.lst)."_s,
                                  u"path"_s);
    const QCommandLineOption screenshot(
        u"screenshot"_s, u"Write screenshots (demo-main.png, demo-configure.png, demo-output.png) to dir and exit."_s,
        u"dir"_s);
    parser.addOptions({file, screenshot});
    parser.addPositionalArgument(u"file"_s, u"The text to show (default: a sample text)."_s, u"[file]"_s);
    answerHelpAndVersion(argc, argv, parser);

    QApplication app(argc, argv);
    identify();
    QApplication::setApplicationDisplayName(u"Lanyard Demo"_s);
    QApplication::setDesktopFileName(u"lanyard-demo"_s);
    parser.process(app);
    if (parser.positionalArguments().size() > 1)
        parser.showHelp(2);

    setLook(app);

    // Screenshots always show the shipped samples and leave the user's files alone.
    QTemporaryDir scratch;
    const bool capturing = parser.isSet(screenshot);
    const QString launchList = parser.isSet(file) ? parser.value(file)
                               : capturing        ? scratch.filePath(u"tools.lst"_s)
                                                  : DemoFiles::defaultLaunchList();
    if (!DemoFiles::ensureLaunchList(launchList))
        return fail(u"cannot create the launch list "_s + launchList);
    QString text = parser.positionalArguments().value(0);
    if (text.isEmpty()) {
        text = capturing ? scratch.filePath(u"sample.txt"_s) : DemoFiles::defaultSampleText();
        if (!DemoFiles::ensureSampleText(text))
            return fail(u"cannot create the sample text "_s + text);
    }

    auto *window = new DemoWindow(launchList);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->openFile(text);
    if (capturing) {
        const QString error = Screenshots::capture(*window, QDir(parser.value(screenshot)).absolutePath());
        delete window;
        return error.isEmpty() ? 0 : fail(error);
    }
    window->show();
    return QApplication::exec();
}
