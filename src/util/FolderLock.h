#pragma once

#include "UniqueFd.h"

#include <QByteArray>

#include <chrono>

namespace Lanyard {

/**
 * An advisory lock (flock) on a folder, so that the programs that read and write the files in
 * it through this library take turns: readers share it, a writer has it alone. It is held from
 * construction to destruction; waiting for it is bounded by @p patience. A folder that cannot
 * be opened is not locked (timedOut() false): the caller goes on without.
 */
class FolderLock
{
public:
    enum class Mode { Shared, Exclusive };

    FolderLock(const QByteArray &nativeFolder, Mode mode, std::chrono::milliseconds patience);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    /// Another program held the lock longer than the patience allowed.
    bool timedOut() const { return m_timedOut; }

private:
    UniqueFd m_folder;
    bool m_held = false;
    bool m_timedOut = false;
};

} // namespace Lanyard
