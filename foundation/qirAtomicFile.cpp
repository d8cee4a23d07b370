#include "qirAtomicFile.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "qirStatus.h"
#include "qirSyncBatch.h"

qirAtomicFile::qirAtomicFile(const char* path, int direct) : direct_(direct ? 1 : 0)
{
    if (path && *path) {
        path_ = path;
        valid_ = 1;
    }
}

qirAtomicFile::~qirAtomicFile() { Abort(); }

// Letters for temporary names; uniqueness comes from O_EXCL, the letters only
// make collisions rare.
static void TempLetters(char* out)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static uint64_t state = 0;
    if (!state) {
        struct timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        state = ((uint64_t)getpid() << 32) ^ (uint64_t)ts.tv_nsec ^ ((uint64_t)ts.tv_sec << 20) ^ (uintptr_t)&ts;
        if (!state) state = 1;
    }
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    uint64_t v = state;
    for (int i = 0; i < 6; ++i, v /= 62) out[i] = letters[v % 62];
}

int qirAtomicFile::Open()
{
    Abort();
    if (!valid_) return qirCannotOpen;
    qirSyncBatch::FinishPending(path_.c_str());
    int fd = -1;
    inPlace_ = 0;
    if (direct_) {
        // The caller vouches that nobody reads the directory yet; a file
        // that is there after all is replaced the safe way.  fopen's own
        // exclusive create spares the descriptor's flags being asked again.
        stream_ = fopen(path_.c_str(), "wxe");
        if (stream_) {
            inPlace_ = 1;
            setvbuf(stream_, buffer_, _IOFBF, sizeof buffer_);
            temp_ = path_;
            return qirOK;
        }
        if (errno != EEXIST) return qirCannotOpen;
    }
    std::string name;
    if (fd < 0) {
        // A replaced file keeps its mode; a new one gets what a plain fopen
        // would have given it (0666 less the umask, applied by open).
        struct stat st;
        int replacing = stat(path_.c_str(), &st) == 0;
        name = path_ + ".tmpXXXXXX";
        for (int tries = 0; fd < 0 && tries < 100; ++tries) {
            TempLetters(&name[name.size() - 6]);
            fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, replacing ? 0600 : 0666);
            if (fd < 0 && errno != EEXIST) return qirCannotOpen;
        }
        if (fd < 0) return qirCannotOpen;
        if (replacing) fchmod(fd, st.st_mode & 07777);
    }
    stream_ = fdopen(fd, "w");
    if (!stream_) {
        close(fd);
        unlink(inPlace_ ? path_.c_str() : name.c_str());
        inPlace_ = 0;
        return qirCannotOpen;
    }
    // A buffer of our own spares the stream the stat it makes to size one.
    setvbuf(stream_, buffer_, _IOFBF, sizeof buffer_);
    temp_ = inPlace_ ? path_ : name;
    return qirOK;
}

int qirAtomicFile::Commit()
{
    if (!stream_) return qirNotOpen;
    // The new contents reach the disk before their name does, and the name
    // before the caller goes on: a power cut leaves the old file or the new
    // one, never an empty one.  A caller writing into a directory nobody
    // reads yet syncs the whole tree itself (qirSyncBatch::Deferred).
    const int sync = qirSyncBatch::Enabled() && !qirSyncBatch::Deferring();
    int failed = fflush(stream_) != 0 || ferror(stream_);
    // Many files replaced at once (qirSyncBatch::Replacing) are synced and
    // renamed together later.
    if (!failed && sync && !inPlace_ && qirSyncBatch::Collecting()) {
        int fd = dup(fileno(stream_));
        failed = fclose(stream_) != 0 || fd < 0;
        stream_ = nullptr;
        if (!failed && qirSyncBatch::DeferReplace(fd, temp_.c_str(), path_.c_str())) {
            temp_.clear();
            return qirOK;
        }
        if (fd >= 0) close(fd);
        unlink(temp_.c_str());
        temp_.clear();
        return qirWriteError;
    }
    if (!failed && sync && fsync(fileno(stream_)) != 0) failed = 1;
    if (fclose(stream_) != 0) failed = 1;
    stream_ = nullptr;
    if (!failed && !inPlace_ && rename(temp_.c_str(), path_.c_str()) != 0) failed = 1;
    if (!failed && sync && qirSyncParent(path_.c_str()) != 0) {
        // The new file is in place; only its durability is in doubt.
        temp_.clear();
        inPlace_ = 0;
        return qirWriteError;
    }
    if (failed) {
        // A file written in place is removed too: a half-written file must
        // not pass for a whole one.  The caller may still tell why it failed.
        int cause = errno;
        unlink(temp_.c_str());
        errno = cause;
        temp_.clear();
        inPlace_ = 0;
        return qirWriteError;
    }
    temp_.clear();
    inPlace_ = 0;
    return qirOK;
}

void qirAtomicFile::Abort()
{
    if (stream_) {
        fclose(stream_);
        stream_ = nullptr;
    }
    if (!temp_.empty()) {
        unlink(temp_.c_str());
        temp_.clear();
    }
    inPlace_ = 0;
}
