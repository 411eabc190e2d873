// SPDX-License-Identifier: MIT
#pragma once

#include <Lanyard/LaunchCommand.h>
#include <Lanyard/Result.h>

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

namespace Lanyard {

/**
 * A program started with pipes on its standard streams, driven by the event loop of the
 * thread that starts it: the input is written as the program takes it while its output and
 * error output are read, each in pieces of at most ReadSize bytes, one piece per stream for
 * each time the loop finds it writable or readable, so that the host's loop keeps turning. Nothing is read ahead of the
 * loop, so memory stays bounded however much the program writes: the pipe holds it back. A piece that a receiver keeps
 * holds only its bytes; one that no receiver keeps is read into again.
 *
 * The program runs in a new session (and so leads its own process group, and reading a
 * terminal given as its input never stops it) in the command's folder. It has ended once it
 * has exited and the output it wrote is read; output written afterwards by processes it left
 * running is not waited for. cancel() stops reading and ends the group: SIGTERM, SIGKILL after
 * GraceMs. Destroying a running process ends it the same way, waiting at most GraceMs.
 *
 * A host that forks keeps its runs: the child of the fork closes its copies of their pipes
 * (so a program still sees the end of its input) and never signals or reaps their programs.
 *
 * Why not QProcess: it reads whatever the program writes into buffers of its own as fast as it
 * comes, so a program that writes a gigabyte costs the host a gigabyte (here the pipe holds the
 * program back until a receiver took the piece before); and its terminate() and kill() end the
 * program alone, never what the program started.
 */
class ToolProcess : public QObject
{
    Q_OBJECT

public:
    /// What the program reads.
    enum class InputFrom {
        Bytes,             ///< the given bytes, then end of file (/dev/null when there are none)
        HostStandardInput, ///< the host's own standard input (/dev/null when it has none)
    };

    static constexpr qsizetype ReadSize = 1024 * 1024;
    static constexpr int GraceMs = 500;

    explicit ToolProcess(QObject *parent = nullptr);
    ~ToolProcess() override;

    /// Starts @p command; an empty text when it runs, else why not (nothing is emitted then).
    Result<void> start(const LaunchCommand &command, const QByteArray &input, InputFrom inputFrom);

    /// True from a successful start until ended is emitted.
    bool isRunning() const;
    /// Stops reading and ends the program with its process group; ended follows.
    void cancel();

Q_SIGNALS:
    void standardOutput(const QByteArray &bytes);
    void standardError(const QByteArray &bytes);
    /// The program has ended and its output was delivered: its exit code, or 128 + the
    /// number of the signal that ended it.
    void ended(int exitCode);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Lanyard
