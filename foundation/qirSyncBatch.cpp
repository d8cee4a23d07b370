#include "qirSyncBatch.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <liburing.h>
#include <linux/magic.h>
#include <string>
#include <unordered_set>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "qirStatus.h"

namespace {

int enabled = 1;
int concurrent = 1;
int deferring = 0;

// In flight at once: enough for the disk to see one burst, few enough to
// stay far below the descriptor limit.
const size_t roundSize = 256;

// A tree deeper than this is no message directory (multipart parts nest a
// few levels at most).
const int maxDepth = 64;

// One ring for the process: a ring starts kernel workers of its own, and
// starting them again for every round would be wasted.
io_uring* sharedRing = nullptr;
pid_t ringOwner = 0;
int noRing = 0; // seccomp, an old kernel or a sysctl: one by one

io_uring* Ring()
{
    // A ring made before a fork is shared with the other process, whose
    // submissions would cross ours: a forked process makes its own.
    static io_uring* inherited = nullptr; // kept, never touched again
    if (sharedRing && ringOwner != getpid()) {
        inherited = sharedRing;
        sharedRing = nullptr;
    }
    if (sharedRing || noRing) return sharedRing;
    io_uring* ring = new io_uring;
    if (io_uring_queue_init(roundSize, ring, 0) == 0) {
        sharedRing = ring;
        ringOwner = getpid();
    } else {
        delete ring;
        noRing = 1;
    }
    return sharedRing;
}

void DropRing()
{
    if (sharedRing) {
        io_uring_queue_exit(sharedRing);
        delete sharedRing;
    }
    sharedRing = nullptr;
    noRing = 1;
}

// The replacements waiting for a Replacing to finish them.
struct PendingReplace {
    int fd;
    std::string temp, target;
};
int replacing = 0;
std::vector<PendingReplace> pending;
std::unordered_set<std::string> pendingTargets;
int pendingFailed = 0, pendingCause = 0;

std::string Parent(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash ? path.substr(0, slash) : "/";
}

int FinishReplacing()
{
    if (pending.empty()) return qirOK;
    std::vector<PendingReplace> work;
    work.swap(pending);
    pendingTargets.clear();
    int failed = 0, cause = 0;
    {
        qirSyncBatch texts;
        for (const PendingReplace& p : work) {
            int fd = dup(p.fd);
            if (fd < 0 || texts.Take(fd) != qirOK) failed = 1;
        }
        if (texts.Sync() != qirOK || failed) {
            failed = 1;
            cause = errno;
        }
    }
    std::vector<std::string> dirs;
    std::unordered_set<std::string> seen;
    for (const PendingReplace& p : work) {
        close(p.fd);
        // A text that may not be on the disk never replaces the old one.
        if (failed || rename(p.temp.c_str(), p.target.c_str()) != 0) {
            if (!failed) cause = errno;
            failed = 1;
            unlink(p.temp.c_str());
            continue;
        }
        std::string dir = Parent(p.target);
        if (seen.insert(dir).second) dirs.push_back(dir);
    }
    qirSyncBatch names;
    for (const std::string& d : dirs) names.Add(d.c_str());
    if (names.Sync() != qirOK && !failed) {
        failed = 1;
        cause = errno;
    }
    if (failed && !pendingFailed) pendingCause = cause;
    pendingFailed |= failed;
    return failed ? qirWriteError : qirOK;
}

int IsMemoryFileSystem(long type)
{
    return type == TMPFS_MAGIC || type == RAMFS_MAGIC;
}

} // namespace

qirSyncBatch::qirSyncBatch(const char* where)
{
    needed_ = enabled && (!where || Needed(where));
}

qirSyncBatch::~qirSyncBatch()
{
    if (ring_) {
        io_uring_queue_exit(ring_); // waits for what is in flight
        delete ring_;
    }
    for (int fd : flying_) close(fd);
    for (int fd : fds_) close(fd);
}

