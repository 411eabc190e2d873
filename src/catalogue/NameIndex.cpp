#include "NameIndex.h"

namespace Lanyard {

qint16 NameIndex::first(const QString &name, qint16 inUse) const
{
    qint16 first = -1;
    for (auto [it, end] = m_slots.equal_range(name); it != end; ++it) {
        if (*it < inUse && (first < 0 || *it < first))
            first = *it;
    }
    return first;
}

} // namespace Lanyard
