// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QFile>

/// A size field of /proc/self/status in KiB ("VmRSS", "VmHWM", ...); -1 when it cannot be read.
inline long processStatusKb(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}
