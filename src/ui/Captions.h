#pragma once

#include <QList>
#include <QString>

namespace Lanyard {

/// The window texts by base id, in the language that LanguageOffset selects.
class Captions
{
public:
    /// The library-wide offset added to every base id: 0, 250 or 500.
    static qint32 LanguageOffset();
    static void setLanguageOffset(qint32 offset);

    /// The text of base id @p baseId + LanguageOffset, read now.
    static QString text(int baseId);

    /// Every id of the string table, in ascending order.
    static QList<int> ids();
};

} // namespace Lanyard
