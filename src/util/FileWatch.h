// SPDX-License-Identifier: MIT
#pragma once

#include "UniqueFd.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <memory>

class QSocketNotifier;

namespace Lanyard {

/**
 * Tells when the file at a path may have changed on disk: written in place, replaced by a
 * rename, removed, created, its mode changed, or a link on the way to it pointed elsewhere.
 * It watches the folders of the path and of every link it passes through (so a list that is a
 * link into another folder is followed there, and a replacement by rename is seen), and finds
 * them again after every change. A burst of changes gives one changed() a little later.
 *
 * Watching needs the thread's event loop: without a QCoreApplication nothing is watched. When
 * the system gives no more watches, nothing is watched either; that is logged once a process.
 *
 * Why not QFileSystemWatcher: it watches a path's inode, so a list replaced by rename (as every
 * careful writer saves) drops out of the watch, and it does not follow the links on the way to
 * a file into other folders; it also gives one signal per change where a save makes several.
 */
class FileWatch : public QObject
{
    Q_OBJECT

public:
    explicit FileWatch(QObject *parent = nullptr);
    ~FileWatch() override;

    /// Watches @p path (absolute) from now on instead of what was watched; empty: nothing.
    void watch(const QString &path);
    /// Whether changes to the path are being watched.
    bool isWatching() const { return !m_folders.isEmpty(); }

Q_SIGNALS:
    /// The file may have changed: read it again to know.
    void changed();

private:
    void readEvents();
    /// Finds the folders and names on the way to the file again and watches those folders.
    void follow();
    void stopFollowing();

    QString m_path;
    UniqueFd m_inotify;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QHash<int, QString> m_folders; // by watch descriptor
    QSet<QString> m_names;         // the names on the way to the file, in those folders
    QTimer m_settle;
};

} // namespace Lanyard
