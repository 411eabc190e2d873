// SPDX-License-Identifier: MIT
#pragma once

// A program of the build copied with the liblanyard.so* beside it into a fresh folder every user can
// enter, for a test that runs it as another user while the build lies where only its owner goes.
#include <QDir>
#include <QTemporaryDir>

struct ReachableCopy
{
    explicit ReachableCopy(const QString &original)
    {
        const QDir from = QFileInfo(original).absoluteDir();
        program = folder.filePath(QFileInfo(original).fileName());
        bool copied = folder.isValid() && QFile::setPermissions(folder.path(), QFileDevice::Permissions(0x7755))
                      && QFile::copy(original, program);
        for (const QString &library : from.entryList({QStringLiteral("liblanyard.so*")}, QDir::Files))
            copied = copied && QFile::copy(from.filePath(library), folder.filePath(library));
        why = copied ? QString() : QStringLiteral("cannot copy %1 into %2").arg(original, folder.path());
        for (QString at = folder.path(); why.isEmpty() && at != u'/'; at = QFileInfo(at).path()) {
            if (!(QFileInfo(at).permissions() & QFileDevice::ExeOther))
                why = at + QStringLiteral(" is closed to other users");
        }
    }
    /// The variable ("NAME=value") that lets the copy find the copied library before the build's.
    QString libraryPath() const { return QStringLiteral("LD_LIBRARY_PATH=") + folder.path(); }

    QTemporaryDir folder;
    QString program, why; // why: empty when the copy is there for every user
};
