// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QString>

#include <vector>

namespace Lanyard {

/// One registered placeholder: the label users write and the host's data that replaces it.
struct Placeholder
{
    QString search;
    QString replace;
};

/**
 * The ordered placeholder table of an ExternalApps object. Search strings are unique without
 * regard to letter case; an index never changes once given. At most 32767 pairs.
 */
class PlaceholderTable
{
public:
    qint16 count() const { return qint16(m_pairs.size()); }
    const Placeholder &at(qint16 index) const { return m_pairs[size_t(index)]; }
    const std::vector<Placeholder> &pairs() const { return m_pairs; }

    /// Index of the pair whose search string equals @p search without regard to case, or -1.
    qint16 find(const QString &search) const;

    /// Registers a pair, or updates the spelling and replacement of the one found.
    /// Throws ComponentError(Overflow) for a new pair when the table is full.
    void add(const QString &search, const QString &replace);
    /// @p text with every search string replaced, in table order, letter case kept.
    QString replaced(QString text) const;

private:
    std::vector<Placeholder> m_pairs;
    QHash<QString, qint16> m_index; // case-folded search string -> index
};

} // namespace Lanyard
