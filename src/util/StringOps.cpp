#include "StringOps.h"

namespace Lanyard::StringOps {

namespace {

template<typename IsBlank>
QString trimmed(const QString &text, IsBlank isBlank)
{
    qsizetype first = 0;
    qsizetype end = text.size();
    while (first < end && isBlank(text.at(first)))
        ++first;
    while (end > first && isBlank(text.at(end - 1)))
        --end;
    return text.mid(first, end - first);
}

bool isTab(QChar c) { return c == u'\t'; }
bool isTabOrSpace(QChar c) { return c == u'\t' || c == u' '; }

} // namespace

QString TrimTabs(const QString &text) { return trimmed(text, isTab); }
QString TrimBlanks(const QString &text) { return trimmed(text, isTabOrSpace); }

QString NextField(QString &line, const QString &startMarker, const QString &delimiter)
{
    qsizetype leading = 0;
    while (leading < line.size() && line.at(leading) == u' ')
        ++leading;
    line.remove(0, leading);
    if (line.isEmpty())
        return QString();

    qsizetype fieldStart = 0;
    if (!startMarker.isEmpty()) {
        const qsizetype marker = line.indexOf(startMarker, 0, Qt::CaseInsensitive);
        if (marker >= 0)
            fieldStart = marker + startMarker.size();
    }
    const qsizetype at = delimiter.isEmpty() ? -1 : line.indexOf(delimiter, fieldStart, Qt::CaseInsensitive);
    if (at < 0) {
        const QString field = line.mid(fieldStart);
        line.clear();
        return field;
    }
    const QString field = line.mid(fieldStart, at - fieldStart);
    line.remove(0, at + delimiter.size());
    return field;
}

} // namespace Lanyard::StringOps
