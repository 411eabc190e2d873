#include "ChangeLog.h"

namespace Lanyard {

void ChangeLog::record(const QString &group, const QString &app)
{
    if (m_paused)
        return;
    Key key{group, app};
    if (m_known.contains(key))
        return;
    m_known.insert(key);
    m_keys.append(std::move(key));
}

void ChangeLog::clear()
{
    m_keys.clear();
    m_known.clear();
}

} // namespace Lanyard
