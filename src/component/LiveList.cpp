// SPDX-License-Identifier: MIT
#include "LiveList.h"

#include "catalogue/Catalogue.h"
#include "catalogue/LaunchList.h"
#include "ui/frmEditApps.h"
#include "util/Logging.h"

#include <Lanyard/ComponentError.h>

namespace Lanyard {

LiveList::LiveList(LaunchList &list, Catalogue &catalogue, const LaunchEntries *window, std::function<void()> changed)
    : m_list(list)
    , m_catalogue(catalogue)
    , m_window(window)
    , m_changed(std::move(changed))
{
    connect(&m_watch, &FileWatch::changed, this, &LiveList::reload);
}

void LiveList::follow()
{
    m_pending = false;
    m_reported = false;
    m_watch.watch(m_list.path());
}

LiveList::Hold::Hold(LiveList &live)
    : m_live(live)
{
    ++m_live.m_holds;
}

LiveList::Hold::~Hold()
{
    if (--m_live.m_holds == 0 && m_live.m_pending)
        QMetaObject::invokeMethod(&m_live, &LiveList::reload, Qt::QueuedConnection);
}

bool LiveList::mustWait()
{
    const frmEditApps *window = frmEditApps::instance();
    if (window && window->LaunchAppClass() == m_window) {
        // Once the window is unloaded, or points at another catalogue and closes.
        if (!std::exchange(m_awaitingWindow, true))
            connect(window, &frmEditApps::unloaded, this, &LiveList::reload,
                    Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
        return true;
    }
    m_awaitingWindow = false;
    return m_holds > 0;
}

void LiveList::reload()
{
    if (mustWait()) {
        m_pending = true;
        return;
    }
    m_pending = false;
    try {
        switch (m_list.reload(m_catalogue)) {
        case LaunchList::Reload::Changed:
            m_reported = false;
            return m_changed();
        case LaunchList::Reload::Unchanged:
            m_reported = false;
            return;
        case LaunchList::Reload::NoRoom:
            if (!std::exchange(m_reported, true))
                qCWarning(lcLanyard).noquote()
                    << m_list.path() << "changed on disk, but its entries leave no room within the limits for"
                    << "this object's unsaved changes: they are kept, the list is not read again";
            return;
        }
    } catch (const ComponentError &error) {
        if (!std::exchange(m_reported, true))
            qCWarning(lcLanyard).noquote()
                << "The launch list changed on disk but was not read again:" << error.message()
                << "- the entries stay as they were";
    }
}

} // namespace Lanyard
