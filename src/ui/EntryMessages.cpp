// SPDX-License-Identifier: MIT
#include "EntryMessages.h"

#include "Captions.h"

#include <Lanyard/ComponentError.h>

using namespace Qt::StringLiterals;

namespace Lanyard::EntryMessages {

namespace {

QString quoted(const QString &text) { return u"\u201C"_s + text + u"\u201D"_s; }

// The case at hand when the component gave one; the numbered texts are written for programmers.
// (A text the list cannot hold never comes here: the dialog tells it, see frmEditApps::stored.)
QString reason(const ComponentError &error)
{
    const QString text = error.detail().isEmpty() ? error.description() : error.detail();
    return text.endsWith(u'.') ? text : text + u'.';
}

} // namespace

QString failed(Change change, const QString &group, const QString &app, const ComponentError &error)
{
    if (change != Change::Add && error.code() == ErrorCode::IndexOutOfRange)
        return Captions::text(TextId::NoLongerExists).arg(quoted(app), quoted(group));
    const TextId text = change == Change::Add    ? TextId::NotAdded
                        : change == Change::Edit ? TextId::NotChanged
                                                 : TextId::NotDeleted;
    return Captions::text(text).arg(quoted(app), quoted(group), reason(error));
}

QString limitReached(Change change, const QString &group, const QString &app, bool groupIsNew, int limit)
{
    const bool add = change == Change::Add;
    const TextId text = groupIsNew ? (add ? TextId::AddListFull : TextId::MoveListFull)
                                   : (add ? TextId::AddGroupFull : TextId::MoveGroupFull);
    return Captions::text(text).arg(quoted(app), quoted(group), QString::number(limit));
}

QString incomplete(const QList<QStringList> &missing)
{
    QStringList lines;
    for (const QStringList &captions : missing) {
        QString names = quoted(captions.value(0));
        for (qsizetype i = 1; i < captions.size(); ++i)
            names = Captions::text(TextId::EitherField).arg(names, quoted(captions.at(i)));
        lines.append(u"\u2022 "_s + names);
    }
    return Captions::text(TextId::IncompleteEntry) + u'\n' + lines.join(u'\n');
}

QString refusedCharacter(const QString &caption, const QString &character)
{
    const QString code = u"U+%1"_s.arg(uint(character.toUcs4().value(0)), 4, 16, QChar(u'0')).toUpper();
    return Captions::text(TextId::RefusedCharacter).arg(quoted(character) + u" ("_s + code + u')', quoted(caption));
}

QString refusedText(const QString &detail)
{
    return Captions::text(TextId::RefusedText).arg(detail.endsWith(u'.') ? detail : detail + u'.');
}

} // namespace Lanyard::EntryMessages
