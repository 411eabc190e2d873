// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace Lanyard {
class ExternalApps;
}

/**
 * run --wait: starts an entry on the host's own standard input, relays its output and error
 * output to the host's own as they come, and waits for its end. SIGINT, SIGTERM or SIGHUP to
 * the host cancels the program (it runs in a session of its own, so a terminal's Ctrl-C
 * reaches only the host) and ends the wait.
 */
class WaitedRun
{
public:
    struct Outcome
    {
        bool started = false;
        int status = 0; ///< the program's exit status, 128 + a signal that ended it or the wait
        QString reason; ///< why it did not start
    };

    /// Needs a QCoreApplication; the entry must exist.
    static Outcome exec(Lanyard::ExternalApps &apps, const QString &group, const QString &app);
};
