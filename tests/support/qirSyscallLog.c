/* Linked into a test program (never preloaded into others): records, in
 * order, the calls that decide what survives a power cut (fsync, fdatasync,
 * rename, writes to a file in place, truncation) and the POP3 DELE commands
 * sent, so that a test can check that nothing is named or deleted before it
 * is on stable storage.  Each entry is one line: the call, a blank and the
 * path (two for a rename); a DELE is "send DELE n".  It also kills a child
 * process just before a chosen change to the file tree, so that a test can
 * see what a kill at that point leaves. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "qirSyscallLog.h"

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static char* text;
static size_t length, room;
static int on;
static char lastWrite[4096];

static void Add(const char* call, const char* a, const char* b)
{
    pthread_mutex_lock(&lock);
    size_t need = strlen(call) + strlen(a) + (b ? strlen(b) + 1 : 0) + 3;
    if (length + need + 1 > room) {
        size_t bigger = (room ? room * 2 : 1 << 16) + need;
        char* grown = realloc(text, bigger);
        if (!grown) {
            pthread_mutex_unlock(&lock);
            return;
        }
        text = grown;
        room = bigger;
    }
    length += (size_t)sprintf(text + length, b ? "%s %s %s\n" : "%s %s\n", call, a, b);
    pthread_mutex_unlock(&lock);
}

static void PathOf(int fd, char* out, size_t n)
{
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t r = readlink(link, out, n - 1);
    out[r > 0 ? r : 0] = 0;
}

/* A name relative to an open directory as the path it stands for. */
static void PathAt(int dir, const char* name, char* out, size_t n)
{
    if (dir == AT_FDCWD || name[0] == '/') {
        snprintf(out, n, "%s", name);
        return;
    }
    PathOf(dir, out, n);
    size_t used = strlen(out);
    if (used + 1 < n) snprintf(out + used, n - used, "/%s", name);
}

#define REAL(name) \
    static __typeof__(name)* real_##name; \
    if (!real_##name) real_##name = (__typeof__(name)*)dlsym(RTLD_NEXT, #name)

void qirSyscallLogStart(void)
{
    pthread_mutex_lock(&lock);
    length = 0;
    if (text) text[0] = 0;
    lastWrite[0] = 0;
    on = 1;
    pthread_mutex_unlock(&lock);
}

const char* qirSyscallLogStop(void)
{
    on = 0;
    return text ? text : "";
}

static long killAt;

void qirSyscallKillAt(long n) { killAt = n; }

static void Change(void)
{
    if (killAt > 0 && --killAt == 0) kill(getpid(), SIGKILL);
}

/* A line for a call on an open file: its name and the file's path. */
static void AddFile(const char* call, int fd)
{
    char p[4096];
    PathOf(fd, p, sizeof p);
    Add(call, p, NULL);
}

int fsync(int fd)
{
    REAL(fsync);
    if (on) AddFile("fsync", fd);
    return real_fsync(fd);
}

int fdatasync(int fd)
{
    REAL(fdatasync);
    if (on) AddFile("fdatasync", fd);
    return real_fdatasync(fd);
}

int rename(const char* from, const char* to)
{
    REAL(rename);
    Change();
    int r = real_rename(from, to);
    if (on && r == 0) Add("rename", from, to);
    return r;
}

/* A rename between open directories, named by the paths it stands for. */
static void AddRenameAt(int olddir, const char* from, int newdir, const char* to)
{
    char a[4096], b[4096];
    PathAt(olddir, from, a, sizeof a);
    PathAt(newdir, to, b, sizeof b);
    Add("rename", a, b);
}

int renameat2(int olddir, const char* from, int newdir, const char* to, unsigned int flags)
{
    REAL(renameat2);
    Change();
    int r = real_renameat2(olddir, from, newdir, to, flags);
    if (on && r == 0) AddRenameAt(olddir, from, newdir, to);
    return r;
}

int renameat(int olddir, const char* from, int newdir, const char* to)
{
    REAL(renameat);
    Change();
    int r = real_renameat(olddir, from, newdir, to);
    if (on && r == 0) AddRenameAt(olddir, from, newdir, to);
    return r;
}

int unlink(const char* path)
{
    REAL(unlink);
    Change();
    return real_unlink(path);
}

int unlinkat(int dir, const char* path, int flags)
{
    REAL(unlinkat);
    Change();
    return real_unlinkat(dir, path, flags);
}

int rmdir(const char* path)
{
    REAL(rmdir);
    Change();
    return real_rmdir(path);
}

int mkdir(const char* path, mode_t mode)
{
    REAL(mkdir);
    Change();
    return real_mkdir(path, mode);
}

int link(const char* from, const char* to)
{
    REAL(link);
    Change();
    return real_link(from, to);
}

int linkat(int olddir, const char* from, int newdir, const char* to, int flags)
{
    REAL(linkat);
    Change();
    return real_linkat(olddir, from, newdir, to, flags);
}

static void Wrote(int fd)
{
    char p[4096];
    PathOf(fd, p, sizeof p);
    if (strcmp(p, lastWrite) == 0) return; /* one line for a run of writes */
    snprintf(lastWrite, sizeof lastWrite, "%s", p);
    Add("pwrite", p, NULL);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t at)
{
    REAL(pwrite);
    if (on) Wrote(fd);
    return real_pwrite(fd, buf, n, at);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off_t at)
{
    REAL(pwrite64);
    if (on) Wrote(fd);
    return real_pwrite64(fd, buf, n, at);
}

int ftruncate(int fd, off_t size)
{
    REAL(ftruncate);
    if (on) AddFile("ftruncate", fd);
    return real_ftruncate(fd, size);
}

ssize_t send(int fd, const void* buf, size_t n, int flags)
{
    REAL(send);
    if (on && n > 5 && memcmp(buf, "DELE ", 5) == 0) {
        char line[64];
        size_t k = 0;
        while (k < n && k < sizeof line - 1 && ((const char*)buf)[k] != '\r') {
            line[k] = ((const char*)buf)[k];
            ++k;
        }
        line[k] = 0;
        Add("send", line, NULL);
    }
    return real_send(fd, buf, n, flags);
}
