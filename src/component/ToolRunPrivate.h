// SPDX-License-Identifier: MIT
#pragma once

#include "TextDecoder.h"
#include "launch/ToolProcess.h"

#include <Lanyard/ToolRun.h>

namespace Lanyard {

/// The state of a ToolRun and the process it relays; ExternalApps::startTool starts it.
struct LANYARD_NO_EXPORT ToolRun::Private
{
    Private(ToolRun *run, const QString &group, const QString &app);

    /// Starts @p command; when it cannot start, fails (see fail()) and gives why.
    Result<void> start(const LaunchCommand &command, const QByteArray &input, Input inputFrom);
    /// The run never started, for @p reason: FailedToStart now, told from the event loop.
    void fail(const QString &reason);

    ToolRun *const q;
    const QString group;
    const QString app;
    State state = State::Running;
    int exitCode = -1;
    QString failure;
    ToolProcess process;
    TextDecoder outputText;
    TextDecoder errorText;

private:
    void relay(const QByteArray &bytes, void (ToolRun::*bytesSignal)(const QByteArray &),
               void (ToolRun::*textSignal)(const QString &), TextDecoder &decoder);
    /// A character cut short by the end of the output comes as U+FFFD; false when a handler
    /// deleted the run.
    bool endText(void (ToolRun::*textSignal)(const QString &), const TextDecoder &decoder);
    void ended(int code);
};

} // namespace Lanyard
