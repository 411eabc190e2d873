// SPDX-License-Identifier: MIT
#include "PlaceholderTable.h"

#include "util/Raise.h"

#include <limits>

namespace Lanyard {

qint16 PlaceholderTable::find(const QString &search) const { return m_index.value(search.toCaseFolded(), qint16(-1)); }

void PlaceholderTable::add(const QString &search, const QString &replace)
{
    const QString key = search.toCaseFolded();
    const auto found = m_index.constFind(key);
    if (found != m_index.constEnd()) {
        m_pairs[size_t(*found)] = {search, replace};
        return;
    }
    if (m_pairs.size() >= size_t(std::numeric_limits<qint16>::max()))
        raiseError(ErrorCode::Overflow);
    m_index.insert(key, qint16(m_pairs.size()));
    m_pairs.push_back({search, replace});
}

QString PlaceholderTable::replaced(QString text) const
{
    for (const Placeholder &pair : m_pairs)
        text.replace(pair.search, pair.replace);
    return text;
}

} // namespace Lanyard
