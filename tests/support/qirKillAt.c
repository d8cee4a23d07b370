/* Kills the process just before its N-th change to the file tree, so that
 * a test can see what a kill at that point leaves on disk.  Linked into a
 * test program, whose own definitions of these calls come before the C
 * library's; they go straight to the kernel, and do nothing more while no
 * countdown runs. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "qirKillAt.h"

long qir_kill_countdown = 0;
long qir_kill_changes = 0;

static void Change(void)
{
    ++qir_kill_changes;
    if (qir_kill_countdown > 0 && --qir_kill_countdown == 0) kill(getpid(), SIGKILL);
}

int rename(const char* from, const char* to)
{
    Change();
    return (int)syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 0);
}

int renameat(int fromDir, const char* from, int toDir, const char* to)
{
    Change();
    return (int)syscall(SYS_renameat2, fromDir, from, toDir, to, 0);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags)
{
    Change();
    return (int)syscall(SYS_renameat2, fromDir, from, toDir, to, flags);
}

int unlink(const char* path)
{
    Change();
    return (int)syscall(SYS_unlinkat, AT_FDCWD, path, 0);
}

int unlinkat(int dir, const char* path, int flags)
{
    Change();
    return (int)syscall(SYS_unlinkat, dir, path, flags);
}

int rmdir(const char* path)
{
    Change();
    return (int)syscall(SYS_unlinkat, AT_FDCWD, path, AT_REMOVEDIR);
}

int mkdir(const char* path, mode_t mode)
{
    Change();
    return (int)syscall(SYS_mkdirat, AT_FDCWD, path, mode);
}

int link(const char* from, const char* to)
{
    Change();
    return (int)syscall(SYS_linkat, AT_FDCWD, from, AT_FDCWD, to, 0);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags)
{
    Change();
    return (int)syscall(SYS_linkat, fromDir, from, toDir, to, flags);
}
