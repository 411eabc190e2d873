#include "FolderLock.h"

#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace Lanyard {

FolderLock::FolderLock(const QByteArray &nativeFolder, Mode mode, std::chrono::milliseconds patience)
    : m_folder(::open(nativeFolder.isEmpty() ? "/" : nativeFolder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    if (!m_folder.isValid())
        return;
    const int operation = (mode == Mode::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
    const QDeadlineTimer deadline(patience);
    for (;;) {
        if (::flock(m_folder.get(), operation) == 0) {
            m_held = true;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR)
            return;
        if (deadline.hasExpired()) {
            m_timedOut = true;
            return;
        }
        // A holder keeps it for one read or write of a launch list: a short while.
        QThread::msleep(2);
    }
}

FolderLock::~FolderLock()
{
    if (m_held)
        ::flock(m_folder.get(), LOCK_UN);
}

} // namespace Lanyard
