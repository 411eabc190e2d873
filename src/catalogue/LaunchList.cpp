#include "LaunchList.h"

#include "Catalogue.h"
#include "ListSnapshot.h"
#include "util/FileLock.h"
#include "text/NativeText.h"
#include "util/Raise.h"

#include <chrono>

#include <cerrno>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace Lanyard {

namespace {

// Another process holds the lock for one read or write of a list: a long wait means it hangs.
constexpr auto lockPatience = 10s;

/// False only when certainly nothing is there; what cannot even be looked at is something.
bool somethingIsAt(const QString &path)
{
    struct stat info {};
    return ::stat(NativeText::encode(path).constData(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

/// Takes the lock, or fails the call when other processes hold it too long.
void waitForLock(const FileLock &lock, const QString &path)
{
    if (lock.timedOut())
        raiseError(ErrorCode::PathFileAccessError, u"%1 is locked by another program"_s.arg(path));
}

/// While the catalogue is filled from the file: its changes are not recorded, and the records
/// of one program share its icon.
class LoadScope
{
public:
    explicit LoadScope(Catalogue &catalogue)
        : m_catalogue(catalogue)
    {
        m_catalogue.setRecordingChanges(false);
        m_catalogue.setSharingIcons(true);
    }
    ~LoadScope()
    {
        m_catalogue.setSharingIcons(false);
        m_catalogue.setRecordingChanges(true);
    }
    LoadScope(const LoadScope &) = delete;
    LoadScope &operator=(const LoadScope &) = delete;

private:
    Catalogue &m_catalogue;
};

} // namespace

void LaunchList::open(const QString &path, Catalogue &catalogue)
{
    m_path = path;
    m_version.reset();
    m_readWhole = true;
    m_holdsAll = false;
    if (!somethingIsAt(path))
        return;
    const FileLock lock(path, FileLock::Mode::Shared, lockPatience);
    waitForLock(lock, path);
    m_readWhole = false;
    const bool wasEmpty = catalogue.groupCount() == 0;
    bool dropped = false;
    const LoadScope scope(catalogue);
    const LaunchListFile::Read read = LaunchListFile::load(path, [&](const LaunchListEntry &entry) {
        // A refusal by a full table drops the line; later lines are still read.
        if (!catalogue.addApp(entry.group, entry.name, entry.path, entry.cmdLine, entry.isProtected))
            dropped = true;
    });
    m_encoding = read.encoding;
    m_version = read.version;
    m_readWhole = true;
    m_holdsAll = wasEmpty && !dropped;
}

bool LaunchList::hasChangesToSave(const Catalogue &catalogue) const
{
    return !m_path.isEmpty() && !catalogue.changes().isEmpty();
}

void LaunchList::save(Catalogue &catalogue)
{
    if (!hasChangesToSave(catalogue))
        return;
    if (!m_readWhole)
        raiseError(ErrorCode::PathFileAccessError,
                   u"%1 was not written: it could not be read when it was assigned"_s.arg(m_path));
    const FileLock lock(m_path, FileLock::Mode::Exclusive, lockPatience);
    waitForLock(lock, m_path);
    if (!lock.isHeld())
        raiseError(ErrorCode::PathFileAccessError, lock.errorString());
    const std::optional<FileVersion> now = FileVersion::of(m_path);
    if (now && (!m_holdsAll || now != m_version)) {
        ListSnapshot file;
        const LaunchListFile::Read read =
            LaunchListFile::load(m_path, [&](const LaunchListEntry &entry) { file.add(entry); });
        for (const ChangeLog::Key &key : catalogue.changes().keys())
            file.takeFrom(catalogue, key);
        m_version = LaunchListFile::save(file, m_path, read.encoding);
        m_encoding = read.encoding;
        m_holdsAll = false;
    } else {
        m_version = LaunchListFile::save(catalogue, m_path, m_encoding);
        m_holdsAll = true;
    }
    catalogue.clearChanges();
}

} // namespace Lanyard
