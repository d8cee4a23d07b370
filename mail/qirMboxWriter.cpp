#include "qirMboxWriter.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdio_ext.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "qirAddress.h"
#include "qirAtomicFile.h"
#include "qirMsg.h"
#include "qirStatus.h"

namespace {

// The stream a message's text passes through on its way into the file: a
// line that begins "From " gets a ">" in front, so that no reader takes it
// for the start of another message.  A line start that might still become
// "From " is held back until it is decided.
struct Escaper {
    Escaper(FILE* f, long long* counter) : out(f), bytes(counter) {}
    FILE* out;
    long long* bytes; // counts what reached out
    int lineStart = 1;
    char held[5] = {};
    int heldLength = 0;
    int failed = 0;

    int Put(const char* data, size_t n)
    {
        if (n == 0) return 1;
        if (fwrite(data, 1, n, out) != n) {
            failed = 1;
            return 0;
        }
        *bytes += (long long)n;
        return 1;
    }
    int Release()
    {
        int ok = Put(held, heldLength);
        heldLength = 0;
        return ok;
    }
};

const char fromWord[] = "From ";

ssize_t EscapeWrite(void* cookie, const char* data, size_t n)
{
    Escaper* e = static_cast<Escaper*>(cookie);
    size_t i = 0;
    while (i < n) {
        if (e->lineStart) {
            while (e->heldLength < 5 && i < n && data[i] == fromWord[e->heldLength]) e->held[e->heldLength++] = data[i++];
            if (e->heldLength == 5) {
                if (!e->Put(">", 1) || !e->Release()) return -1;
                e->lineStart = 0;
                continue;
            }
            if (i == n) break; // still undecided
            if (!e->Release()) return -1;
            e->lineStart = 0;
        }
        const char* nl = static_cast<const char*>(memchr(data + i, '\n', n - i));
        size_t end = nl ? (size_t)(nl - data) + 1 : n;
        if (!e->Put(data + i, end - i)) return -1;
        i = end;
        e->lineStart = nl != nullptr;
    }
    return (ssize_t)n;
}

int EscapeClose(void* cookie)
{
    Escaper* e = static_cast<Escaper*>(cookie);
    return e->Release() ? 0 : -1;
}

} // namespace

qirMboxWriter::qirMboxWriter(const char* path, int append) : path_(path ? path : ""), append_(append ? 1 : 0) {}

qirMboxWriter::~qirMboxWriter()
{
    if (replace_) {
        delete replace_; // removes the uncommitted temporary file
    } else if (out_) {
        TakeBack(start_);
        fclose(out_);
        if (created_) unlink(path_.c_str());
    }
}

int qirMboxWriter::Open()
{
    if (out_ || replace_ || path_.empty()) return qirCannotOpen;
    if (!append_) {
        replace_ = new qirAtomicFile(path_.c_str());
        if (replace_->Open() != 0) {
            delete replace_;
            replace_ = nullptr;
            return qirCannotOpen;
        }
        out_ = replace_->Stream();
        setvbuf(out_, nullptr, _IOFBF, 1 << 17);
        start_ = end_ = 0;
        return qirOK;
    }
    // Made here or already there: a failed export must leave no new file.
    int fd = open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    created_ = fd >= 0;
    if (fd < 0 && errno == EEXIST) fd = open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) close(fd);
        return qirCannotOpen;
    }
    start_ = end_ = st.st_size;
    // A message begins only after an empty line: what the file ends with
    // decides how many line feeds go before the first one.
    separator_.clear();
    if (start_ > 0) {
        char tail[2] = {0, 0};
        int rfd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        long long at = start_ >= 2 ? start_ - 2 : 0;
        ssize_t got = rfd >= 0 ? pread(rfd, tail, start_ >= 2 ? 2 : 1, at) : -1;
        if (rfd >= 0) close(rfd);
        char last = got > 0 ? tail[got - 1] : 0;
        char before = got == 2 ? tail[0] : '\n';
        if (last != '\n') separator_ = "\n\n";
        else if (before != '\n') separator_ = "\n";
    }
    out_ = fdopen(fd, "a");
    if (!out_) {
        close(fd);
        if (created_) unlink(path_.c_str());
        return qirCannotOpen;
    }
    setvbuf(out_, nullptr, _IOFBF, 1 << 17);
    return qirOK;
}

