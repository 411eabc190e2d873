// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>

#include <utility>

class QTextCursor;

/// The demo's placeholders and the values they stand for at this moment.
namespace HostPlaceholders {

/// %FILE% (the file's path), %DIR% (its folder), %NAME% (its name), %LINE% and %COL% (the
/// cursor, counted from 1), %SELECTION% (the selected text) and %WORD% (the word under the
/// cursor), in that order.
QList<std::pair<QString, QString>> current(const QString &filePath, const QTextCursor &cursor);

/// The selected text with "\n" at line ends (QTextCursor marks them with U+2029).
QString selectionText(const QTextCursor &cursor);

} // namespace HostPlaceholders
