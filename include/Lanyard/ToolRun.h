// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/Export.h>

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

namespace Lanyard {

/**
 * One run of an entry whose output comes back to the host, made by ExternalApps::startTool
 * for tools that work on the host's text: the program's standard output and standard error
 * arrive as they are written, kept apart, byte for byte (standardOutput, standardError) and,
 * for a host that wants text, decoded as UTF-8 across the pieces' boundaries
 * (standardOutputText, standardErrorText).
 *
 * The input given to startTool is written while the output is read, so neither side waits for
 * the other however much either holds: the bytes are written as the program takes them, then
 * its input is closed (a program that stops reading early just ends its input: no SIGPIPE
 * reaches the host). The program runs in a session of its own, like ExecuteApp's: a terminal's
 * Ctrl-C reaches the host only, and a program that reads a terminal given as its input is
 * never stopped for it.
 *
 * Output is read only while the host's event loop runs, one piece of at most 1 MiB per stream
 * each time, so a host that is busy holds the program back (the pipe fills) rather than filling
 * its own memory. A piece a handler keeps (a QList<QByteArray> of them) holds its own bytes
 * only, so kept pieces take no more memory than the output; one that no handler keeps is read
 * into again. The text signals decode UTF-8: a character split between pieces comes whole,
 * bytes that are not UTF-8 (and a character cut short by the end) come as U+FFFD. Text is
 * decoded only while a handler is connected, and a handler connected during a run gets the
 * text of the pieces that follow, a character that began before it whole.
 *
 * Every signal comes from the event loop of the thread that made the run, after startTool has
 * returned, so a host connects to it first: a run that could not start emits failedToStart
 * (its reason also in failure()), one that ran emits finished once the program has exited and
 * what it wrote is read to the end; output that processes it left running write after that is
 * not waited for.
 *
 * cancel() closes the program's input, sends SIGTERM to the program's process group and
 * SIGKILL half a second later to what is left. No output is delivered after it, but what the
 * program and its helpers still write while they tidy up is read and dropped, so that a
 * goodbye on standard error does not kill them with SIGPIPE. Once the program has ended, the
 * rest of its group is killed and the pipes are closed. Processes that left the group on their
 * own (setsid, daemons) are not reached. Deleting a run that is still running closes the pipes
 * first and then ends it the same way, waiting at most that half second, and only for a
 * program that ignores SIGTERM.
 *
 * A run is a child of the ExternalApps object that made it; delete it when done with it
 * (deleteLater() in a finished handler is fine), or it goes with that object. A host that
 * forks keeps its runs working: the child of the fork lets go of the runs' pipes (a program
 * still sees the end of its input) and never signals their programs.
 */
class LANYARD_EXPORT ToolRun : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString group READ group CONSTANT)
    Q_PROPERTY(QString app READ app CONSTANT)
    Q_PROPERTY(Lanyard::ToolRun::State state READ state NOTIFY stateChanged)
    Q_PROPERTY(int exitCode READ exitCode NOTIFY stateChanged)
    Q_PROPERTY(QString failure READ failure NOTIFY stateChanged)

public:
    /// Where a run is.
    enum class State {
        Running,       ///< started; output may still come
        Finished,      ///< the program ended by itself (or by a signal from elsewhere)
        Cancelled,     ///< ended by cancel() or by deleting the run
        FailedToStart, ///< the program never ran: failure() says why
    };
    Q_ENUM(State)

    /// What the program reads on its standard input. `lanyard run --wait` takes
    /// HostStandardInput.
    enum class Input {
        Bytes,             ///< the bytes given to startTool, then end of file
        HostStandardInput, ///< the host's own standard input, read by the program directly
    };
    Q_ENUM(Input)

    ~ToolRun() override;

    /// The entry's group name as given to startTool.
    QString group() const;
    /// The entry's application name as given to startTool.
    QString app() const;

    /// Where the run is.
    State state() const;
    /// True while the state is Running.
    bool isRunning() const;
    /// The program's exit code, or 128 + the signal number when a signal ended it; -1 while
    /// it runs and when it never started.
    int exitCode() const;
    /// Why the program did not start ("Unable to find the file: /usr/bin/tidy", "Permission
    /// denied", ...); empty otherwise.
    QString failure() const;

public Q_SLOTS:
    /// Ends the program and everything it started; nothing when it is not running. The state
    /// becomes Cancelled at once; finished follows from the event loop.
    void cancel();

Q_SIGNALS:
    /// Bytes the program wrote to its standard output, in order.
    void standardOutput(const QByteArray &bytes);
    /// Bytes the program wrote to its standard error, in order.
    void standardError(const QByteArray &bytes);
    /// standardOutput decoded as UTF-8; a character split between two pieces comes whole.
    void standardOutputText(const QString &text);
    /// standardError decoded as UTF-8, as standardOutputText.
    void standardErrorText(const QString &text);
    /// The program has ended and all its output was delivered: @p exitCode as exitCode().
    void finished(int exitCode);
    /// The program did not start: @p reason as failure(). The state is FailedToStart as soon as
    /// startTool returns, and ExternalApps::launchFailed was emitted as for ExecuteApp.
    void failedToStart(const QString &reason);
    /// state, exitCode or failure changed.
    void stateChanged();

private:
    friend class ExternalApps;
    ToolRun(const QString &group, const QString &app, QObject *parent);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Lanyard
