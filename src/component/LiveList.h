// SPDX-License-Identifier: MIT
#pragma once

#include "util/FileWatch.h"

#include <QObject>

#include <functional>

namespace Lanyard {

class Catalogue;
class LaunchEntries;
class LaunchList;

/**
 * Keeps a catalogue in step with its launch list on disk: when the file changes (another
 * object's save, another program, an editor), the catalogue is read again with its own unsaved
 * changes kept, and @p changed is called when its entries changed. The object's own saves
 * change nothing. A file that cannot be read, or whose entries leave no room for the
 * catalogue's changes, leaves the catalogue as it is; that is logged once until a read
 * succeeds again.
 *
 * A reload waits while the program list window shows this catalogue (its rows and its dialog
 * stand for entries as they were when it was filled) and while a hold is taken (a member in
 * the middle of its work); it is done when both are over.
 */
class LiveList : public QObject
{
    Q_OBJECT

public:
    LiveList(LaunchList &list, Catalogue &catalogue, const LaunchEntries *window, std::function<void()> changed);

    /// Follows the list's file from now on; its path is read from the list.
    void follow();

    /// While one lives, a reload waits.
    class Hold
    {
    public:
        explicit Hold(LiveList &live);
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        LiveList &m_live;
    };

private:
    void reload();
    bool mustWait();

    LaunchList &m_list;
    Catalogue &m_catalogue;
    const LaunchEntries *m_window;
    std::function<void()> m_changed;
    FileWatch m_watch;
    int m_holds = 0;
    bool m_pending = false;
    bool m_awaitingWindow = false;
    bool m_reported = false;
};

} // namespace Lanyard
