// SPDX-License-Identifier: MIT
#include "ToolProcess.h"

#include "ChildProcess.h"
#include "ChildReaper.h"
#include "Launcher.h"
#include "ProcessSpawn.h"
#include "util/Uninterrupted.h"
#include "util/UniqueFd.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <mutex>
#include <optional>
#include <set>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace Lanyard {

namespace {

// A program without a pidfd (no descriptor left) is looked at this often.
constexpr int LookWithoutPidfdMs = 200;
constexpr int PipeSize = 1024 * 1024;

/// The host's end of one of the program's pipes, with the notifier that tells when it is ready.
struct PipeEnd
{
    UniqueFd fd;
    std::unique_ptr<QSocketNotifier> notifier;

    bool isOpen() const { return fd.isValid(); }
    void close()
    {
        notifier.reset();
        fd.reset();
    }
};

/// A pipe, both ends close-on-exec and above the standard descriptors, @p hostEnd non-blocking.
bool makePipe(UniqueFd &readEnd, UniqueFd &writeEnd, UniqueFd &hostEnd)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return false;
    readEnd = UniqueFd::aboveStandard(ends[0]);
    writeEnd = UniqueFd::aboveStandard(ends[1]);
    if (!readEnd.isValid() || !writeEnd.isValid())
        return false;
    return ::fcntl(hostEnd.get(), F_SETFL, ::fcntl(hostEnd.get(), F_GETFL) | O_NONBLOCK) == 0;
}

/// write() that reports a reader gone as EPIPE without raising SIGPIPE, which would end a host
/// that keeps the default action: the signal is blocked in this thread meanwhile, and one
/// that the write raised is taken back.
ssize_t writeWithoutSigpipe(int fd, const char *data, size_t size)
{
    sigset_t pipeSignal;
    sigset_t before;
    sigset_t pending;
    ::sigemptyset(&pipeSignal);
    ::sigaddset(&pipeSignal, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &before);
    ::sigpending(&pending);
    const bool wasPending = ::sigismember(&pending, SIGPIPE) == 1;
    const ssize_t written = uninterrupted([&] { return ::write(fd, data, size); });
    const int error = errno;
    if (written < 0 && error == EPIPE && !wasPending) {
        const timespec now{};
        uninterrupted([&] { return ::sigtimedwait(&pipeSignal, nullptr, &now); });
    }
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    errno = error;
    return written;
}

/// True when @p fd has nothing to read at this moment (and is not at its end either).
bool emptyNow(int fd)
{
    pollfd entry{fd, POLLIN, 0};
    return uninterrupted([&] { return ::poll(&entry, 1, 0); }) == 0;
}

/// The bytes waiting in the pipe of @p fd, from 1 (also at its end) to ToolProcess::ReadSize.
qsizetype waitingBytes(int fd)
{
    int waiting = 0; // stays so when the system cannot tell
    ::ioctl(fd, FIONREAD, &waiting);
    return std::clamp<qsizetype>(waiting, 1, ToolProcess::ReadSize);
}

/// Gives the pipe of @p fd room for more than the usual 64 KiB where the system allows it:
/// a program that writes much waits less often for the host to read.
void enlargePipe(int fd) { ::fcntl(fd, F_SETPIPE_SZ, PipeSize); }

bool hostHasStandardInput() { return ::fcntl(STDIN_FILENO, F_GETFD) != -1; }

/// The host's ends of a run's pipes.
struct Pipes
{
    PipeEnd input;
    PipeEnd output;
    PipeEnd error;

    /// In the child of a fork: its copies of the pipes go, so that the program still sees the
    /// end of its input. Only system calls: the child may have no working Qt.
    void forgetAfterFork()
    {
        input.fd.reset();
        output.fd.reset();
        error.fd.reset();
    }
};

/**
 * The pipes of this host's runs, for the child of a fork. The handlers lock around the fork,
 * so that no run is half added or removed in the child.
 */
class LivePipes
{
public:
    static LivePipes &instance()
    {
        static LivePipes live;
        return live;
    }
    void add(Pipes *pipes)
    {
        const std::lock_guard lock(m_mutex);
        m_pipes.insert(pipes);
    }
    void remove(Pipes *pipes)
    {
        const std::lock_guard lock(m_mutex);
        m_pipes.erase(pipes);
    }

private:
    LivePipes() { ::pthread_atfork(&beforeFork, &afterForkInParent, &afterForkInChild); }
    static void beforeFork() { instance().m_mutex.lock(); }
    static void afterForkInParent() { instance().m_mutex.unlock(); }
    static void afterForkInChild()
    {
        for (Pipes *pipes : instance().m_pipes)
            pipes->forgetAfterFork();
        instance().m_mutex.unlock();
    }

