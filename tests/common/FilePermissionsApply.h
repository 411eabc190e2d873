#pragma once

#include <sys/fsuid.h>
#include <unistd.h>

/**
 * While it lives, file permissions apply to this thread even when the test runs as root: the
 * file-system user and group become nobody's, which drops root's override of permissions.
 * Files made meanwhile belong to nobody, so the folders they go into must let anyone in.
 * For another user it changes nothing: permissions apply already.
 */
class FilePermissionsApply
{
public:
    static constexpr unsigned nobody = 65534;

    FilePermissionsApply()
        : m_root(::geteuid() == 0)
    {
        if (m_root) {
            ::setfsgid(nobody);
            ::setfsuid(nobody);
        }
    }
    ~FilePermissionsApply()
    {
        if (m_root) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
    }
    FilePermissionsApply(const FilePermissionsApply &) = delete;
    FilePermissionsApply &operator=(const FilePermissionsApply &) = delete;

private:
    bool m_root;
};
