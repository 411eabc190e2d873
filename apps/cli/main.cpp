// SPDX-License-Identifier: MIT
// lanyard: the command-line host, for terminals, scripts and desktop shortcuts.
#include "CliArguments.h"
#include "CliCommands.h"
#include "Windowing.h"
#include "text/NativeText.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

/**
 * A standard descriptor the caller closed (`<&-`) is opened on /dev/null before anything else
 * can take its number: a pipe of ours there would be a program's input under run --wait, and
 * a file of ours would take output meant for the closed stream. Input then reads as empty;
 * output, opened for reading, still fails as it does on a closed stream.
 */
void holdStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1)
            ::open("/dev/null", O_RDONLY); // the lowest free number: this one
    }
}

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

/// The errno of a failed write to @p stream, EIO when the stream only remembers that one
/// failed, 0 when everything written so far reached its file. The stream stays open: what
/// the release of Qt's objects may still say must not meet a closed stream.
int flushStream(std::FILE *stream)
{
    errno = 0;
    if (std::fflush(stream) != 0)
        return errno != 0 ? errno : EIO;
    return std::ferror(stream) != 0 ? EIO : 0;
}

/**
 * @p status, unless output was lost: a script that reads `lanyard list > out.tsv` must not take
 * a cut file on a full disk for a whole one. Lost standard output is said on standard error
 * (as GNU tools say it); lost standard error can only be told by the status.
 */
int finish(int status)
{
    if (const int error = flushStream(stdout)) {
        print(stderr, u"lanyard: write error: "_s + qt_error_string(error) + u'\n');
        status = CliArguments::errorStatus;
    }
    if (flushStream(stderr) != 0)
        status = CliArguments::errorStatus;
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    holdStandardDescriptors();
    const auto parsed = CliArguments::parse(argumentsOf(argc, argv), defaultLaunchList());
    if (const CliExit *exit = std::get_if<CliExit>(&parsed)) {
        print(stdout, exit->out);
        print(stderr, exit->err);
        return finish(exit->status);
    }
    const CliInvocation &invocation = std::get<CliInvocation>(parsed);
    int status = CliArguments::errorStatus;
    {
        const std::unique_ptr<QCoreApplication> app = makeApplication(invocation, argc, argv);
        QCoreApplication::setApplicationName(u"lanyard"_s);
        // The command reports failures itself, once, in its own words.
        QLoggingCategory::setFilterRules(u"lanyard.warning=false"_s);
        status = CliCommands::execute(invocation);
    }
    return finish(status);
}