    std::mutex m_mutex;
    std::set<Pipes *> m_pipes;
};

} // namespace

struct ToolProcess::Private : Pipes
{
    explicit Private(ToolProcess *owner)
        : q(owner)
    {
    }

    ToolProcess *const q;
    pid_t owner = ::getpid(); ///< the process that started the program: a forked child is not it
    std::unique_ptr<ChildProcess> child;
    bool running = false;
    bool exited = false;
    bool cancelled = false;
    int exitCode = -1;
    QByteArray pendingInput;
    qsizetype written = 0;
    QByteArray piece;
    std::unique_ptr<QSocketNotifier> endWatch;
    QTimer look;
    QTimer grace;

    bool openPipes(const QByteArray &input, InputFrom inputFrom, UniqueFd &inputRead, UniqueFd &outputWrite,
                   UniqueFd &errorWrite);
    void watch();
    void writeInput();
    void read(PipeEnd &end, void (ToolProcess::*deliver)(const QByteArray &));
    void programExited();
    void endIfDone();
    /// The program reads the end of its input; what was not given yet is dropped.
    void endInput()
    {
        input.close();
        pendingInput = QByteArray();
    }
    void closePipes()
    {
        endInput();
        output.close();
        error.close();
    }
};

ToolProcess::ToolProcess(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this))
{
    d->look.setInterval(LookWithoutPidfdMs);
    d->grace.setSingleShot(true);
    connect(&d->look, &QTimer::timeout, this, [this] {
        if (d->child->exitCode().has_value())
            d->programExited();
    });
    connect(&d->grace, &QTimer::timeout, this, [this] { d->child->signalWithGroup(SIGKILL); });
}

ToolProcess::~ToolProcess()
{
    LivePipes::instance().remove(d.get());
    if (!d->running || d->owner != ::getpid())
        return;
    // Deleting a running program's process cancels it; this is the one wait of the class,
    // bounded by the grace, and only a program that ignores SIGTERM makes it wait at all.
    d->closePipes();
    d->child->terminate(GraceMs);
    d->child->killGroupLeftovers();
    if (!d->child->tryReap())
        ChildReaper::instance().watch(d->child->pid());
}

bool ToolProcess::Private::openPipes(const QByteArray &bytes, InputFrom inputFrom, UniqueFd &inputRead,
                                     UniqueFd &outputWrite, UniqueFd &errorWrite)
{
    if (inputFrom == InputFrom::Bytes && !bytes.isEmpty() && !makePipe(inputRead, input.fd, input.fd))
        return false;
    if (!makePipe(output.fd, outputWrite, output.fd) || !makePipe(error.fd, errorWrite, error.fd))
        return false;
    enlargePipe(output.fd.get());
    return true;
}

Result<void> ToolProcess::start(const LaunchCommand &command, const QByteArray &input, InputFrom inputFrom)
{
    UniqueFd inputRead;
    UniqueFd outputWrite;
    UniqueFd errorWrite;
    if (!d->openPipes(input, inputFrom, inputRead, outputWrite, errorWrite)) {
        const int error = errno;
        d->closePipes();
        return ComponentError(ErrorCode::FileNotFound, qt_error_string(error));
    }
    SpawnOptions options;
    options.newSession = true;
    options.workingDirectory = command.folder;
    if (inputRead.isValid())
        options.stdinFd = inputRead.get();
    else if (inputFrom == InputFrom::HostStandardInput && hostHasStandardInput())
        options.stdinFd = STDIN_FILENO;
    options.stdoutFd = outputWrite.get();
    options.stderrFd = errorWrite.get();
    const SpawnResult started = ProcessSpawn::start(command.program, command.arguments, options);
    if (!started.started()) {
        d->closePipes();
        return Launcher::spawnFailure(started);
    }
    d->child = std::make_unique<ChildProcess>(started.pid);
    d->running = true;
    d->pendingInput = input;
    LivePipes::instance().add(d.get());
    d->watch();
    return Result<void>();
}

