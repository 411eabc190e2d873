// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/Result.h>

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace Lanyard {

class RunnerClock;

/**
 * The process runner: starts a program and stays in the call until it has ended. Private to
 * the library; hosts cannot create it.
 *
 * Every operation keeps the host's user interface alive while it waits: each pass of its loop
 * lets Qt process pending events (QCoreApplication::processEvents), so host code, including
 * RedirOutput handlers and other calls into the component, runs meanwhile. A pass with nothing
 * to do blocks until the program ends, output or news of a window arrives, the host has an
 * event, or the operation's time-out comes (one timer); there is no periodic tick, and the
 * wait blocks just the same while the application is quitting or without any event loop.
 *
 * Whichever way an operation ends, its child is reaped and its descriptors are closed. The
 * programs are started without a shell: the command text is split into words by POSIX shell
 * quoting rules (CommandLine::split), the first word being the program (looked up in PATH).
 * Mode arguments are accepted and have no effect.
 *
 * Time-outs are elapsed time on the runner's clock (the monotonic one by default): a step of
 * the wall clock, a daylight-saving change or midnight neither shortens nor lengthens them.
 * Where no pidfd can be had (no descriptor left), a wait looks at its program five times a
 * second instead of being woken by its end.
 *
 * Reentrant: separate objects may run operations on separate threads at the same time (each
 * operation processes the events of its own thread; a thread without an event dispatcher just
 * waits). One object is used by one thread at a time; KillProcess may be called from any thread.
 */
class clsEXE : public QObject
{
    Q_OBJECT

public:
    explicit clsEXE(QObject *parent = nullptr);
    ~clsEXE() override;

    /// Replaces the clock that time-outs are measured on (the computer's monotonic clock by default).
    void setClock(std::shared_ptr<const RunnerClock> clock);

    /**
     * Runs @p strCmdLine through STUB16.EXE (found beside the library) with standard output
     * and standard error on one pipe, and hands the output on through RedirOutput, one event
     * per read of at most 256 bytes. Each byte becomes one character (Latin-1), so a piece
     * holds at most 256 characters. With a @p strStartText, nothing is passed on until that
     * text (any letter case) has appeared; the first event then starts with it. Output still
     * in the pipe when the command has ended is not delivered. With @p lTimeOut above 0, a
     * command silent for more than that many seconds is ended and RedirOutput gets
     * "Timeout!" CR LF "Process failed"; the time-out is the runner's alone (STUB16.EXE is
     * given none). Cancel, called while this runs (from a RedirOutput handler or any host code
     * run meanwhile), ends the command at the next pass and the call returns without that
     * message. Either way the command ends with everything it started, a full pipe or not,
     * before the call returns: STUB16.EXE is the subreaper of the command's processes, so this
     * includes those that left its process group or session (setsid, timeout). A pipe or process that cannot be created
     * ends the call quietly.
     *
     * While output keeps arriving, events are processed at least every 10 ms rather than after
     * each read, which keeps the reads fast and the host responsive.
     */
    void RedirectDOSEXE(const QString &strCmdLine, const QString &strStartText = QString(), qint32 lTimeOut = 0);

    /**
     * Starts @p strEXE followed directly by @p strCmdLine (begin it with a space) and waits
     * until the program ends or a top-level window titled "Finished - " + its name in
     * capitals (DosProgramName) shows up, which is then asked to close. @p TimeOutValue above
     * 0 gives up once more than that many seconds have passed; a negative one gives up in the
     * first pass. A program still running afterwards is ended with its process group
     * (KillProcess).
     * @throws ComponentError InvalidArgument (5) when a command interpreter in the command is
     * not followed by a drive path, or when the command text is empty or leaves a quote open;
     * FileNotFound (53) when the program cannot be started. Both before any waiting.
     */
    void ShellDOSEXE(const QString &strEXE, const QString &strCmdLine, qint32 TimeOutValue = 0, qint32 Mode = 1);

    /**
     * Starts @p strEXE followed directly by @p strCmdLine and waits for its end; with
     * @p TimeOutSeconds above 0, ends it with its process group once more than that many
     * seconds have passed.
     * @throws ComponentError as ShellDOSEXE, apart from the drive path case.
     */
    void ShellAndWait(const QString &strEXE, const QString &strCmdLine = QString(), qint32 TimeOutSeconds = 0,
                      qint32 Mode = 1);

    /// Asks a running RedirectDOSEXE to end its command; cleared when RedirectDOSEXE starts.
    void Cancel();
    bool CancelRequested() const;

    // Helpers of the operations, public so that the library's tests reach them.

    /// The base name in capitals of the program that @p text runs; after COMMAND.COM or
    /// CMD.EXE the program is the drive path that follows. Throws ComponentError
    /// InvalidArgument when such an interpreter is not followed by a drive path.
    static QString DosProgramName(const QString &text);

    /**
     * Ends @p processId, a program that an operation of the runner started and still waits
     * for, with its process group (SIGTERM, a short grace, then SIGKILL), through its pidfd.
     * False, with nothing sent, for any other process (0, 1, the host, a process started
     * otherwise) and for a program that has ended: its group is left alone.
     */
    static bool KillProcess(qint32 processId);

    /// The words that start STUB16.EXE for @p strCmdLine: the stub, the command's words and
    /// the time-out word -1000 (none: the runner keeps the time-out itself). InvalidArgument when a
    /// quote is left open.
    static Result<QStringList> StubCommand(const QString &strCmdLine);

Q_SIGNALS:
    /// A piece of the command's output, or the time-out message.
    void RedirOutput(const QString &strOut);

private:
    std::shared_ptr<const RunnerClock> m_clock;
    bool m_cancelRequested = false;
};

} // namespace Lanyard