int qirSyncBatch::OwnRing()
{
    if (ring_) return 1;
    if (noRing || !concurrent) return 0;
    ring_ = new io_uring;
    if (io_uring_queue_init(roundSize, ring_, 0) == 0) return 1;
    delete ring_;
    ring_ = nullptr;
    return 0;
}

void qirSyncBatch::DropOwnRing()
{
    if (!ring_) return;
    io_uring_queue_exit(ring_);
    delete ring_;
    ring_ = nullptr;
}

// What was in flight on a ring that went out of step: whether it reached
// the disk is not known, so it is synced the plain way.
static void Recall(std::vector<int>* flying, std::vector<int>* fds)
{
    fds->insert(fds->begin(), flying->begin(), flying->end());
    flying->clear();
}

int qirSyncBatch::Reap(io_uring* ring, size_t most)
{
    while (flying_.size() > most) {
        io_uring_cqe* cqe = nullptr;
        int w;
        do w = io_uring_wait_cqe(ring, &cqe);
        while (w == -EINTR);
        if (w < 0) {
            Recall(&flying_, &fds_);
            return -1;
        }
        int fd = static_cast<int>(io_uring_cqe_get_data64(cqe));
        if (cqe->res < 0) {
            if (!failed_) cause_ = -cqe->res;
            failed_ = 1;
        }
        io_uring_cqe_seen(ring, cqe);
        for (size_t i = 0; i < flying_.size(); ++i)
            if (flying_[i] == fd) {
                flying_[i] = flying_.back();
                flying_.pop_back();
                close(fd);
                break;
            }
    }
    return 0;
}

int qirSyncBatch::Submit(io_uring* ring)
{
    size_t next = 0;
    int r = 0;
    while (next < fds_.size()) {
        if (flying_.size() >= roundSize && (r = Reap(ring, roundSize / 2)) != 0) break;
        size_t prepared = 0;
        while (next + prepared < fds_.size() && flying_.size() + prepared < roundSize) {
            io_uring_sqe* sqe = io_uring_get_sqe(ring);
            if (!sqe) break;
            int fd = fds_[next + prepared];
            io_uring_prep_fsync(sqe, fd, 0);
            io_uring_sqe_set_data64(sqe, static_cast<uint64_t>(fd));
            ++prepared;
        }
        int submitted;
        do submitted = prepared ? io_uring_submit(ring) : -EBUSY;
        while (submitted == -EINTR);
        // Whatever was prepared counts as in flight: out of step, it is all
        // synced again the plain way.
        flying_.insert(flying_.end(), fds_.begin() + next, fds_.begin() + next + prepared);
        next += prepared;
        if (submitted != static_cast<int>(prepared)) {
            r = -1;
            break;
        }
    }
    fds_.erase(fds_.begin(), fds_.begin() + next);
    if (r != 0) Recall(&flying_, &fds_);
    return r;
}

void qirSyncBatch::Start()
{
    if (needed_ && !fds_.empty() && OwnRing() && Submit(ring_) != 0) DropOwnRing();
}

int qirSyncBatch::Needed(const char* path)
{
    struct statfs fs;
    if (!path || statfs(path, &fs) != 0) return 1;
    return !IsMemoryFileSystem(static_cast<long>(fs.f_type));
}

qirSyncBatch::Replacing::Replacing() { ++replacing; }

qirSyncBatch::Replacing::~Replacing()
{
    Finish();
    --replacing;
}

int qirSyncBatch::Replacing::Finish()
{
    FinishReplacing();
    int failed = pendingFailed, cause = pendingCause;
    pendingFailed = pendingCause = 0;
    if (failed) errno = cause ? cause : EIO;
    return failed ? qirWriteError : qirOK;
}

int qirSyncBatch::Collecting() { return replacing && enabled && !deferring; }

int qirSyncBatch::DeferReplace(int fd, const char* temp, const char* target)
{
    if (!Collecting() || fd < 0 || !temp || !target) return 0;
    pending.push_back({fd, temp, target});
    pendingTargets.insert(target);
    if (pending.size() >= roundSize) FinishReplacing();
    return 1;
}

void qirSyncBatch::FinishPending(const char* path)
{
    if (path && pendingTargets.count(path)) FinishReplacing();
}

