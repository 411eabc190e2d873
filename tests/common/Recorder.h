// SPDX-License-Identifier: MIT
#pragma once

// What the recorder helper (helpers/recorder.cpp) wrote about how it was started.
#include <QByteArrayList>
#include <QFile>
#include <QHash>
#include <QStringList>
#include <QTest>

struct Record
{
    QHash<QByteArray, QByteArray> fields; ///< cwd, fds, stdin, session
    QByteArrayList arguments;

    /// The record at @p path, once the recorder has written it (within ten seconds).
    static Record waitFor(const QString &path)
    {
        Record record;
        if (!QTest::qWaitFor([&] { return QFile::exists(path); }, 10000))
            return record;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return record;
        for (const QByteArray &entry : file.readAll().split('\0')) {
            const qsizetype eq = entry.indexOf('=');
            if (entry.startsWith("arg="))
                record.arguments << entry.mid(4);
            else if (eq > 0)
                record.fields.insert(entry.left(eq), entry.mid(eq + 1));
        }
        return record;
    }

    QStringList texts() const
    {
        QStringList texts;
        for (const QByteArray &argument : arguments)
            texts << QString::fromUtf8(argument);
        return texts;
    }
};
