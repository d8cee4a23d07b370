#include "qirMailBox.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "qirStatus.h"
#include "qirUtilities.h"

namespace {

const size_t kBufferSize = 1 << 16;
// A dot-lock older than this belongs to a delivery that died (the age that
// Debian's lockfile library uses).
const time_t kStaleDotLock = 300;
// Exclusive locks are tried this often, kRetryMicros apart, before Commit
// gives up: deliveries hold them only for the time of one append.
const int kLockTries = 20;
const useconds_t kRetryMicros = 50000;

int FcntlLock(int fd, short type)
{
    struct flock fl;
    memset(&fl, 0, sizeof fl);
    fl.l_type = type;
    fl.l_whence = SEEK_SET; // start 0, length 0: the whole file, as it grows
    int r;
    do r = fcntl(fd, F_SETLK, &fl);
    while (r < 0 && errno == EINTR);
    return r;
}

// A refusal by another holder, as opposed to a file system without locks.
int Refused(int err)
{
    return err == EAGAIN || err == EACCES || err == EWOULDBLOCK;
}

ssize_t PreadFull(int fd, char* buf, size_t n, off_t at)
{
    size_t done = 0;
    while (done < n) {
        ssize_t r = pread(fd, buf + done, n - done, at + static_cast<off_t>(done));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        done += static_cast<size_t>(r);
    }
    return static_cast<ssize_t>(done);
}

int PwriteFull(int fd, const char* buf, size_t n, off_t at)
{
    size_t done = 0;
    while (done < n) {
        ssize_t r = pwrite(fd, buf + done, n - done, at + static_cast<off_t>(done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return -1;
        done += static_cast<size_t>(r);
    }
    return 0;
}

// Copies length bytes at from in one file to at in another: 0, or -1 when
// a read comes up short or a write fails.
int CopyRange(int in, off_t from, off_t length, int out, off_t at, char* buf)
{
    while (length > 0) {
        size_t n = length < static_cast<off_t>(kBufferSize) ? static_cast<size_t>(length) : kBufferSize;
        if (PreadFull(in, buf, n, from) != static_cast<ssize_t>(n)) return -1;
        if (PwriteFull(out, buf, n, at) != 0) return -1;
        from += n;
        at += n;
        length -= n;
    }
    return 0;
}

// The copy of a message ends with the empty line that separated it from
// the next one (and usually the last one too): that line is the spool's,
// not the message's.
int CutSeparator(FILE* f)
{
    if (fflush(f) != 0) return -1;
    int fd = fileno(f);
    struct stat st;
    if (fstat(fd, &st) != 0) return -1;
    off_t size = st.st_size;
    char tail[4];
    size_t n = size < 4 ? static_cast<size_t>(size) : 4;
    if (PreadFull(fd, tail, n, size - n) != static_cast<ssize_t>(n)) return -1;
    off_t cut = 0;
    if (n == 4 && memcmp(tail, "\r\n\r\n", 4) == 0) cut = 2;
    else if (n >= 2 && memcmp(tail + n - 2, "\n\n", 2) == 0) cut = 1;
    if (cut && ftruncate(fd, size - cut) != 0) return -1;
    rewind(f);
    return 0;
}

// FNV-1a: a stable name for a message that has no Message-Id.
std::string Digest(const std::string& text)
{
    unsigned long long h = 14695981039346656037ULL;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    char out[40];
    snprintf(out, sizeof out, "header-digest-%016llx", h);
    return out;
}

int IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

qirMailBox::qirMailBox(const qirPath& path, int scan) : path_(path)
{
    status_ = 0;
    buf_ = new char[kBufferSize];
    const char* p = path_.Text() ? path_.Text() : "";
    struct stat st;
    if (stat(p, &st) != 0) {
        if (errno != ENOENT) { status_ = qirCannotOpen; return; }
        qirPath dir(path_.Dirname());
        if (dir.IsEmpty() && strchr(p, '/') == nullptr) dir = ".";
        if (dir.IsEmpty()) dir = "/";
        if (dir.IsDirectory() != 0) status_ = qirNotOpen;
        return; // an empty mailbox
    }
    if (S_ISDIR(st.st_mode)) { status_ = qirBadValue; return; }
    // Read-write so that Commit can rewrite in place and take the fcntl
    // write lock; a read-only spool can still be read.
    fd_ = open(p, O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    writable_ = fd_ >= 0;
    if (fd_ < 0) fd_ = open(p, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) { status_ = qirCannotOpen; return; }
    if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd_);
        fd_ = -1;
        status_ = qirCannotOpen;
        return;
    }
    if (qirFlock(fd_, LOCK_SH | LOCK_NB) != 0 && Refused(errno)) {
        close(fd_);
        fd_ = -1;
        status_ = qirAlreadyOpen;
        return;
    }
    if (FcntlLock(fd_, F_RDLCK) != 0 && Refused(errno)) {
        qirFlock(fd_, LOCK_UN);
        close(fd_);
        fd_ = -1;
        status_ = qirAlreadyOpen;
        return;
    }
    spoolSize_ = st.st_size;
    limit_ = spoolSize_;
    if (scan) Scan();
}

qirMailBox::~qirMailBox()
{
    if (fd_ >= 0) {
        Commit();
        FcntlLock(fd_, F_UNLCK);
        qirFlock(fd_, LOCK_UN);
        close(fd_);
    }
    ClearRecords();
    delete[] buf_;
}

// ---- the line reader ----

int qirMailBox::Fill()
{
    if (pos_ > 0) {
        memmove(buf_, buf_ + pos_, len_ - pos_);
        bufOffset_ += static_cast<long>(pos_);
        len_ -= pos_;
        pos_ = 0;
    }
    long at = bufOffset_ + static_cast<long>(len_);
    size_t room = kBufferSize - len_;
    if (limit_ - at < static_cast<long>(room)) room = static_cast<size_t>(limit_ - at);
    if (room == 0) {
        if (at >= limit_) eof_ = 1;
        return 0;
    }
    ssize_t n;
    do n = pread(fd_, buf_ + len_, room, at);
    while (n < 0 && errno == EINTR);
    if (n <= 0) {
        eof_ = 1;
        if (n < 0) status_ = qirUnreadable;
        return 0;
    }
    len_ += static_cast<size_t>(n);
    bytesRead_ += n;
    return static_cast<int>(n);
}

int qirMailBox::AtEnd()
{
    while (pos_ == len_ && !eof_) Fill();
    return pos_ == len_;
}

int qirMailBox::AtMessageStart()
{
    if (!prevEmpty_) return 0;
    while (len_ - pos_ < 5 && !eof_) Fill();
    // Case matters: delivery agents escape only "From " in bodies.
    return len_ - pos_ >= 5 && memcmp(buf_ + pos_, "From ", 5) == 0;
}

long qirMailBox::ConsumeLine(std::string* keep, FILE* out)
{
    long total = 0;
    char first[2] = {0, 0};
    for (;;) {
        if (pos_ == len_) {
            if (eof_) break;
            Fill();
            if (pos_ == len_) break;
        }
        const char* p = buf_ + pos_;
        size_t avail = len_ - pos_;
        const char* nl = static_cast<const char*>(memchr(p, '\n', avail));
        size_t n = nl ? static_cast<size_t>(nl - p) + 1 : avail;
        for (size_t i = 0; i < n && total + static_cast<long>(i) < 2; ++i) first[total + i] = p[i];
        if (keep) keep->append(p, n);
        if (out) fwrite(p, 1, n, out);
        if (digesting_) text_.Add(p, n);
        total += static_cast<long>(n);
        pos_ += n;
        if (nl) break;
    }
    prevEmpty_ = (total == 1 && first[0] == '\n') || (total == 2 && first[0] == '\r' && first[1] == '\n');
    return total;
}

void qirMailBox::SkipToMessageStart(FILE* out)
{
    while (!AtEnd() && !AtMessageStart()) ConsumeLine(nullptr, out);
}

void qirMailBox::TextDigest::Add(const char* p, size_t n)
{
    if (n == 0) return;
    if (held + n <= 2) {
        memcpy(hold + held, p, n);
        held += static_cast<int>(n);
        return;
    }
    if (n >= 2) {
        if (held) digest.Add(hold, static_cast<size_t>(held));
        digest.Add(p, n - 2);
        last = static_cast<unsigned char>(n > 2 ? p[n - 3] : hold[held - 1]); // held > 0 when n is 2
        memcpy(hold, p + n - 2, 2);
    } else { // one byte after two held
        digest.Add(hold, 1);
        last = static_cast<unsigned char>(hold[0]);
        hold[0] = hold[1];
        hold[1] = p[0];
    }
    held = 2;
}

void qirMailBox::TextDigest::Finish(qirMsgInfo* m)
{
    // An empty last line ("\n" or "\r\n" after a line end) separates the
    // message from the next one: when mail is appended after the last
    // message, its proof stays the same.
    int drop = 0;
    int before = held == 2 ? hold[0] : last; // the byte before the last one
    if (held == 2 && hold[0] == '\r' && hold[1] == '\n' && last == '\n') drop = 2;
    else if (held >= 1 && hold[held - 1] == '\n' && before == '\n') drop = 1;
    if (held - drop > 0) digest.Add(hold, static_cast<size_t>(held - drop));
    m->textLength_ = static_cast<long long>(digest.Length());
    m->digest_ = digest.Value();
    *this = TextDigest();
}

void qirMailBox::FinishCurrent()
{
    if (!current_) return;
    if (digesting_) text_.Finish(current_);
    digesting_ = 0;
    current_->size_ = Tell() - current_->offset_;
    current_ = nullptr;
    header_.clear();
}

void qirMailBox::ParseHeader(qirMsgInfo* m)
{
    // Only the header is searched: a Message-Id quoted in a body, or the
    // next message's, is not this message's.  Folded lines are unfolded.
    const std::string& h = header_;
    size_t at = static_cast<size_t>(m->fromLength_);
    size_t end = static_cast<size_t>(m->headerLength_);
    while (at < end) {
        size_t eol = h.find('\n', at);
        if (eol == std::string::npos || eol > end) eol = end;
        size_t name = at;
        at = eol + 1;
        if (eol - name < 10 || strncasecmp(h.c_str() + name, "Message-Id", 10) != 0) continue;
        size_t colon = name + 10;
        while (colon < eol && IsBlank(h[colon])) ++colon;
        if (colon >= eol || h[colon] != ':') continue;
        std::string value(h, colon + 1, eol - colon - 1);
        while (at < end && IsBlank(h[at])) {
            size_t next = h.find('\n', at);
            if (next == std::string::npos || next > end) next = end;
            value.append(h, at, next - at);
            at = next + 1;
        }
        size_t lt = value.find('<');
        size_t gt = lt == std::string::npos ? lt : value.find('>', lt + 1);
        if (gt != std::string::npos) {
            std::string id;
            for (size_t i = lt + 1; i < gt; ++i)
                if (value[i] != '\r' && value[i] != '\n') id += value[i];
            m->id_ = id.c_str();
        }
        break;
    }
    if (!m->id_.IsEmpty()) m->historyId_ = m->id_;
    else m->historyId_ = Digest(header_.substr(0, end)).c_str();
}

// ---- the walk ----

void qirMailBox::Rewind()
{
    ClearRecords();
    current_ = nullptr;
    digesting_ = 0;
    header_.clear();
    pos_ = len_ = 0;
    bufOffset_ = 0;
    eof_ = 0;
    prevEmpty_ = 1;
}

qirMsgInfo* qirMailBox::NextMessage()
{
    if (fd_ < 0) {
        status_ = spoolSize_ == -1 ? 0 : qirNotOpen;
        return nullptr;
    }
    if (status_ != qirUnreadable) status_ = 0;
    // Whatever is left of the current message, or text before the first.
    SkipToMessageStart(nullptr);
    FinishCurrent();
    if (status_ == qirUnreadable || AtEnd()) return nullptr;
    qirMsgInfo* m = new qirMsgInfo;
    m->offset_ = Tell();
    m->size_ = -1;
    m->fromLength_ = ConsumeLine(&header_, nullptr);
    text_ = TextDigest();
    digesting_ = 1;
    long length = m->fromLength_;
    while (!AtEnd()) {
        long n = ConsumeLine(&header_, nullptr);
        if (prevEmpty_) break;
        length += n;
    }
    m->headerLength_ = length;
    ParseHeader(m);
    AddRecord(m);
    current_ = m;
    return m;
}

FILE* qirMailBox::FetchCurrent()
{
    if (!current_) {
        status_ = qirNotFound;
        return nullptr;
    }
    FILE* f = tmpfile();
    if (!f) {
        status_ = qirNoTempFile;
        return nullptr;
    }
    fwrite(header_.data() + current_->fromLength_, 1, header_.size() - current_->fromLength_, f);
    SkipToMessageStart(f);
    FinishCurrent();
    if (ferror(f) || CutSeparator(f) != 0) {
        fclose(f);
        status_ = qirWriteError;
        return nullptr;
    }
    return f;
}

int qirMailBox::Scan()
{
    if (fd_ < 0) return status_ = spoolSize_ == -1 ? 0 : qirNotOpen;
    status_ = 0;
    Rewind();
    while (NextMessage()) {}
    return status_;
}

// ---- random access ----

long qirMailBox::TotalSize()
{
    if (fd_ < 0) return spoolSize_ == -1 ? 0 : -1;
    return spoolSize_;
}

FILE* qirMailBox::Fetch(int number)
{
    qirMsgInfo* m = Find(number);
    if (m && m == current_) return FetchCurrent();
    if (!m || fd_ < 0 || m->size_ < 0) {
        status_ = qirNotFound;
        return nullptr;
    }
    FILE* f = tmpfile();
    if (!f) {
        status_ = qirNoTempFile;
        return nullptr;
    }
    std::vector<char> buf(kBufferSize);
    if (CopyRange(fd_, m->offset_ + m->fromLength_, m->size_ - m->fromLength_, fileno(f), 0, buf.data()) != 0) {
        fclose(f);
        status_ = qirWriteError;
        return nullptr;
    }
    if (CutSeparator(f) != 0) {
        fclose(f);
        status_ = qirWriteError;
        return nullptr;
    }
    return f;
}

int qirMailBox::ReadText(int number, Sink sink, void* context)
{
    qirMsgInfo* m = Find(number);
    if (!m || fd_ < 0 || m->textLength_ < 0) return status_ = qirNotFound;
    if (textBuf_.empty()) textBuf_.resize(kBufferSize);
    char* b = textBuf_.data();
    off_t at = m->offset_ + m->fromLength_;
    long long left = m->textLength_;
    while (left > 0) {
        size_t n = left < static_cast<long long>(kBufferSize) ? static_cast<size_t>(left) : kBufferSize;
        if (PreadFull(fd_, b, n, at) != static_cast<ssize_t>(n)) return status_ = qirUnreadable;
        if (!sink(context, b, static_cast<int>(n))) return status_ = qirWriteError;
        at += static_cast<off_t>(n);
        left -= static_cast<long long>(n);
    }
    return qirOK;
}

qirString qirMailBox::HeaderText(int number)
{
    qirMsgInfo* m = Find(number);
    if (!m || fd_ < 0) {
        status_ = qirNotFound;
        return qirString("");
    }
    std::string text(static_cast<size_t>(m->headerLength_), '\0');
    if (PreadFull(fd_, &text[0], text.size(), m->offset_) != static_cast<ssize_t>(text.size())) {
        status_ = qirNotFound;
        return qirString("");
    }
    return qirString(text.c_str(), static_cast<int>(text.size()));
}

// ---- the rewrite ----

int qirMailBox::LockExclusive()
{
    // Debian's delivery agents take the dot-lock and fcntl; others flock.
    // The dot-lock is taken first, as they do; a spool directory the user
    // may not write (mode 1777 or group mail) leaves it to the other two.
    std::string dot = std::string(path_.Text()) + ".lock";
    dotLocked_ = 0;
    int tries = 0;
    for (;;) {
        int fd = open(dot.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            dprintf(fd, "%d\n", static_cast<int>(getpid()));
            close(fd);
            dotLocked_ = 1;
            break;
        }
        if (errno != EEXIST) break;
        if (++tries >= kLockTries) return qirAlreadyOpen;
        struct stat st;
        if (lstat(dot.c_str(), &st) == 0 && time(nullptr) - st.st_mtime > kStaleDotLock) {
            unlink(dot.c_str());
            continue;
        }
        usleep(kRetryMicros);
    }
    int failed = 1;
    for (tries = 0; tries < kLockTries; ++tries) {
        if (qirFlock(fd_, LOCK_EX | LOCK_NB) == 0 || !Refused(errno)) { failed = 0; break; }
        usleep(kRetryMicros);
    }
    if (!failed) {
        failed = 1;
        for (tries = 0; tries < kLockTries; ++tries) {
            if (FcntlLock(fd_, F_WRLCK) == 0 || !Refused(errno)) { failed = 0; break; }
            usleep(kRetryMicros);
        }
    }
    if (failed) {
        UnlockExclusive();
        return qirAlreadyOpen;
    }
    return 0;
}

void qirMailBox::UnlockExclusive()
{
    // Back to the shared locks held while the spool is open.  Converting a
    // flock is not atomic, which is harmless: the spool is read afresh.
    FcntlLock(fd_, F_RDLCK);
    qirFlock(fd_, LOCK_SH | LOCK_NB);
    if (dotLocked_) unlink((std::string(path_.Text()) + ".lock").c_str());
    dotLocked_ = 0;
}

int qirMailBox::Commit()
{
    tempPath_.clear();
    if (fd_ < 0) return status_ = spoolSize_ == -1 ? 0 : qirNotOpen;
    if (current_) {
        SkipToMessageStart(nullptr);
        FinishCurrent();
    }
    qirMsgInfo* first = First();
    while (first && !first->deleted_) first = Next(first);
    if (!first) return status_ = 0; // nothing to remove: the spool is not touched
    if (!writable_) return status_ = qirCannotOpen;
    int r = LockExclusive();
    if (r != 0) return status_ = r;
    r = Rewrite(first);
    UnlockExclusive();
    if (r == 0) {
        struct stat st;
        spoolSize_ = fstat(fd_, &st) == 0 ? st.st_size : 0;
        limit_ = spoolSize_;
        Rewind();
    }
    return status_ = r;
}

int qirMailBox::Rewrite(qirMsgInfo* first)
{
    // Under the exclusive locks: the spool must still be the file that was
    // read, no shorter, with its deleted messages where they were.
    struct stat now, named;
    if (fstat(fd_, &now) != 0 || stat(path_.Text(), &named) != 0 || now.st_ino != named.st_ino ||
        now.st_dev != named.st_dev)
        return qirFailed;
    long known = Last()->offset_ + Last()->size_;
    if (now.st_size < known) return qirFailed;
    for (qirMsgInfo* m = first; m; m = Next(m)) {
        char from[5];
        if (m->deleted_ && (PreadFull(fd_, from, 5, m->offset_) != 5 || memcmp(from, "From ", 5) != 0))
            return qirFailed;
    }

    // The new text from the first deleted message on goes to a private
    // file first, so that a failure before the spool is touched leaves it
    // as it was, and one after still leaves every message somewhere.
    const char* dir = getenv("TMPDIR");
    if (!dir || !*dir) dir = "/tmp";
    std::string name = std::string(dir) + "/qir-spool-XXXXXX";
    int t = mkstemp(&name[0]);
    if (t < 0) return qirNoTempFile;
    fchmod(t, 0600);
    std::vector<char> buf(kBufferSize);
    off_t at = 0;
    int ok = 1;
    for (qirMsgInfo* m = first; m && ok; m = Next(m)) {
        if (m->deleted_) continue;
        ok = CopyRange(fd_, m->offset_, m->size_, t, at, buf.data()) == 0;
        at += m->size_;
    }
    // Mail delivered after the spool was read.
    if (ok && now.st_size > known) {
        ok = CopyRange(fd_, known, now.st_size - known, t, at, buf.data()) == 0;
        at += now.st_size - known;
    }
    if (!ok || fsync(t) != 0) {
        close(t);
        unlink(name.c_str());
        return qirWriteError;
    }
    // In place, so that the spool keeps its owner, group, mode and links,
    // and a spool directory the user cannot write does not matter.  The
    // spool is cut only once the new text is all in it.
    if (CopyRange(t, 0, at, fd_, first->offset_, buf.data()) != 0 || ftruncate(fd_, first->offset_ + at) != 0 ||
        fsync(fd_) != 0) {
        close(t);
        tempPath_ = name;
        return qirWriteError;
    }
    close(t);
    unlink(name.c_str());
    return 0;
}
