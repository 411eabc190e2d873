// SPDX-License-Identifier: MIT
// nopidfd PROGRAM [ARGUMENT...]: runs PROGRAM, and all it starts, where pidfd_open fails with
// ENOSYS, as on a kernel before 5.3 or in a sandbox whose seccomp filter does not know the call.
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
#if defined(__x86_64__)
    constexpr unsigned thisArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr unsigned thisArch = AUDIT_ARCH_AARCH64;
#endif
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, thisArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_pidfd_open, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    if (argc < 2 || ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0
        || ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0 || ::syscall(SYS_pidfd_open, ::getpid(), 0) != -1
        || errno != ENOSYS) {
        std::fprintf(stderr, "usage: nopidfd PROGRAM [ARGUMENT...]; pidfd_open must then fail\n");
        return 2;
    }
    ::execvp(argv[1], argv + 1);
    std::perror("nopidfd: cannot run the program");
    return 127;
}
