// SPDX-License-Identifier: MIT
#include "HostPlaceholders.h"

#include <QFileInfo>
#include <QTextBlock>
#include <QTextCursor>

using namespace Qt::StringLiterals;

namespace HostPlaceholders {

namespace {

QString wordUnderCursor(const QTextCursor &cursor)
{
    QTextCursor word(cursor);
    word.clearSelection();
    word.select(QTextCursor::WordUnderCursor);
    return word.selectedText();
}

} // namespace

QString selectionText(const QTextCursor &cursor)
{
    QString text = cursor.selectedText();
    return text.replace(QChar::ParagraphSeparator, u'\n');
}

QList<std::pair<QString, QString>> current(const QString &filePath, const QTextCursor &cursor)
{
    const QFileInfo file(filePath);
    const bool hasFile = !filePath.isEmpty();
    return {
        {u"%FILE%"_s, hasFile ? file.absoluteFilePath() : QString()},
        {u"%DIR%"_s, hasFile ? file.absolutePath() : QString()},
        {u"%NAME%"_s, hasFile ? file.fileName() : QString()},
        {u"%LINE%"_s, QString::number(cursor.blockNumber() + 1)},
        {u"%COL%"_s, QString::number(cursor.positionInBlock() + 1)},
        {u"%SELECTION%"_s, selectionText(cursor)},
        {u"%WORD%"_s, wordUnderCursor(cursor)},
    };
}

} // namespace HostPlaceholders
