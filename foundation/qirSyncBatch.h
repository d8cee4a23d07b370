// Bringing many new files and directories to stable storage at once.  A
// fetch stores hundreds of message directories; syncing each file in turn
// pays one round trip to the disk per file, so the batch puts every fsync
// of a round in flight together (io_uring) and waits for them once.  Where
// io_uring is not to be had, they run one after another.
//
//     qirSyncBatch batch(folderDirectory);
//     batch.AddTree(stagedMessage);  ... for each message of the round
//     batch.Start();                 // optional: the disk starts now
//     if (batch.Sync() != 0) ...     // nothing may be published then
//
// Only what is added is synced, never the whole file system.
#ifndef QIR_SYNC_BATCH_H
#define QIR_SYNC_BATCH_H

#include <unistd.h>
#include <vector>

struct io_uring;

class qirSyncBatch {
public:
    // where: a directory on the file system the batch will sync; on one
    // whose contents never reach a disk (tmpfs, ramfs) nothing is done.
    explicit qirSyncBatch(const char* where = nullptr);
    // Closes what was added and not synced (it is not synced); waits for
    // the syncs in flight.
    ~qirSyncBatch();

    // Adds one file or directory: 0, or -7 when it cannot be opened (the
    // next Sync then fails too).
    int Add(const char* path);
    // Adds a directory, every directory below it and every file in them.
    int AddTree(const char* path);
    // Takes an open descriptor to sync; the batch closes it.
    int Take(int fd) { return needed_ ? Queue(fd) : (close(fd), 0); }
    // Syncs everything added since the last Sync: 0, or -12 when one sync
    // failed or something could not be added (errno tells the first cause).
    int Sync();
    // Puts the syncs of what was added so far in flight and returns without
    // waiting for them, so that the disk works while the caller makes the
    // next files; the next Sync waits for them and reports them.  Without
    // io_uring it does nothing and Sync does all.
    void Start();
    // 0 where files never reach a disk (tmpfs, ramfs), else 1.
    static int Needed(const char* path);

    // What a benchmark turns off to measure what the syncs cost; on by
    // default.  Affects every batch and qirAtomicFile.
    static void SetEnabled(int on);
    static int Enabled();
    // 0 makes every batch sync one file after another with fsync, as on a
    // system without io_uring (tests that watch the calls use it).
    static void SetConcurrent(int on);

    // While one of these lives, qirAtomicFile does not sync what it writes:
    // the caller writes into a directory nobody reads yet and syncs the
    // whole tree with a batch before it publishes it.
    class Deferred {
    public:
        Deferred();
        ~Deferred();
    };
    static int Deferring();

    // While one of these lives, a file that qirAtomicFile replaces is not
    // renamed over the old one at once: the new texts of all of them are
    // synced together, then each is renamed, then their directories are
    // synced together, at Finish (or once 256 wait).  For saving many small
    // files at once (a folder's changed flags); the old file stays until
    // its new text is on the disk, as without it.
    class Replacing {
    public:
        Replacing();
        // Finishes what waits.
        ~Replacing();
        // 0, or -12 when a sync or a rename failed (errno tells the first
        // cause); a file whose new text did not reach the disk keeps its
        // old one.
        int Finish();
    };
    // For qirAtomicFile: 1 while a Replacing lives (and syncs are on);
    // DeferReplace then takes the new text's descriptor (closed by the
    // batch) and names, and answers 1: the rename waits.
    static int Collecting();
    static int DeferReplace(int fd, const char* temp, const char* target);
    // Finishes what waits when path is among it, so that it is read whole.
    static void FinishPending(const char* path);

private:
    qirSyncBatch(const qirSyncBatch&) = delete;
    qirSyncBatch& operator=(const qirSyncBatch&) = delete;
    int Queue(int fd);
    int Round(); // syncs and closes the queued descriptors
    int AddTreeAt(int dirFd, const char* path, int depth);
    int OwnRing();
    void DropOwnRing();
    // Puts what was added in flight on ring; waits until at most most are
    // in flight.  0, or -1 when the ring is out of step (what was in flight
    // is then to be synced the plain way).
    int Submit(io_uring* ring);
    int Reap(io_uring* ring, size_t most);


    int needed_ = 1;
    int failed_ = 0;
    int cause_ = 0;
    std::vector<int> fds_;
    // Started syncs: a ring of the batch's own, so that no other batch's
    // wait takes their completions, and the descriptors in flight on it.
    io_uring* ring_ = nullptr;
    std::vector<int> flying_;
};

// Syncs the directory that holds path (its entry for path): 0 or -1.
int qirSyncParent(const char* path);

#endif
