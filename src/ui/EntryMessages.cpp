// SPDX-License-Identifier: MIT
#include "EntryMessages.h"

#include <Lanyard/ComponentError.h>

using namespace Qt::StringLiterals;

namespace Lanyard::EntryMessages {

namespace {

QString quoted(const QString &text) { return u"\u201C"_s + text + u"\u201D"_s; }

// The case at hand when the component gave one; the numbered texts are written for programmers.
QString reason(const ComponentError &error)
{
    QString text = error.detail();
    if (text.isEmpty())
        text = error.code() == ErrorCode::InvalidArgument ? u"the launch list cannot hold one of its texts"_s
                                                          : error.description();
    return text.endsWith(u'.') ? text : text + u'.';
}

} // namespace

QString failed(Change change, const QString &group, const QString &app, const ComponentError &error)
{
    switch (change) {
    case Change::Add:
        return u"%1 was not added to %2: %3"_s.arg(quoted(app), quoted(group), reason(error));
    case Change::Edit:
    case Change::Delete:
        if (error.code() == ErrorCode::IndexOutOfRange)
            return u"%1 no longer exists in %2."_s.arg(quoted(app), quoted(group));
        return (change == Change::Edit ? u"%1 in %2 was not changed: %3"_s : u"%1 was not deleted from %2: %3"_s)
            .arg(quoted(app), quoted(group), reason(error));
    }
    return QString();
}

QString limitReached(Change change, const QString &group, const QString &app, bool groupIsNew, int limit)
{
    const QString refused = change == Change::Add ? u"%1 was not added to %2: "_s : u"%1 was not moved to %2: "_s;
    const QString full = groupIsNew ? u"the list already holds %1 groups, as many as it may."_s
                                    : u"the group already holds %1 programs, as many as it may."_s;
    return refused.arg(quoted(app), quoted(group)) + full.arg(limit);
}

QString incomplete(const QList<QStringList> &missing)
{
    QStringList lines;
    for (const QStringList &captions : missing) {
        QStringList names;
        for (const QString &caption : captions)
            names.append(quoted(caption));
        lines.append(u"\u2022 "_s + names.join(u" or "_s));
    }
    return u"The program cannot be saved yet. Please fill in:\n"_s + lines.join(u'\n');
}

} // namespace Lanyard::EntryMessages