void qirSyncBatch::SetEnabled(int on) { enabled = on ? 1 : 0; }
int qirSyncBatch::Enabled() { return enabled; }
void qirSyncBatch::SetConcurrent(int on) { concurrent = on ? 1 : 0; }

qirSyncBatch::Deferred::Deferred() { ++deferring; }
qirSyncBatch::Deferred::~Deferred() { --deferring; }
int qirSyncBatch::Deferring() { return deferring; }

int qirSyncBatch::Queue(int fd)
{
    fds_.push_back(fd);
    return fds_.size() >= roundSize ? Round() : qirOK;
}

int qirSyncBatch::Add(const char* path)
{
    if (!needed_) return qirOK;
    int fd = path ? open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK) : -1;
    if (fd < 0) {
        if (!failed_) cause_ = errno;
        failed_ = 1;
        return qirCannotOpen;
    }
    return Queue(fd);
}

int qirSyncBatch::AddTree(const char* path)
{
    if (!needed_) return qirOK;
    int fd = path ? open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW) : -1;
    if (fd < 0) {
        if (!failed_) cause_ = errno;
        failed_ = 1;
        return qirCannotOpen;
    }
    return AddTreeAt(fd, path, 0);
}

// fd: the open directory, which becomes the batch's.
int qirSyncBatch::AddTreeAt(int fd, const char* path, int depth)
{
    int listFd = dup(fd);
    DIR* d = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (!d) {
        if (listFd >= 0) close(listFd);
        close(fd);
        if (!failed_) cause_ = errno;
        failed_ = 1;
        return qirCannotOpen;
    }
    int r = qirOK;
    while (struct dirent* e = readdir(d)) {
        if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type != DT_DIR && type != DT_REG) continue;
        int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | (type == DT_DIR ? O_DIRECTORY : 0);
        int child = openat(dirfd(d), e->d_name, flags);
        if (child < 0) {
            if (!failed_) cause_ = errno;
            failed_ = 1;
            r = qirCannotOpen;
            continue;
        }
        if (type == DT_DIR && depth < maxDepth) {
            std::string sub = std::string(path) + "/" + e->d_name;
            if (AddTreeAt(child, sub.c_str(), depth + 1) != qirOK) r = qirCannotOpen;
        } else if (Queue(child) != qirOK) {
            r = qirWriteError;
        }
    }
    closedir(d);
    // The directory last: its entries name what was queued before it.
    if (Queue(fd) != qirOK) r = qirWriteError;
    return r;
}

int qirSyncBatch::Round()
{
    if (fds_.empty() && flying_.empty()) return failed_ ? qirWriteError : qirOK;
    // A started batch goes on with its own ring; the others share one.
    io_uring* ring = ring_ ? ring_ : concurrent ? Ring() : nullptr;
    if (ring && (Submit(ring) != 0 || Reap(ring, 0) != 0)) {
        // The ring is out of step: this and every later round of it go the
        // plain way.
        if (ring == ring_) DropOwnRing();
        else DropRing();
    }
    for (int fd : fds_) {
        int r;
        do r = fsync(fd);
        while (r < 0 && errno == EINTR);
        if (r != 0 && !failed_) {
            failed_ = 1;
            cause_ = errno;
        }
        close(fd);
    }
    fds_.clear();
    return failed_ ? qirWriteError : qirOK;
}

int qirSyncBatch::Sync()
{
    int r = Round();
    int cause = cause_;
    failed_ = 0;
    cause_ = 0;
    if (r != qirOK) errno = cause ? cause : EIO;
    return r;
}

int qirSyncParent(const char* path)
{
    if (!path || !*path) return -1;
    std::string dir = path;
    size_t slash = dir.find_last_of('/');
    if (slash == std::string::npos) dir = ".";
    else dir.erase(slash ? slash : 1);
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    int r;
    do r = fsync(fd);
    while (r < 0 && errno == EINTR);
    int cause = errno;
    close(fd);
    errno = cause;
    return r == 0 ? 0 : -1;
}
