// lanyard: the command-line host, for terminals, scripts and desktop shortcuts.
#include "CliArguments.h"
#include "CliCommands.h"
#include "Windowing.h"
#include "text/NativeText.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <cstdio>
#include <memory>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << Lanyard::NativeText::decode(argv[i]); // every byte kept, UTF-8 or not
    return arguments;
}

QString defaultLaunchList()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/lanyard/tools.lst"_s;
}

void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

/// Windows only where they serve: configure, and run's missing-program message box when run
/// has no terminal to speak to (a desktop shortcut) and a display that someone sees.
std::unique_ptr<QCoreApplication> makeApplication(const CliInvocation &invocation, int &argc, char **argv)
{
    const bool windows = (invocation.command == u"configure" && Windowing::canOpenWindows())
                      || (invocation.command == u"run" && !::isatty(STDERR_FILENO) && Windowing::isSeen());
    if (windows)
        return std::make_unique<QApplication>(argc, argv);
    return std::make_unique<QCoreApplication>(argc, argv);
}

} // namespace

int main(int argc, char **argv)
{
    const auto parsed = CliArguments::parse(argumentsOf(argc, argv), defaultLaunchList());
    if (const CliExit *exit = std::get_if<CliExit>(&parsed)) {
        print(stdout, exit->out);
        print(stderr, exit->err);
        return exit->status;
    }
    const CliInvocation &invocation = std::get<CliInvocation>(parsed);
    const std::unique_ptr<QCoreApplication> app = makeApplication(invocation, argc, argv);
    QCoreApplication::setApplicationName(u"lanyard"_s);
    // The command reports failures itself, once, in its own words.
    QLoggingCategory::setFilterRules(u"lanyard.warning=false"_s);
    return CliCommands::execute(invocation);
}
