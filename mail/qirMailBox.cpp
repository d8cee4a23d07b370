#include "qirMailBox.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "qirStatus.h"
#include "qirTempFile.h"
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

qirMailBox::qirMailBox(const qirPath& path, int scan, const char* journalDir) : path_(path)
{
    status_ = 0;
    buf_ = new char[kBufferSize];
    if (journalDir) {
        journalDir_ = journalDir;
    } else if (char* home = qirHomeDirectory()) {
        journalDir_ = std::string(home) + "/.QIR";
        delete[] home;
    }
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
    int shared = qirFlock(fd_, LOCK_SH | LOCK_NB) == 0;
    if (!shared && Refused(errno)) {
        close(fd_);
        fd_ = -1;
        status_ = qirAlreadyOpen;
        return;
    }
    if (FcntlLock(fd_, F_RDLCK) == 0) {
        shared = 1;
    } else if (Refused(errno)) {
        qirFlock(fd_, LOCK_UN);
        close(fd_);
        fd_ = -1;
        status_ = qirAlreadyOpen;
        return;
    }
    // A rewrite killed half way is finished before anything is read.  While
    // the shared locks are held nobody writes a journal, so a new one that
    // is still there was left by a rewrite killed before it was in place.
    if (shared) RemoveUnfinishedJournal();
    if (FindJournal()) {
        int r = writable_ ? LockExclusive() : qirCannotOpen;
        if (r == 0) {
            step_ = 0;
            r = Recover();
            UnlockExclusive();
        }
        if (r == 0 && fstat(fd_, &st) != 0) r = qirUnreadable;
        if (r != 0) {
            CloseSpool();
            status_ = r;
            return;
        }
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
    delete dotLock_;
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
    if (out) {
        while (!AtEnd() && !AtMessageStart()) ConsumeLine(nullptr, out);
        return;
    }
    // Nothing to copy: the whole lines in the buffer are passed over at
    // once and digested in one piece, as ConsumeLine would one by one.
    while (!AtEnd() && !AtMessageStart()) {
        const char* begin = buf_ + pos_;
        const char* end = buf_ + len_;
        const char* p = begin;
        int empty = prevEmpty_;
        for (;;) {
            const char* nl = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
            if (!nl) break;
            size_t n = static_cast<size_t>(nl - p) + 1;
            empty = n == 1 || (n == 2 && p[0] == '\r');
            p = nl + 1;
            // A message starts here, or the bytes that tell are not read yet.
            if (empty && (end - p < 5 || memcmp(p, "From ", 5) == 0)) break;
        }
        if (p == begin) {
            // A line that runs past the buffer.
            ConsumeLine(nullptr, nullptr);
            continue;
        }
        if (digesting_) text_.Add(begin, static_cast<size_t>(p - begin));
        pos_ += static_cast<size_t>(p - begin);
        prevEmpty_ = empty;
    }
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
        if (held) Feed(hold, static_cast<size_t>(held));
        Feed(p, n - 2);
        last = static_cast<unsigned char>(n > 2 ? p[n - 3] : hold[held - 1]); // held > 0 when n is 2
        memcpy(hold, p + n - 2, 2);
    } else { // one byte after two held
        Feed(hold, 1);
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
    if (held - drop > 0) Feed(hold, static_cast<size_t>(held - drop));
    m->textLength_ = lengthOnly ? counted : static_cast<long long>(digest.Length());
    m->digest_ = lengthOnly ? 0 : digest.Value();
    m->digested_ = !lengthOnly;
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
    windowLength_ = 0; // a rewrite may have changed what it held
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
    text_.lengthOnly = !digests_;
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
    FILE* f = qirTempFile(); // in $TMPDIR, where tmpfile() ignores it
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
    FILE* f = qirTempFile(); // in $TMPDIR, where tmpfile() ignores it
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

int qirMailBox::TextOf(int number, const char** text, size_t* length)
{
    // Large enough that a read costs little beside the copy, small enough
    // to stay in the cache; a letter larger than that takes ReadText's road.
    const size_t windowSize = 1 << 20;
    qirMsgInfo* m = Find(number);
    if (!m || fd_ < 0 || m->textLength_ < 0) return status_ = qirNotFound;
    if (m->textLength_ > static_cast<long long>(windowSize)) return 1;
    const long long at = m->offset_ + m->fromLength_;
    const size_t n = static_cast<size_t>(m->textLength_);
    if (at < windowAt_ || at + static_cast<long long>(n) > windowAt_ + static_cast<long long>(windowLength_)) {
        if (window_.empty()) window_.resize(windowSize);
        ssize_t got = PreadFull(fd_, window_.data(), windowSize, static_cast<off_t>(at));
        windowAt_ = at;
        windowLength_ = got > 0 ? static_cast<size_t>(got) : 0;
        if (windowLength_ < n) return status_ = qirUnreadable;
    }
    *text = window_.data() + (at - windowAt_);
    *length = n;
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

namespace {

void (*stepHook)(int) = nullptr;

const char journalMagic[] = "QIR spool journal 1";
const char journalSuffix[] = ".QIRjournal";
const size_t markerSize = 16;

// Makes a new or removed name in path's directory survive a power cut.
int SyncParent(const std::string& path)
{
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    int r = fsync(fd);
    close(fd);
    return r;
}

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

int FromHex(const char* text, std::string* bytes)
{
    bytes->clear();
    for (; text[0] && text[1]; text += 2) {
        char pair[3] = {text[0], text[1], 0};
        char* end;
        long v = strtol(pair, &end, 16);
        if (*end) return -1;
        *bytes += static_cast<char>(v);
    }
    return *text ? -1 : 0;
}

// What marks a spool not yet cut to its new length: a NUL, which no
// delivery writes where new mail begins ("From "), then random bytes.
std::string NewMarker(long long room)
{
    size_t n = room < static_cast<long long>(markerSize) ? static_cast<size_t>(room) : markerSize;
    std::string m(n, '\0');
    if (n > 1 && getrandom(&m[1], n - 1, 0) != static_cast<ssize_t>(n - 1)) {
        unsigned long long x = static_cast<unsigned long long>(time(nullptr)) * 2654435761ULL ^ getpid();
        for (size_t i = 1; i < n; ++i) {
            x = x * 6364136223846793005ULL + 1442695040888963407ULL;
            m[i] = static_cast<char>(x >> 56);
        }
    }
    return m;
}

// 1 when the two ranges hold the same bytes, 0 when not, -1 on a read error.
int SameBytes(int a, long long aAt, int b, long long bAt, long long length)
{
    std::vector<char> x(kBufferSize), y(kBufferSize);
    while (length > 0) {
        size_t n = length < static_cast<long long>(kBufferSize) ? static_cast<size_t>(length) : kBufferSize;
        if (PreadFull(a, x.data(), n, aAt) != static_cast<ssize_t>(n)) return -1;
        ssize_t got = PreadFull(b, y.data(), n, bAt);
        if (got < 0) return -1;
        if (got != static_cast<ssize_t>(n) || memcmp(x.data(), y.data(), n) != 0) return 0;
        aAt += n;
        bAt += n;
        length -= n;
    }
    return 1;
}

} // namespace

void qirMailBox::SetStepHook(void (*hook)(int step))
{
    stepHook = hook;
}

void qirMailBox::Step()
{
    if (stepHook) stepHook(++step_);
}

int qirMailBox::LockExclusive()
{
    // Debian's delivery agents take the dot-lock and fcntl; others flock.
    // The dot-lock is taken first, as they do, by their rules: one whose
    // owner has died is taken over at once, one that names no owner once it
    // is five minutes old.  A spool directory the user may not write (mode
    // 1777 or group mail) leaves it to the other two.
    delete dotLock_;
    dotLock_ = new qirLock(qirPath((std::string(path_.Text()) + ".lock").c_str()));
    dotLock_->SetUntestedAge(kStaleDotLock);
    for (int tries = 0;;) {
        int r = dotLock_->Lock();
        if (r == 0) break;
        if (r == qirCannotOpen) {
            delete dotLock_;
            dotLock_ = nullptr;
            break;
        }
        if (++tries >= kLockTries) {
            delete dotLock_;
            dotLock_ = nullptr;
            return qirAlreadyOpen;
        }
        usleep(kRetryMicros);
    }
    int failed = 1;
    for (int tries = 0; tries < kLockTries; ++tries) {
        if (qirFlock(fd_, LOCK_EX | LOCK_NB) == 0 || !Refused(errno)) { failed = 0; break; }
        usleep(kRetryMicros);
    }
    if (!failed) {
        failed = 1;
        for (int tries = 0; tries < kLockTries; ++tries) {
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
    delete dotLock_; // removes the dot-lock
    dotLock_ = nullptr;
}

void qirMailBox::CloseSpool()
{
    FcntlLock(fd_, F_UNLCK);
    qirFlock(fd_, LOCK_UN);
    delete dotLock_;
    dotLock_ = nullptr;
    close(fd_);
    fd_ = -1;
    windowLength_ = 0;
    spoolSize_ = limit_ = 0;
    Rewind();
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
    step_ = 0;
    if (stepHook) stepHook(0);
    int r = LockExclusive();
    if (r != 0) return status_ = r;
    r = Rewrite(first);
    if (r != 0 && !tempPath_.empty()) {
        // Half done: nothing more is read from this spool until its journal
        // has finished the rewrite, at the next opening.
        CloseSpool();
        return status_ = r;
    }
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
    // read, no shorter, with its messages where they were (tested where the
    // rewrite cuts: at the start of each run of deleted or kept messages).
    struct stat now, named;
    if (fstat(fd_, &now) != 0 || stat(path_.Text(), &named) != 0 || now.st_ino != named.st_ino ||
        now.st_dev != named.st_dev)
        return qirFailed;
    long known = Last()->offset_ + Last()->size_;
    if (now.st_size < known) return qirFailed;
    for (qirMsgInfo *m = first, *prev = nullptr; m; prev = m, m = Next(m)) {
        char from[5];
        if ((!prev || prev->deleted_ != m->deleted_) &&
            (PreadFull(fd_, from, 5, m->offset_) != 5 || memcmp(from, "From ", 5) != 0))
            return qirFailed;
    }
    if (FindJournal()) return qirFailed; // an unfinished rewrite is not ours to replace
    journal_ = JournalPlace();
    if (journal_.empty()) return qirNoTempFile;

    // The journal holds every byte that is to follow the first deleted
    // message, mail delivered after the spool was read included.
    Journal j;
    j.dev = now.st_dev;
    j.ino = now.st_ino;
    j.offset = first->offset_;
    j.size = now.st_size;
    std::vector<Piece> text;
    auto add = [&](long long from, long long length) {
        if (length <= 0) return;
        if (!text.empty() && text.back().from + text.back().length == from) text.back().length += length;
        else text.push_back({fd_, from, length});
    };
    for (qirMsgInfo* m = first; m; m = Next(m))
        if (!m->deleted_) add(m->offset_, m->size_);
    add(known, now.st_size - known);
    int jfd = -1;
    int r = WriteJournal(&j, text, &jfd);
    if (r != 0) {
        // The spool is untouched: a journal that may not last goes again.
        if (jfd >= 0) {
            close(jfd);
            unlink(journal_.c_str());
        }
        return r;
    }
    r = Apply(&jfd, &j);
    if (jfd >= 0) close(jfd);
    if (r != 0 && access(journal_.c_str(), F_OK) == 0) tempPath_ = journal_;
    return r;
}

// Writes a journal of j (its dev, ino, offset and size set) holding the
// pieces as its text, syncs it and renames it into place: 0 with *jfd open
// on it; -18 it cannot be made; -12 a write, sync or rename failed (*jfd is
// open only when the journal is in place but its name may not last).
int qirMailBox::WriteJournal(Journal* j, const std::vector<Piece>& text, int* jfd)
{
    j->kept = 0;
    for (const Piece& p : text) j->kept += p.length;
    j->marker = NewMarker(j->size - j->offset - j->kept);
    char header[256];
    int n = snprintf(header, sizeof header, "%s %llu %llu %lld %lld %lld %s\n", journalMagic, j->dev, j->ino, j->offset,
                     j->kept, j->size, Hex(j->marker).c_str());
    j->textAt = n;
    std::string temp = journal_ + ".new"; // a left-over of a killed rewrite goes
    unlink(temp.c_str());
    int t = open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (t < 0) return qirNoTempFile;
    std::vector<char> buf(kBufferSize);
    int ok = PwriteFull(t, header, static_cast<size_t>(n), 0) == 0;
    long long at = j->textAt;
    for (const Piece& p : text) {
        ok = ok && CopyRange(p.fd, p.from, p.length, t, at, buf.data()) == 0;
        at += p.length;
    }
    if (ok) Step();
    if (!ok || fsync(t) != 0) {
        close(t);
        unlink(temp.c_str());
        return qirWriteError;
    }
    Step();
    if (rename(temp.c_str(), journal_.c_str()) != 0) {
        close(t);
        unlink(temp.c_str());
        return qirWriteError;
    }
    Step();
    *jfd = t;
    if (SyncParent(journal_) != 0) return qirWriteError;
    Step();
    return 0;
}

// Mail appended without the locks after j was written: a new journal takes
// it in before anything is cut.
int qirMailBox::ExtendJournal(int* jfd, Journal* j, long long size)
{
    Journal next = *j;
    next.size = size;
    int nfd = -1;
    int r = WriteJournal(&next, {{*jfd, j->textAt, j->kept}, {fd_, j->size, size - j->size}}, &nfd);
    if (nfd >= 0) {
        close(*jfd);
        *jfd = nfd;
        *j = next;
    }
    return r;
}

// Puts the journal's text in place and removes the journal.  Until the
// spool is cut, j's marker lies just past the kept text, so that finishing
// later can tell a spool not yet cut from one cut and then delivered to.
int qirMailBox::Apply(int* jfd, Journal* j)
{
    std::vector<char> buf(kBufferSize), seen(markerSize);
    for (;;) {
        long long end = j->offset + j->kept;
        size_t m = j->marker.size();
        if (PreadFull(fd_, seen.data(), m, end) != static_cast<ssize_t>(m) || memcmp(seen.data(), j->marker.data(), m)) {
            if (PwriteFull(fd_, j->marker.data(), m, end) != 0) return qirWriteError;
            Step();
            if (fsync(fd_) != 0) return qirWriteError;
            Step();
        }
        for (long long done = 0; done < j->kept;) {
            size_t n = j->kept - done < static_cast<long long>(kBufferSize) ? static_cast<size_t>(j->kept - done)
                                                                              : kBufferSize;
            if (PreadFull(*jfd, buf.data(), n, j->textAt + done) != static_cast<ssize_t>(n) ||
                PwriteFull(fd_, buf.data(), n, j->offset + done) != 0)
                return qirWriteError;
            done += n;
            Step();
        }
        if (fsync(fd_) != 0) return qirWriteError;
        Step();
        struct stat st;
        if (fstat(fd_, &st) != 0) return qirWriteError;
        if (st.st_size < j->size) return qirFailed; // shortened by someone else: left to the next opening
        if (st.st_size > j->size) {
            // Delivered by a program that ignores the locks, during the copy.
            int r = ExtendJournal(jfd, j, st.st_size);
            if (r != 0) return r;
            continue;
        }
        if (ftruncate(fd_, end) != 0) return qirWriteError;
        Step();
        if (fsync(fd_) != 0) return qirWriteError;
        Step();
        if (unlink(journal_.c_str()) != 0) return qirWriteError;
        Step();
        SyncParent(journal_);
        return 0;
    }
}

// Beside the spool, as its dot-lock is; else in the user's own directory,
// named after the spool's file, which an in-place rewrite keeps.
std::string qirMailBox::JournalPlace() const
{
    std::string beside, own;
    JournalPlaces(&beside, &own);
    std::string spool = path_.Text();
    size_t slash = spool.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : spool.substr(0, slash);
    if (access(dir.c_str(), W_OK) == 0) return beside;
    if (own.empty()) return "";
    mkdir(journalDir_.c_str(), 0700);
    return access(journalDir_.c_str(), W_OK) == 0 ? own : "";
}

// The two places a journal of this spool can be: beside it, and in the
// user's own directory (empty when there is none).
void qirMailBox::JournalPlaces(std::string* beside, std::string* own) const
{
    *beside = std::string(path_.Text()) + journalSuffix;
    own->clear();
    struct stat st;
    if (journalDir_.empty() || fstat(fd_, &st) != 0) return;
    char name[96];
    snprintf(name, sizeof name, "/spool-%llu-%llu", static_cast<unsigned long long>(st.st_dev),
             static_cast<unsigned long long>(st.st_ino));
    *own = journalDir_ + name + journalSuffix;
}

// 1 with journal_ naming the journal of an unfinished rewrite, else 0.
int qirMailBox::FindJournal()
{
    std::string places[2];
    JournalPlaces(&places[0], &places[1]);
    struct stat st;
    for (const std::string& p : places)
        if (!p.empty() && lstat(p.c_str(), &st) == 0) {
            journal_ = p;
            return 1;
        }
    return 0;
}

void qirMailBox::RemoveUnfinishedJournal()
{
    std::string places[2];
    JournalPlaces(&places[0], &places[1]);
    for (const std::string& p : places)
        if (!p.empty()) unlink((p + ".new").c_str());
}

void qirMailBox::SetJournalAside()
{
    char stamp[32];
    snprintf(stamp, sizeof stamp, ".%ld", static_cast<long>(time(nullptr)));
    std::string aside = journal_ + stamp;
    if (rename(journal_.c_str(), aside.c_str()) == 0) {
        SyncParent(aside);
        asidePath_ = aside;
    } else {
        asidePath_ = journal_;
    }
    recovered_ = -1;
}

// Finishes the rewrite that journal_ describes, under the exclusive locks.
int qirMailBox::Recover()
{
    int jfd = open(journal_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (jfd < 0) return errno == ENOENT ? 0 : qirCannotOpen;
    Journal j;
    char header[256];
    ssize_t n = PreadFull(jfd, header, sizeof header - 1, 0);
    header[n > 0 ? n : 0] = '\0';
    char* eol = strchr(header, '\n');
    char marker[2 * markerSize + 2];
    struct stat js, ss;
    const size_t magic = sizeof journalMagic - 1;
    int fits = eol != nullptr && strncmp(header, journalMagic, magic) == 0 && fstat(jfd, &js) == 0 &&
               fstat(fd_, &ss) == 0;
    if (fits) {
        *eol = '\0';
        j.textAt = eol + 1 - header;
        fits = sscanf(header + magic, " %llu %llu %lld %lld %lld %33s", &j.dev, &j.ino, &j.offset, &j.kept, &j.size,
                      marker) == 6 &&
               FromHex(marker, &j.marker) == 0 && !j.marker.empty() &&
               js.st_size == j.textAt + j.kept && j.offset >= 0 && j.kept >= 0 &&
               j.offset + j.kept + static_cast<long long>(j.marker.size()) <= j.size;
    }
    // The journal must describe this very file, and the spool must be in a
    // state the rewrite can have left: longer than the kept text, and no
    // shorter than it was unless it was already cut.
    fits = fits && ss.st_dev == j.dev && ss.st_ino == j.ino && ss.st_size >= j.offset + j.kept;
    int r = 0;
    if (fits) {
        std::string seen(j.marker.size(), '\0');
        int marked = PreadFull(fd_, &seen[0], seen.size(), j.offset + j.kept) == static_cast<ssize_t>(seen.size()) &&
                     seen == j.marker;
        int done = 0;
        if (!marked) {
            // Either cut already (and perhaps delivered to since), or not yet
            // touched: only the first holds the kept text in place.
            int same = SameBytes(jfd, j.textAt, fd_, j.offset, j.kept);
            if (same < 0) r = qirUnreadable;
            done = same > 0;
        }
        if (r == 0 && done) {
            unlink(journal_.c_str());
            SyncParent(journal_);
        } else if (r == 0 && ss.st_size < j.size) {
            fits = 0;
        } else if (r == 0) {
            // Mail delivered since the kill (by the usual rules the dot-lock
            // of a dead owner goes at once) lies past the old end.
            if (ss.st_size > j.size) r = ExtendJournal(&jfd, &j, ss.st_size);
            if (r == 0) r = Apply(&jfd, &j);
        }
    }
    close(jfd);
    if (!fits) {
        SetJournalAside();
        return 0;
    }
    if (r == 0) recovered_ = 1;
    return r;
}
