// SPDX-License-Identifier: MIT
#include "ToolFilter.h"

#include <QMimeDatabase>
#include <QRegularExpression>

namespace Lanyard {

void ToolFilter::setDocument(const QString &fileName, const QString &mimeType)
{
    m_name = fileName.section(u'/', -1);
    m_mimeNames.clear();
    m_answers.clear();
    if (fileName.isEmpty() && mimeType.isEmpty())
        return;
    const QMimeDatabase types;
    const QMimeType type = mimeType.isEmpty() ? types.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension)
                                              : types.mimeTypeForName(mimeType);
    if (!type.isValid()) {
        m_mimeNames << mimeType;
        return;
    }
    m_mimeNames << type.name() << type.aliases() << type.allAncestors();
}

bool ToolFilter::fits(const ToolBehaviour &tool) const
{
    if (tool.needsSelection && !m_hasSelection)
        return false;
    return tool.fileTypes.isEmpty() || fitsTypes(tool.fileTypes);
}

bool ToolFilter::fitsTypes(const QStringList &types) const
{
    const QString key = types.join(u'\n');
    const auto known = m_answers.constFind(key);
    if (known != m_answers.cend())
        return *known;
    const bool fit = std::any_of(types.cbegin(), types.cend(), [this](const QString &type) { return fitsType(type); });
    m_answers.insert(key, fit);
    return fit;
}

bool ToolFilter::fitsType(const QString &type) const
{
    if (type.contains(u'/')) {
        if (type.endsWith(u"/*"))
            return std::any_of(m_mimeNames.cbegin(), m_mimeNames.cend(),
                               [&](const QString &name) { return name.startsWith(type.chopped(1)); });
        return m_mimeNames.contains(type);
    }
    if (m_name.isEmpty())
        return false;
    return QRegularExpression(QRegularExpression::wildcardToRegularExpression(type)).match(m_name).hasMatch();
}

} // namespace Lanyard
