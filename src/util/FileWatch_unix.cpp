// SPDX-License-Identifier: MIT
#include "FileWatch.h"

#include "Logging.h"
#include "text/NativeText.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <array>
#include <atomic>

#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace Lanyard {

namespace {

// What changes a file in a folder, or the folder itself; a write in progress is seen when it
// closes, so that a half-written file is not read.
constexpr uint32_t folderEvents = IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB
                                  | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// Links on the way to a file: more means a loop.
constexpr int maxLinks = 40;
// Writers replace a list by a temporary file, a rename and a lock: one read for all of it.
constexpr auto settleTime = 30ms;

void logOnce(const char *what)
{
    static std::atomic_flag logged = ATOMIC_FLAG_INIT;
    if (!logged.test_and_set())
        qCWarning(lcLanyard) << "The launch list is not followed on disk:" << what << std::strerror(errno);
}

} // namespace

FileWatch::FileWatch(QObject *parent)
    : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleTime);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        follow();
        Q_EMIT changed();
    });
}

FileWatch::~FileWatch() = default;

void FileWatch::watch(const QString &path)
{
    m_path = path;
    m_settle.stop();
    stopFollowing();
    // A thread without an event dispatcher (one not started by QThread) could never be told.
    if (path.isEmpty() || !QCoreApplication::instance() || !QAbstractEventDispatcher::instance())
        return;
    if (!m_inotify.isValid()) {
        // Close-on-exec: a program the host starts does not keep the watch.
        m_inotify = UniqueFd::aboveStandard(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        if (!m_inotify.isValid())
            return logOnce("no inotify instance:");
        m_notifier = std::make_unique<QSocketNotifier>(m_inotify.get(), QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &FileWatch::readEvents);
    }
    follow();
}

void FileWatch::stopFollowing()
{
    for (auto it = m_folders.cbegin(); it != m_folders.cend(); ++it)
        ::inotify_rm_watch(m_inotify.get(), it.key());
    m_folders.clear();
    m_names.clear();
}

void FileWatch::follow()
{
    if (!m_inotify.isValid())
        return;
    QHash<int, QString> folders;
    QSet<QString> names;
    QString at = m_path;
    for (int hop = 0; hop <= maxLinks && !at.isEmpty(); ++hop) {
        const QFileInfo info(at);
        const QString folder = info.absolutePath();
        names.insert(info.fileName());
        const int wd = ::inotify_add_watch(m_inotify.get(), NativeText::encode(folder).constData(), folderEvents);
        if (wd >= 0)
            folders.insert(wd, folder);
        else if (errno == ENOSPC)
            logOnce("no inotify watch left:");
        if (!info.isSymLink())
            break;
        const QString target = info.symLinkTarget();
        at = target == at ? QString() : target;
    }
    // A folder no longer on the way: its watch goes (one descriptor may serve two folders).
    for (auto it = m_folders.cbegin(); it != m_folders.cend(); ++it) {
        if (!folders.contains(it.key()))
            ::inotify_rm_watch(m_inotify.get(), it.key());
    }
    m_folders = std::move(folders);
    m_names = std::move(names);
}

void FileWatch::readEvents()
{
    alignas(inotify_event) std::array<char, 16 * (sizeof(inotify_event) + NAME_MAX + 1)> buffer;
    bool relevant = false;
    for (;;) {
        const ssize_t length = ::read(m_inotify.get(), buffer.data(), buffer.size());
        if (length <= 0)
            break;
        for (ssize_t offset = 0; offset < length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer.data() + offset);
            offset += ssize_t(sizeof(inotify_event) + event->len);
            // Events lost to a full queue may have been the file's.
            if (event->mask & IN_Q_OVERFLOW)
                relevant = true;
            if (!m_folders.contains(event->wd))
                continue;
            const bool self = event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED);
            const QString name = event->len ? NativeText::decode(QByteArray(event->name)) : QString();
            relevant = relevant || self || m_names.contains(name);
        }
    }
    if (relevant && !m_settle.isActive())
        m_settle.start();
}

} // namespace Lanyard
