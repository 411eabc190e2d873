// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/Export.h>

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

namespace Lanyard {

/**
 * One run of an entry whose output comes back to the host, made by ExternalApps::startTool:
 * the program's standard output and standard error arrive as they are written, kept apart, as
 * bytes (standardOutput, standardError) and, for a host that wants text, decoded as UTF-8
 * across the pieces' boundaries (standardOutputText, standardErrorText). The input given to
 * startTool is written while the output is read, so neither side waits for the other however
 * much either holds; a program's output is read only as the host's event loop runs, so memory
 * stays bounded however much it writes.
 *
 * Every signal comes from the event loop of the thread that made the run, after startTool has
 * returned, so a host connects to it first: a run that could not start emits failedToStart
 * (its reason also in failure()), one that ran emits finished once its output is read to the
 * end and the program has ended.
 *
 * cancel() ends the program and everything it started (its process group): SIGTERM, then
 * SIGKILL to what outlives a short grace. Deleting a run that is still running cancels it.
 * A run is a child of the ExternalApps object that made it; delete it when done with it
 * (deleteLater() in a finished handler is fine), or it goes with that object.
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

    /// What the program reads on its standard input.
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
    /// The program did not start: @p reason as failure().
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
