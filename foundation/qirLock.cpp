#include "qirLock.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utmp.h>

#include "qirError.h"
#include "qirProcessId.h"
#include "qirStatus.h"

long qirBootTime = -1;

namespace {

void Note(int level, const char* text)
{
    if (qirLog)
        qirLog->Report(level, "%s", text);
}

// Bounds the take-over loop when other processes keep replacing the file.
const int maxAttempts = 16;

} // namespace

long qirLock::ReadBootTime(const char* wtmpPath, const char* procStatPath)
{
    long boot = 0;
    if (FILE* f = wtmpPath ? fopen(wtmpPath, "rbe") : nullptr) {
        struct utmp record;
        while (fread(&record, sizeof record, 1, f) == 1)
            if (record.ut_type == BOOT_TIME)
                boot = record.ut_tv.tv_sec;
        fclose(f);
    }
    // Containers and systems without login records still know their boot.
    if (boot == 0 && procStatPath) {
        if (FILE* f = fopen(procStatPath, "re")) {
            char* line = nullptr;
            size_t size = 0;
            long value;
            while (getline(&line, &size, f) > 0)
                if (sscanf(line, "btime %ld", &value) == 1) {
                    boot = value;
                    break;
                }
            free(line);
            fclose(f);
        }
    }
    return boot;
}

qirLock::qirLock(qirPath path) : qirObject(58), path_(path)
{
    if (qirBootTime == -1)
        qirBootTime = ReadBootTime("/var/log/wtmp", "/proc/stat");
}

qirLock::~qirLock()
{
    if (locked_)
        Unlock();
}

// 1 while the descriptor's file is the one the path names now.
int qirLock::IsCurrentFile(int fd) const
{
    struct stat open, named;
    return fstat(fd, &open) == 0 && lstat(path_.Text(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

// Makes a freshly created lock file ours: 0, 1 when a contender got it first
// (look again), or a failure code.
int qirLock::Claim(int fd)
{
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        close(fd);
        return 1;
    }
    if (!IsCurrentFile(fd)) {
        close(fd);
        return 1;
    }
    fchmod(fd, 0600); // whatever the umask
    if (qirProcessId(getpid()).WriteTo(fd) != 0) {
        unlink(path_.Text());
        close(fd);
        return qirWriteError;
    }
    fd_ = fd;
    locked_ = 1;
    ownerPid_ = getpid();
    return 0;
}

int qirLock::Lock()
{
    if (locked_)
        return qirAlreadyOpen;
    const char* path = path_.Text();
    if (!path || !*path)
        return qirCannotOpen;
    for (int attempt = 0; attempt < maxAttempts; ++attempt) {
        int fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            int rc = Claim(fd);
            if (rc == 0)
                Note(5, "qirLock: Ok");
            if (rc <= 0)
                return rc;
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EEXIST)
            return qirCannotOpen;

        fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) {
            if (errno == ENOENT || errno == EINTR)
                continue; // removed meanwhile: try to create it again
            return qirCannotOpen;
        }
        // A live owner holds the flock; while we hold it nobody else can
        // decide about this file. (Where flock is unsupported the decision
        // rests on the process id alone.)
        if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            close(fd);
            Note(4, "qirLock: File already locked by other process!");
            return qirLockHeld;
        }
        if (!IsCurrentFile(fd)) {
            close(fd); // replaced or removed by whoever had it before us
            continue;
        }
        qirProcessId owner(0);
        struct stat st;
        int statted = fstat(fd, &st) == 0;
        int ancient = statted && st.st_ctime <= qirBootTime;
        if (owner.ReadFrom(fd) != 0 || (untestedAge_ >= 0 && owner.Pid() <= 0)) {
            if (untestedAge_ >= 0 && !ancient && (!statted || time(nullptr) - st.st_mtime <= untestedAge_)) {
                close(fd);
                Note(4, "qirLock: File already locked by other process!");
                return qirLockHeld;
            }
            Note(2, "qirLock: Corrupted Lock file - Ignoring");
        } else if (ancient) {
            Note(2, "qirLock: Ancient lock - ignoring.");
        } else if (owner.Pid() != getpid() && owner.IsAlive()) {
            // Our own id here is a left-over of an earlier process: a lock of
            // this process would have kept the flock.
            close(fd);
            Note(4, "qirLock: File already locked by other process!");
            return qirLockHeld;
        } else {
            Note(2, "qirLock: Stale lock - ignoring.");
        }
        if (unlink(path) != 0 && errno != ENOENT) {
            close(fd);
            return qirUnlinkFailed;
        }
        close(fd);
    }
    return qirLockHeld; // others keep taking it over: treat as held
}

int qirLock::Unlock()
{
    if (!locked_)
        return qirLockNotHeld;
    // Only the process that took the lock removes the file, and only while it
    // is still the file it took; a forked child just drops its descriptor.
    if (ownerPid_ == getpid() && IsCurrentFile(fd_) && unlink(path_.Text()) != 0 && errno != ENOENT)
        return qirUnlinkFailed;
    close(fd_);
    fd_ = -1;
    locked_ = 0;
    return 0;
}