qirString qirMboxWriter::FromLine(const qirMsg* message)
{
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::string sender;
    const qirAddress* first = message && message->From() ? static_cast<const qirAddress*>(message->From()->First()) : nullptr;
    if (first) {
        qirString mailbox = first->Mailbox();
        // The line has three words: nothing of the sender's may split it.
        for (const char* p = mailbox.Data() ? mailbox.Data() : ""; *p; ++p)
            sender += ((unsigned char)*p <= ' ' || *p == 0x7f) ? '_' : *p;
    }
    if (sender.empty()) sender = "MAILER-DAEMON";
    time_t t = message ? message->Date() : 0;
    if (t == 0) t = time(nullptr);
    struct tm tm;
    if (!localtime_r(&t, &tm)) {
        time_t zero = 0;
        localtime_r(&zero, &tm);
    }
    char date[64];
    snprintf(date, sizeof date, "%s %s %2d %02d:%02d:%02d %d", days[tm.tm_wday % 7], months[tm.tm_mon % 12],
             tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_year + 1900);
    return qirString(("From " + sender + " " + date + "\n").c_str());
}

int qirMboxWriter::Write(qirMsg* message)
{
    if (!out_ || broken_) return qirWriteError;
    if (!message) return qirNotOpen;
    const long long mark = end_;
    Escaper plain{out_, &end_};
    qirString from = FromLine(message);
    if (!plain.Put(separator_.data(), separator_.size()) || !plain.Put(from.Data(), from.Length())) {
        Fail();
        return qirWriteError;
    }

    Escaper escaper{out_, &end_};
    cookie_io_functions_t io{nullptr, EscapeWrite, nullptr, EscapeClose};
    FILE* text = fopencookie(&escaper, "w", io);
    if (!text) {
        TakeBack(mark);
        return qirNoMemory;
    }
    // Large blocks through the escaper: most of a message passes in one.
    setvbuf(text, nullptr, _IOFBF, 1 << 16);
    int r = message->ExportMIME(text);
    int closed = fclose(text);
    if (escaper.failed || ferror(out_) || !plain.Put("\n", 1)) {
        Fail();
        return qirWriteError;
    }
    if (r == qirOK && closed != 0) r = qirWriteError;
    if (r != qirOK) {
        // The message's own fault (a body file gone): the others go on.
        if (TakeBack(mark) != 0) return qirWriteError;
        return qirFailed;
    }
    separator_.clear();
    ++written_;
    return qirOK;
}

int qirMboxWriter::TakeBack(long long to)
{
    if (!out_) return -1;
    // What a failed flush left in the buffer must not follow the cut.
    if (fflush(out_) != 0) {
        __fpurge(out_);
        Fail();
    }
    if (ftruncate(fileno(out_), (off_t)to) != 0 ||
        (!append_ && fseeko(out_, (off_t)to, SEEK_SET) != 0)) {
        Fail();
        return -1;
    }
    end_ = to;
    return broken_ ? -1 : 0;
}

void qirMboxWriter::Fail() { broken_ = 1; }

int qirMboxWriter::Commit()
{
    if (!out_) return qirNotOpen;
    if (broken_) return qirWriteError;
    if (replace_) {
        int r = replace_->Commit();
        delete replace_;
        replace_ = nullptr;
        out_ = nullptr;
        return r == 0 ? qirOK : qirWriteError;
    }
    int ok = fflush(out_) == 0;
    if (!ok) TakeBack(start_);
    ok = fclose(out_) == 0 && ok;
    out_ = nullptr;
    if (!ok) {
        // The close may have lost what the flush took: back to the old end.
        if (created_) unlink(path_.c_str());
        else if (truncate(path_.c_str(), (off_t)start_) != 0) {}
        return qirWriteError;
    }
    return qirOK;
}
