// A lock file holding its owner's process id ("%d\n", mode 0600). An existing
// lock file is taken over when it is unreadable, older than the last boot, or
// its owner is no longer alive; one held by a live process is not.
//
// While locked the object keeps the file open under an exclusive flock, so a
// take-over is decided under that flock: of several processes taking over
// one stale file at once, exactly one wins.
//
// Lock files shared with other programs (the mail spool's dot-lock) may be
// empty or hold no usable id while their owner works: with an untested age
// set, such a file is respected until it is that old, as those programs do.
#ifndef QIR_LOCK_H
#define QIR_LOCK_H

#include "qirObject.h"
#include "qirPath.h"

// The last boot (seconds since the epoch), -1 until the first qirLock reads it.
extern long qirBootTime;

class qirLock : public qirObject {
public:
    explicit qirLock(qirPath path);
    // Unlocks when locked.
    ~qirLock() override;

    qirPath Path() const { return path_; }

    // 0 when taken; qirAlreadyOpen when this object holds it already;
    // qirLockHeld when another live process holds it; qirCannotOpen
    // when the file can be neither created nor read, qirUnlinkFailed when
    // a take-over cannot remove the old file, qirWriteError when the
    // process id cannot be written.
    int Lock();
    // qirLockNotHeld when not held; qirUnlinkFailed when the file
    // cannot be removed (still locked); else 0.
    int Unlock();
    int IsLocked() const { return locked_; }
    // seconds >= 0: a lock file whose owner cannot be tested (no process id
    // in it) is taken over only once it has not changed for that long; until
    // then it counts as held.  -1 (the default) takes it over at once.
    void SetUntestedAge(long seconds) { untestedAge_ = seconds; }

    // The last boot time from a login-records file (the last boot record),
    // else from the "btime" line of a kernel statistics file; 0 when neither
    // tells.
    static long ReadBootTime(const char* wtmpPath, const char* procStatPath);

private:
    qirLock(const qirLock&) = delete;
    qirLock& operator=(const qirLock&) = delete;
    int Claim(int fd);
    int IsCurrentFile(int fd) const;

    qirPath path_;
    int locked_ = 0;
    int fd_ = -1;       // the open lock file, flocked, while locked
    int ownerPid_ = 0;  // the process that took it: a forked copy never unlinks
    long untestedAge_ = -1;
};

#endif
