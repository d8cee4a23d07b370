#include "qirError.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "qirAtomicFile.h"
#include "qirStatus.h"

char qirReportBuffer[qirReportBufferSize];
qirError* qirLog = nullptr;

static const char* const levelNames[qirLogLevelCount] = {
    "Critical", "Error", "Warning", "Statistics", "Info", "Debug"};

char qirLogLevelLetter(int level)
{
    return level >= 0 && level < qirLogLevelCount ? "CEWSID"[level] : '?';
}

const char* qirLogLevelName(int level)
{
    return level >= 0 && level < qirLogLevelCount ? levelNames[level] : "Unknown";
}

qirError::qirError() : qirObject(0), path_("") {}

qirError::qirError(qirError* other) : qirObject(0), path_("")
{
    if (!other) return;
    stream_ = other->stream_;
    count_ = other->count_;
    level_ = other->level_;
    limit_ = other->limit_;
    path_ = other->path_;
    other->stream_ = nullptr;
    other->count_ = 0;
}

qirError::~qirError() { Close(); }

int qirError::Open(const char* path, int level, int limit)
{
    level_ = level;
    limit_ = limit;
    time_t now = time(nullptr);
    if (stream_) return qirAlreadyOpen;
    count_ = 0;
    if (!path) path = "";
    if (limit > 0) {
        stream_ = fopen(path, "r+");
        if (stream_) {
            int c;
            while ((c = getc(stream_)) != EOF)
                if (c == '\n') ++count_;
            clearerr(stream_);
            // A stream switching from reading to writing needs a seek.
            fseek(stream_, 0, SEEK_END);
        }
    }
    if (!stream_) {
        count_ = 0;
        stream_ = fopen(path, "w");
    }
    if (!stream_) {
        fprintf(stderr, "Can't open LOG file: <%s>\n", path);
        fprintf(stderr, "You may want to remove it!\n");
        return qirCannotOpen;
    }
    path_ = path;
    fprintf(stream_, "\n---> QIR Session from %s", ctime(&now));
    fflush(stream_);
    return qirOK;
}

// Keeps the last limit + 1 lines; on any failure the file stays as it is.
// Keeps the last limit + 1 lines.  The kept lines go to a new file that
// replaces the log only when it was written whole, so a full disk leaves
// the longer log rather than none.
void qirError::Trim()
{
    fflush(stream_);
    rewind(stream_);
    long skip = long(count_) - limit_ + 1;
    int c;
    while (skip > 0 && (c = getc(stream_)) != EOF)
        if (c == '\n') --skip;
    qirAtomicFile out(path_.Text());
    if (out.Open() != 0) return;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, stream_)) > 0)
        if (fwrite(buf, 1, n, out.Stream()) != n) break;
    if (ferror(stream_) || ferror(out.Stream()))
        out.Abort();
    else
        out.Commit();
}

int qirError::Close()
{
    if (!stream_) return qirNotOpen;
    if (limit_ > 0 && count_ > limit_) Trim();
    if (stream_) fclose(stream_);
    stream_ = nullptr;
    path_ = "";
    count_ = 0;
    return qirOK;
}

void qirError::Abandon()
{
    if (stream_) fclose(stream_); // every line was flushed when written or released
    stream_ = nullptr;
    path_ = "";
    count_ = 0;
}

void qirError::WriteLine(int level, const char* text)
{
    if (!stream_) return;
    ++count_;
    fprintf(stream_, "%c %s\n", qirLogLevelLetter(level), text ? text : "");
    if (!held_ || level == qirLogCritical) fflush(stream_);
}

void qirError::Release()
{
    if (held_ > 0 && --held_ == 0 && stream_) fflush(stream_);
}

void qirError::EndForCritical(const char* text)
{
    fprintf(stderr, "Critical error: %s\n", text ? text : "");
    exit(1);
}

void qirError::Write(int level, const char* text)
{
    WriteLine(level, text);
    if (level == qirLogCritical) EndForCritical(text);
}

// Formats into the shared report buffer, bounded: a longer report is cut.
static const char* FormatReport(const char* format, va_list ap)
{
    if (vsnprintf(qirReportBuffer, sizeof qirReportBuffer, format ? format : "", ap) < 0) qirReportBuffer[0] = 0;
    return qirReportBuffer;
}

void qirError::Report(int level, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    const char* text = FormatReport(format, ap);
    va_end(ap);
    Write(level, text);
}

std::string qirSourceName(const char* file)
{
    if (!file) return "";
    const char* base = strrchr(file, '/');
    base = base ? base + 1 : file;
    const char* dot = strrchr(base, '.');
    return dot && dot > base ? std::string(base, dot - base) : std::string(base);
}

void qirError::Debug(const char* text, const char* file, int line)
{
    std::string s = text ? text : "";
    s += " at ";
    s += qirSourceName(file);
    s += ':';
    s += std::to_string(line);
    Write(qirLogDebug, s.c_str());
}

// ---------------------------------------------------------------- received mail

void qirError::BeginReceived()
{
    if (received_++ == 0) {
        receivedMessages_ = 0;
        content_.clear();
    }
}

int qirError::EndReceived()
{
    if (received_ == 0) return 0;
    // Reports no message end claimed are still written, and counted.
    if (--received_ == 0) EndReceivedMessage("that was not stored");
    return receivedMessages_;
}

void qirError::EndReceivedMessage(const char* where) { EndReceivedMessage(where, &content_); }

qirError::HeldReports qirError::TakeReceivedMessage()
{
    HeldReports taken;
    taken.swap(content_);
    return taken;
}

void qirError::EndReceivedMessage(const char* where, HeldReports* reports)
{
    if (reports && !reports->empty()) WriteHeld(where, reports);
}

void qirError::WriteHeld(const char* where, HeldReports* reports)
{
    ++receivedMessages_;
    HeldReports held;
    held.swap(*reports);
    writingContent_ = 1;
    std::string heading = std::string("The received message ") + (where ? where : "")
                          + " has fields or parts that could not be read:";
    Write(qirLogWarning, heading.c_str());
    for (const auto& h : held) Write(h.first, h.second.c_str());
    writingContent_ = 0;
}

void qirError::ReportContent(int level, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    const char* text = FormatReport(format, ap);
    va_end(ap);
    if (received_ > 0 && level != qirLogCritical)
        content_.emplace_back(level, text);
    else
        Write(level, text);
}

void qirFailure(qirString* failure, const char* what, const qirString& path, int cause)
{
    const char* reason = cause ? strerror(errno) : nullptr;
    qirString text;
    text.Format("%s <%s>%s%s", what, path.Text() ? path.Text() : "", reason ? ": " : "", reason ? reason : "");
    if (failure) *failure = text;
    else if (qirLog) qirLog->Write(qirLogError, text.Text());
}
