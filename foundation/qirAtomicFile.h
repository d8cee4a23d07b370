// Replacing a file without ever leaving it half written: the new contents go
// to a temporary file in the same directory, and only when every write and
// the close succeeded is it renamed over the old file.
//
// In a directory that is itself new and not yet read by anyone (a message
// directory being made), the rename buys nothing: "direct" writes the file in
// place, created exclusively, and removes it again when a write fails.  What
// marks such a directory as complete must still be written the normal way,
// last.
#ifndef QIR_ATOMIC_FILE_H
#define QIR_ATOMIC_FILE_H

#include <cstdio>
#include <string>

class qirAtomicFile {
public:
    // Nothing happens until Open; the path is copied.
    // direct: write in place (see above) when the file does not exist yet.
    explicit qirAtomicFile(const char* path, int direct = 0);
    // An uncommitted temporary file is removed; the old file stays.
    ~qirAtomicFile();

    // Creates "<path>.tmpXXXXXX" next to the target (mode of the old file
    // when there is one, else 0666 less the umask): 0, or -7 when it cannot
    // be created (missing or unwritable directory, null path).
    int Open();
    // The stream to write the new contents to; null when not open.
    FILE* Stream() const { return stream_; }
    // Flushes, syncs and closes the stream, then renames the temporary file
    // over the target and syncs the directory: 0; -12 when a write, the
    // flush, the sync, the close or the rename failed (the temporary file is
    // then removed and the old file is left intact), or when the directory
    // could not be synced (the new file is then in place); -6 when not open.
    // Under a qirSyncBatch::Deferred nothing is synced here.
    int Commit();
    // Closes and removes the temporary file; the target is not touched.
    void Abort();

    // The file being written: the temporary one, or the target in place.
    const char* TempPath() const { return temp_.c_str(); }

private:
    qirAtomicFile(const qirAtomicFile&) = delete;
    qirAtomicFile& operator=(const qirAtomicFile&) = delete;
    std::string path_;
    std::string temp_;
    FILE* stream_ = nullptr;
    int valid_ = 0;   // a path was given
    int direct_ = 0;  // may write in place
    int inPlace_ = 0; // writing the target itself
    char buffer_[8192];
};

#endif
