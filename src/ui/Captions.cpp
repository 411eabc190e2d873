// SPDX-License-Identifier: MIT
#include "Captions.h"

#include <QFile>
#include <QHash>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

qint32 languageOffset = 0;

using StringTable = QHash<int, QString>;

// Lines "<id><TAB><text>"; lines starting with "#" are comments.
StringTable loadStringTable()
{
    StringTable table;
    QFile file(u":/lanyard/strings.txt"_s);
    if (!file.open(QIODevice::ReadOnly))
        return table;
    const QString content = QString::fromUtf8(file.readAll());
    for (const QString &line : content.split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u'#'))
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        bool isNumber = false;
        const int id = line.left(tab).toInt(&isNumber);
        if (tab > 0 && isNumber)
            table.insert(id, line.mid(tab + 1).chopped(line.endsWith(u'\r') ? 1 : 0));
    }
    return table;
}

const StringTable &stringTable()
{
    static const StringTable table = loadStringTable();
    return table;
}

} // namespace

qint32 Captions::LanguageOffset() { return languageOffset; }

void Captions::setLanguage(Language language) { languageOffset = static_cast<qint32>(language) * LanguageBlock; }

QString Captions::text(TextId id) { return stringTable().value(static_cast<int>(id) + languageOffset); }

QString Captions::text(TextId id, Language language)
{
    return stringTable().value(static_cast<int>(id) + static_cast<int>(language) * LanguageBlock);
}

} // namespace Lanyard
