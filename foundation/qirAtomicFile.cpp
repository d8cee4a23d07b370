#include "qirAtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "qirStatus.h"

qirAtomicFile::qirAtomicFile(const char* path)
{
    if (path && *path) {
        path_ = path;
        valid_ = 1;
    }
}

qirAtomicFile::~qirAtomicFile() { Abort(); }

static mode_t DefaultMode()
{
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

int qirAtomicFile::Open()
{
    Abort();
    if (!valid_) return qirCannotOpen;
    std::string name = path_ + ".tmpXXXXXX";
    int fd = mkstemp(&name[0]);
    if (fd < 0) return qirCannotOpen;
    // mkstemp makes 0600; a replaced file keeps its mode, a new one gets what
    // a plain fopen would have given it.
    struct stat st;
    mode_t mode = stat(path_.c_str(), &st) == 0 ? (st.st_mode & 07777) : DefaultMode();
    fchmod(fd, mode);
    stream_ = fdopen(fd, "w");
    if (!stream_) {
        close(fd);
        unlink(name.c_str());
        return qirCannotOpen;
    }
    temp_ = name;
    return qirOK;
}

int qirAtomicFile::Commit()
{
    if (!stream_) return qirNotOpen;
    int failed = fflush(stream_) != 0 || ferror(stream_);
    if (fclose(stream_) != 0) failed = 1;
    stream_ = nullptr;
    if (!failed && rename(temp_.c_str(), path_.c_str()) != 0) failed = 1;
    if (failed) {
        unlink(temp_.c_str());
        temp_.clear();
        return qirWriteError;
    }
    temp_.clear();
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
}