void ToolProcess::Private::watch()
{
    if (input.isOpen()) {
        input.notifier = std::make_unique<QSocketNotifier>(input.fd.get(), QSocketNotifier::Write);
        QObject::connect(input.notifier.get(), &QSocketNotifier::activated, q, [this] { writeInput(); });
    }
    output.notifier = std::make_unique<QSocketNotifier>(output.fd.get(), QSocketNotifier::Read);
    QObject::connect(output.notifier.get(), &QSocketNotifier::activated, q,
                     [this] { read(output, &ToolProcess::standardOutput); });
    error.notifier = std::make_unique<QSocketNotifier>(error.fd.get(), QSocketNotifier::Read);
    QObject::connect(error.notifier.get(), &QSocketNotifier::activated, q,
                     [this] { read(error, &ToolProcess::standardError); });
    if (child->hasPidfd()) {
        endWatch = std::make_unique<QSocketNotifier>(child->pidfd(), QSocketNotifier::Read);
        QObject::connect(endWatch.get(), &QSocketNotifier::activated, q, [this] { programExited(); });
    } else {
        look.start();
    }
}

void ToolProcess::Private::writeInput()
{
    // At most a piece's worth each time the loop finds the pipe writable, as output is read: a
    // program that takes input as fast as it comes must not hold the host's loop up.
    const qsizetype turnEnd = written + ReadSize;
    while (written < pendingInput.size()) {
        if (written >= turnEnd)
            return;
        const ssize_t count = writeWithoutSigpipe(input.fd.get(), pendingInput.constData() + written,
                                                  size_t(pendingInput.size() - written));
        if (count == -1) {
            if (errno == EAGAIN)
                return; // the pipe is full for now
            break;      // the program closed its input (EPIPE): it takes no more
        }
        written += count;
    }
    endInput(); // all given, or refused
}

void ToolProcess::Private::read(PipeEnd &end, void (ToolProcess::*deliver)(const QByteArray &))
{
    // A piece the host let go is read into again, at full size. One it kept stays its own, and
    // the next is made at the size that waits in the pipe: a host that keeps every piece holds
    // no more than the bytes.
    if (piece.isDetached())
        piece.resize(ReadSize);
    else
        piece = QByteArray(waitingBytes(end.fd.get()), Qt::Uninitialized);
    const ssize_t count = uninterrupted([&] { return ::read(end.fd.get(), piece.data(), size_t(piece.size())); });
    if (count < 0 && errno == EAGAIN)
        return;
    if (count <= 0) {
        end.close();
        endIfDone();
        return;
    }
    // After a cancel the program may still say goodbye while it tidies up: its words are read,
    // so that they do not kill it with SIGPIPE, and dropped.
    if (cancelled)
        return;
    piece.resize(count);
    const QPointer<ToolProcess> alive(q);
    Q_EMIT(q->*deliver)(piece);
    if (!alive)
        return;
    // Once the program has exited, what it wrote is all in the pipe: emptied, the stream is done.
    if (exited && end.isOpen() && emptyNow(end.fd.get())) {
        end.close();
        endIfDone();
    }
}

void ToolProcess::Private::programExited()
{
    if (exited)
        return;
    exited = true;
    if (endWatch)
        endWatch->setEnabled(false);
    look.stop();
    grace.stop();
    exitCode = child->exitCode().value_or(-1);
    if (cancelled) {
        // The program had its grace; what it started and what they still write go now.
        child->killGroupLeftovers();
        closePipes();
    }
    endInput();
    for (PipeEnd *end : {&output, &error}) {
        if (end->isOpen() && emptyNow(end->fd.get()))
            end->close();
    }
    endIfDone();
}

void ToolProcess::Private::endIfDone()
{
    if (!running || !exited || output.isOpen() || error.isOpen())
        return;
    running = false;
    LivePipes::instance().remove(this);
    child->reap();
    // An ended program holds nothing of the system's: a host may keep its runs for as long as
    // it likes. (The watch may be what called: it goes once control is back in the loop.)
    if (endWatch)
        endWatch.release()->deleteLater();
    child.reset();
    Q_EMIT q->ended(exitCode);
}

bool ToolProcess::isRunning() const { return d->running; }

void ToolProcess::cancel()
{
    if (!d->running || d->cancelled)
        return;
    d->cancelled = true;
    if (d->exited) {
        d->closePipes();
        // Only its output was still coming: the end is told from the loop, as always.
        d->child->killGroupLeftovers();
        QMetaObject::invokeMethod(
            this, [this] { d->endIfDone(); }, Qt::QueuedConnection);
        return;
    }
    // Its output is still read (and dropped) until it has ended.
    d->endInput();
    d->child->signalWithGroup(SIGTERM);
    d->grace.start(GraceMs);
}

} // namespace Lanyard
