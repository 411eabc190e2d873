// SPDX-License-Identifier: MIT
#pragma once

#include "launch/ToolProcess.h"

#include <Lanyard/ToolRun.h>

#include <QStringDecoder>

namespace Lanyard {

/// The state of a ToolRun and the process it relays; ExternalApps::startTool starts it.
struct LANYARD_NO_EXPORT ToolRun::Private
{
    Private(ToolRun *run, const QString &group, const QString &app);

    /// Starts @p command; when it cannot start, fails (see fail()) and gives the reason.
    QString start(const LaunchCommand &command, const QByteArray &input, Input inputFrom);
    /// The run never started, for @p reason: FailedToStart now, told from the event loop.
    void fail(const QString &reason);

    ToolRun *const q;
    const QString group;
    const QString app;
    State state = State::Running;
    int exitCode = -1;
    QString failure;
    ToolProcess process;
    QStringDecoder outputText{QStringDecoder::Utf8};
    QStringDecoder errorText{QStringDecoder::Utf8};

private:
    void relay(const QByteArray &bytes, void (ToolRun::*bytesSignal)(const QByteArray &),
               void (ToolRun::*textSignal)(const QString &), QStringDecoder &decoder);
    void ended(int code);
};

} // namespace Lanyard
