// SPDX-License-Identifier: MIT
#include "ToolRunPrivate.h"

#include <QMetaMethod>
#include <QPointer>

namespace Lanyard {

ToolRun::Private::Private(ToolRun *run, const QString &groupName, const QString &appName)
    : q(run)
    , group(groupName)
    , app(appName)
{
    QObject::connect(&process, &ToolProcess::standardOutput, q, [this](const QByteArray &bytes) {
        relay(bytes, &ToolRun::standardOutput, &ToolRun::standardOutputText, outputText);
    });
    QObject::connect(&process, &ToolProcess::standardError, q, [this](const QByteArray &bytes) {
        relay(bytes, &ToolRun::standardError, &ToolRun::standardErrorText, errorText);
    });
    QObject::connect(&process, &ToolProcess::ended, q, [this](int code) { ended(code); });
}

Result<void> ToolRun::Private::start(const LaunchCommand &command, const QByteArray &input, Input inputFrom)
{
    const Result<void> started = process.start(command, input,
                                               inputFrom == Input::HostStandardInput
                                                   ? ToolProcess::InputFrom::HostStandardInput
                                                   : ToolProcess::InputFrom::Bytes);
    if (!started)
        fail(started.error().detail());
    return started;
}

void ToolRun::Private::fail(const QString &reason)
{
    state = State::FailedToStart;
    failure = reason;
    // The host connects to the run after startTool has returned it.
    QMetaObject::invokeMethod(
        q,
        [run = q, reason] {
            Q_EMIT run->stateChanged();
            Q_EMIT run->failedToStart(reason);
        },
        Qt::QueuedConnection);
}

void ToolRun::Private::relay(const QByteArray &bytes, void (ToolRun::*bytesSignal)(const QByteArray &),
                             void (ToolRun::*textSignal)(const QString &), TextDecoder &decoder)
{
    const QPointer<ToolRun> alive(q);
    Q_EMIT(q->*bytesSignal)(bytes);
    // A handler may have cancelled or deleted the run; nothing more is told then. Text is
    // decoded only for a host that listens for it, which may begin to listen at any piece.
    if (!alive || state != State::Running)
        return;
    if (!q->isSignalConnected(QMetaMethod::fromSignal(textSignal))) {
        decoder.skip(bytes);
        return;
    }
    const QString text = decoder.decode(bytes);
    if (!text.isEmpty())
        Q_EMIT(q->*textSignal)(text);
}

bool ToolRun::Private::endText(void (ToolRun::*textSignal)(const QString &), const TextDecoder &decoder)
{
    if (!decoder.holdsPartOfACharacter() || !q->isSignalConnected(QMetaMethod::fromSignal(textSignal)))
        return true;
    const QPointer<ToolRun> alive(q);
    Q_EMIT(q->*textSignal)(QString(QChar::ReplacementCharacter));
    return !alive.isNull();
}

void ToolRun::Private::ended(int code)
{
    if (state == State::Running
        && (!endText(&ToolRun::standardOutputText, outputText) || !endText(&ToolRun::standardErrorText, errorText)))
        return;
    exitCode = code;
    if (state == State::Running)
        state = State::Finished;
    const QPointer<ToolRun> alive(q);
    Q_EMIT q->stateChanged();
    if (alive)
        Q_EMIT q->finished(code);
}

ToolRun::ToolRun(const QString &group, const QString &app, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this, group, app))
{
}

ToolRun::~ToolRun() = default;

QString ToolRun::group() const { return d->group; }

QString ToolRun::app() const { return d->app; }

ToolRun::State ToolRun::state() const { return d->state; }

bool ToolRun::isRunning() const { return d->state == State::Running; }

int ToolRun::exitCode() const { return d->exitCode; }

QString ToolRun::failure() const { return d->failure; }

void ToolRun::cancel()
{
    if (d->state != State::Running)
        return;
    d->state = State::Cancelled;
    Q_EMIT stateChanged();
    d->process.cancel();
}

} // namespace Lanyard

#include "Lanyard/moc_ToolRun.cpp"
