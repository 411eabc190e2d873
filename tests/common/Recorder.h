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
        QFile file(path);
        if (!QTest::qWaitFor([&] { return file.exists(); }, 10000) || !file.open(QIODevice::ReadOnly))
            return record;
        for (const QByteArray &entry : file.readAll().split('\0')) {
            if (entry.startsWith("arg="))
                record.arguments << entry.mid(4);
            else if (entry.indexOf('=') > 0)
                record.fields.insert(entry.left(entry.indexOf('=')), entry.mid(entry.indexOf('=') + 1));
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
