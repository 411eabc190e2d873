// SPDX-License-Identifier: MIT
#include "WaitedRun.h"

#include <Lanyard/ExternalApps.h>
#include <Lanyard/ToolRun.h>

#include <QEventLoop>
#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

using Lanyard::ToolRun;

namespace {

constexpr std::array endingSignals{SIGINT, SIGTERM, SIGHUP};

int signalPipe = -1;

extern "C" void tellSignal(int number)
{
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe, &byte, 1);
}

/// Turns the ending signals into bytes on a pipe while it lives, so that the event loop hears
/// of them; the actions before come back at its end.
class SignalsHeard
{
public:
    SignalsHeard()
    {
        if (::pipe2(m_pipe.data(), O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        signalPipe = m_pipe[1];
        struct sigaction action = {};
        action.sa_handler = &tellSignal;
        ::sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < endingSignals.size(); ++i)
            ::sigaction(endingSignals[i], &action, &m_before[i]);
    }
    ~SignalsHeard()
    {
        if (m_pipe[0] < 0)
            return;
        for (size_t i = 0; i < endingSignals.size(); ++i)
            ::sigaction(endingSignals[i], &m_before[i], nullptr);
        signalPipe = -1;
        ::close(m_pipe[0]);
        ::close(m_pipe[1]);
    }
    SignalsHeard(const SignalsHeard &) = delete;
    SignalsHeard &operator=(const SignalsHeard &) = delete;

    /// Readable once a signal came; -1 when none can be heard.
    int fd() const { return m_pipe[0]; }
    /// The signal that came, 0 for none.
    int take() const
    {
        unsigned char byte = 0;
        return ::read(m_pipe[0], &byte, 1) == 1 ? byte : 0;
    }

private:
    std::array<int, 2> m_pipe{-1, -1};
    std::array<struct sigaction, endingSignals.size()> m_before{};
};

/// Bytes as they came, at once: a pipeline behind the host sees them as the program writes them.
void relay(std::FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

WaitedRun::Outcome WaitedRun::exec(Lanyard::ExternalApps &apps, const QString &group, const QString &app)
{
    const SignalsHeard signalsHeard;
    ToolRun *run = apps.startTool(group, app, QByteArray(), ToolRun::Input::HostStandardInput);
    if (run->state() == ToolRun::State::FailedToStart)
        return {false, 0, run->failure()};
    QEventLoop loop;
    int endedBy = 0;
    QObject::connect(run, &ToolRun::standardOutput, run, [](const QByteArray &bytes) { relay(stdout, bytes); });
    QObject::connect(run, &ToolRun::standardError, run, [](const QByteArray &bytes) { relay(stderr, bytes); });
    QObject::connect(run, &ToolRun::finished, &loop, &QEventLoop::exit);
    std::optional<QSocketNotifier> heard;
    if (signalsHeard.fd() >= 0) {
        heard.emplace(signalsHeard.fd(), QSocketNotifier::Read);
        QObject::connect(&*heard, &QSocketNotifier::activated, run, [&] {
            endedBy = signalsHeard.take();
            run->cancel();
        });
    }
    const int status = loop.exec();
    delete run;
    return {true, endedBy != 0 ? 128 + endedBy : status, QString()};
}
