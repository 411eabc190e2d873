// SPDX-License-Identifier: MIT
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

} // namespace Lanyard::StringOps
