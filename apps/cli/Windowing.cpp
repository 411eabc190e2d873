// SPDX-License-Identifier: MIT
#include "Windowing.h"

#include <QByteArray>
#include <QFileInfo>
#include <QtGlobal>

#include <xcb/xcb.h>

namespace Windowing {

namespace {

bool waylandAnswers()
{
    const QByteArray socket = qgetenv("WAYLAND_DISPLAY");
    if (socket.isEmpty())
        return false;
    const QByteArray path = socket.startsWith('/') ? socket : qgetenv("XDG_RUNTIME_DIR") + '/' + socket;
    return QFileInfo(QString::fromLocal8Bit(path)).exists();
}

bool x11Answers()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
}

bool displayAnswers() { return waylandAnswers() || x11Answers(); }

} // namespace

bool canOpenWindows() { return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || displayAnswers(); }

bool isSeen()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.startsWith("offscreen") || platform.startsWith("minimal") || platform.startsWith("vnc"))
        return false;
    return displayAnswers();
}

} // namespace Windowing
