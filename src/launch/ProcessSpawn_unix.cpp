// SPDX-License-Identifier: MIT
#include "ProcessSpawn.h"

#include "text/NativeText.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace Lanyard {

namespace {

/// Owns the posix_spawn attribute and file-action objects for one start.
class SpawnSetup
{
public:
    SpawnSetup()
    {
        ::posix_spawnattr_init(&attr);
        ::posix_spawn_file_actions_init(&actions);
    }
    ~SpawnSetup()
    {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attr);
    }
    SpawnSetup(const SpawnSetup &) = delete;
    SpawnSetup &operator=(const SpawnSetup &) = delete;

    posix_spawnattr_t attr;
    posix_spawn_file_actions_t actions;
};

int setAttributes(posix_spawnattr_t &attr, const SpawnOptions &options)
{
    // The host may block or handle signals; the new program starts with a clean slate.
    sigset_t none;
    sigset_t all;
    ::sigemptyset(&none);
    ::sigfillset(&all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (options.newSession)
        flags |= POSIX_SPAWN_SETSID;
    else if (options.newProcessGroup)
        flags |= POSIX_SPAWN_SETPGROUP;
    int error = ::posix_spawnattr_setsigmask(&attr, &none);
    if (error == 0)
        error = ::posix_spawnattr_setsigdefault(&attr, &all);
    if (error == 0 && (flags & POSIX_SPAWN_SETPGROUP))
        error = ::posix_spawnattr_setpgroup(&attr, 0);
    if (error == 0)
        error = ::posix_spawnattr_setflags(&attr, flags);
    return error;
}

int redirect(posix_spawn_file_actions_t &actions, int fd, int target, int nullMode)
{
    if (fd >= 0)
        return ::posix_spawn_file_actions_adddup2(&actions, fd, target);
    if (nullMode >= 0)
        return ::posix_spawn_file_actions_addopen(&actions, target, "/dev/null", nullMode, 0);
    return 0;
}

int closeAboveStandard(posix_spawn_file_actions_t &actions)
{
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    return ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#else
    // Without closefrom: close what is open now. Descriptors opened by other threads in the
    // meantime are left to their close-on-exec flag.
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &name : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        bool ok; // set by the conversion
        const int fd = name.toInt(&ok);
        if (ok && fd > 2 && ::fcntl(fd, F_GETFD) != -1) {
            if (const int error = ::posix_spawn_file_actions_addclose(&actions, fd))
                return error;
        }
    }
    return 0;
#endif
}

/// 0 when @p folder is a directory the program can be started in, else the errno that says why.
int folderError(const QByteArray &folder)
{
    struct stat info
    {
    };
    if (::stat(folder.constData(), &info) != 0)
        return errno;
    if (!S_ISDIR(info.st_mode))
        return ENOTDIR;
    return ::access(folder.constData(), X_OK) == 0 ? 0 : errno;
}

int setFileActions(posix_spawn_file_actions_t &actions, const SpawnOptions &options, const QByteArray &folder)
{
    // File actions run in order: the given descriptors are put in place before the originals
    // are closed, and /dev/null is opened after that, so that it finds a free descriptor also
    // in a host that has used up all it may open.
    int error = redirect(actions, options.stdinFd, STDIN_FILENO, -1);
    if (error == 0)
        error = redirect(actions, options.stdoutFd, STDOUT_FILENO, -1);
    if (error == 0)
        error = redirect(actions, options.stderrFd, STDERR_FILENO, -1);
    if (error == 0)
        error = closeAboveStandard(actions);
    if (error == 0 && options.stdinFd < 0)
        error = redirect(actions, -1, STDIN_FILENO, O_RDONLY);
    if (error == 0 && !folder.isEmpty())
        error = ::posix_spawn_file_actions_addchdir_np(&actions, folder.constData());
    return error;
}

} // namespace

SpawnResult ProcessSpawn::start(const QString &program, const QStringList &arguments, const SpawnOptions &options)
{
    SpawnResult result;
    std::vector<QByteArray> words;
    words.reserve(size_t(arguments.size()) + 1);
    words.push_back(NativeText::encode(program));
    for (const QString &argument : arguments)
        words.push_back(NativeText::encode(argument));
    const QByteArray folder = NativeText::encode(options.workingDirectory);
    // A NUL would silently cut a word short.
    if (folder.contains('\0')
        || std::any_of(words.cbegin(), words.cend(), [](const QByteArray &word) { return word.contains('\0'); })) {
        result.error = EINVAL;
        return result;
    }
    if (words.front().isEmpty()) {
        result.error = ENOENT;
        return result;
    }
    std::vector<char *> argv;
    for (QByteArray &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    SpawnSetup setup;
    result.error = setAttributes(setup.attr, options);
    if (result.error == 0)
        result.error = setFileActions(setup.actions, options, folder);
    if (result.error != 0)
        return result;

    pid_t pid = -1;
    // glibc's posix_spawn waits until the exec has happened and returns its error, so a
    // program that can not be run is reported here, not as an exit status.
    const int error = options.searchPath
                          ? ::posix_spawnp(&pid, argv[0], &setup.actions, &setup.attr, argv.data(), environ)
                          : ::posix_spawn(&pid, argv[0], &setup.actions, &setup.attr, argv.data(), environ);
    if (error != 0) {
        // The child's failing chdir looks like a missing program: the folder is looked at
        // only then, which spares a launch that works two system calls.
        const int folderFailure = folder.isEmpty() ? 0 : folderError(folder);
        result.folderFailed = folderFailure != 0;
        result.error = result.folderFailed ? folderFailure : error;
        return result;
    }
    result.pid = pid;
    return result;
}

} // namespace Lanyard
