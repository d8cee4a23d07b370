#include "QIRPOP3.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "qirError.h"
#include "qirStatus.h"

namespace {

void Report(const char* format, const char* text)
{
    if (qirLog)
        qirLog->Report(qirLogError, format, text);
}

void ReportNumber(const char* format, int number)
{
    if (qirLog)
        qirLog->Report(qirLogError, format, number);
}

// Reads a positive decimal number at *p, moving past it; -1 when none fits.
int ReadNumber(const char** p)
{
    const char* s = *p;
    if (!isdigit(static_cast<unsigned char>(*s)))
        return -1;
    long n = 0;
    while (isdigit(static_cast<unsigned char>(*s))) {
        n = n * 10 + (*s++ - '0');
        if (n > INT_MAX)
            return -1;
    }
    *p = s;
    return static_cast<int>(n);
}

const char* SkipBlanks(const char* s)
{
    while (*s == ' ' || *s == '\t')
        ++s;
    return s;
}

// The text between the first "<" and the next ">": its start and length,
// or null when there is no such pair with something inside.
const char* AngleBrackets(const char* s, const char* end, int* length)
{
    const char* open = static_cast<const char*>(memchr(s, '<', end - s));
    if (!open)
        return nullptr;
    const char* close = static_cast<const char*>(memchr(open + 1, '>', end - open - 1));
    if (!close || close == open + 1)
        return nullptr;
    *length = static_cast<int>(close - open - 1);
    return open + 1;
}

// A piece's text for messages: without its line end.
struct LineText {
    char text[2064];
    LineText(const char* s, int n)
    {
        while (n > 0 && (s[n - 1] == '\n' || s[n - 1] == '\r'))
            --n;
        if (n > static_cast<int>(sizeof text) - 1)
            n = sizeof text - 1;
        memcpy(text, s, n);
        text[n] = '\0';
    }
};

} // namespace

QIRPOP3_MSG_INFO::QIRPOP3_MSG_INFO(int number, int size) : qirObject(17), number_(number), size_(size) {}

QIRPOP3_MSG_INFO::QIRPOP3_MSG_INFO(const QIRPOP3_MSG_INFO& other)
    : qirObject(other), number_(other.number_), size_(other.size_), deleted_(other.deleted_)
{
    if (other.id_)
        SetId(other.id_, static_cast<int>(strlen(other.id_)));
}

QIRPOP3_MSG_INFO::~QIRPOP3_MSG_INFO()
{
    delete[] id_;
}

void QIRPOP3_MSG_INFO::SetId(const char* text, int length)
{
    char* id = new char[length + 1];
    memcpy(id, text, length);
    id[length] = '\0';
    delete[] id_;
    id_ = id;
}

QIRPOP3::QIRPOP3(const char* host, const char* service, const char* user, const char* password)
    : qirSockClient(host, service)
{
    command_[0] = '\0';
    reply_[0] = '\0';
    if (IsConnected())
        SetTimeOut(defaultTimeOut, 0);
    if (ReadReply() != 0)
        return;
    if (Login(user, password) != 0)
        return;
    List();
}

QIRPOP3::~QIRPOP3()
{
    if (!broken_ && IsConnected())
        Command("QUIT", nullptr);
    records_.clear();
    byNumber_.clear();
    qirList::Remove(nullptr);
}

int QIRPOP3::Broken()
{
    broken_ = 1;
    return status_ = qirConnectionFailed;
}

int QIRPOP3::Login(const char* user, const char* password)
{
    if (Command("USER", user ? user : "") != 0)
        return status_;
    return Command("PASS", password ? password : "");
}

int QIRPOP3::List()
{
    if (Command("STAT", nullptr) != 0)
        return status_;
    int count = 0, total = 0;
    const char* p = SkipBlanks(reply_ + 3);
    if ((count = ReadNumber(&p)) < 0)
        return Broken();
    p = SkipBlanks(p);
    if ((total = ReadNumber(&p)) < 0)
        return Broken();
    totalSize_ = total;
    if (count == 0)
        return status_ = 0;

    if (Command("LIST", nullptr) != 0)
        return status_;
    BeginData();
    Piece piece;
    int rc;
    while ((rc = ReadPiece(&piece)) > 0) {
        if (!piece.lineStart)
            continue;
        const char* s = piece.text;
        int number = ReadNumber(&s);
        s = SkipBlanks(s);
        int size = ReadNumber(&s);
        if (number > 0 && size >= 0)
            AddRecord(new QIRPOP3_MSG_INFO(number, size));
    }
    if (rc < 0)
        return status_;

    // Numbers index the table only up to the record count, so a server
    // naming message 2000000000 cannot make it huge.
    byNumber_.assign(records_.size(), nullptr);
    for (QIRPOP3_MSG_INFO* r : records_)
        if (r->Number() <= static_cast<int>(byNumber_.size()) && !byNumber_[r->Number() - 1])
            byNumber_[r->Number() - 1] = r;
    status_ = 0;
    return ListIds();
}

void QIRPOP3::AddRecord(QIRPOP3_MSG_INFO* record)
{
    qirList::Append(record);
    records_.push_back(record);
}

QIRPOP3_MSG_INFO* QIRPOP3::FindNumber(int number) const
{
    if (number < 1)
        return nullptr;
    if (number <= static_cast<int>(byNumber_.size()))
        return byNumber_[number - 1];
    for (QIRPOP3_MSG_INFO* r : records_)
        if (r->Number() == number)
            return r;
    return nullptr;
}

int QIRPOP3::ListIds()
{
    // "-ERR" only means the server lacks the method: try the next one.
    if (Command("UIDL", nullptr) == 0)
        return ReadIdList(0);
    if (status_ != qirPOP3Refused)
        return status_;
    if (Command("XTND XLST Message-Id", nullptr) == 0)
        return ReadIdList(1);
    if (status_ != qirPOP3Refused)
        return status_;
    return ReadTopIds();
}

int QIRPOP3::ReadIdList(int xtnd)
{
    BeginData();
    Piece piece;
    int rc;
    while ((rc = ReadPiece(&piece)) > 0) {
        int starts = piece.lineStart;
        int fits = starts && piece.lineEnd;
        if (!fits) {
            // Part of a line longer than the buffer: an identifier cut there
            // could match another message's, so the whole line is skipped.
            if (starts)
                Report("QIRPOP3:Can't parse UIDL list output: %s\n", LineText(piece.text, piece.length).text);
            continue;
        }
        const char* s = piece.text;
        const char* end = piece.text + piece.length;
        while (end > s && (end[-1] == '\n' || end[-1] == '\r'))
            --end;
        int number = ReadNumber(&s);
        const char* id = nullptr;
        int length = 0;
        if (number >= 0) {
            if (xtnd) {
                id = AngleBrackets(s, end, &length);
            } else if (*s == ' ' || *s == '\t') {
                id = SkipBlanks(s);
                const char* e = id;
                while (e < end && *e != ' ' && *e != '\t')
                    ++e;
                length = static_cast<int>(e - id);
                if (length == 0)
                    id = nullptr;
            }
        }
        if (!id) {
            Report("QIRPOP3:Can't parse UIDL list output: %s\n", LineText(piece.text, piece.length).text);
            continue;
        }
        if (QIRPOP3_MSG_INFO* r = FindNumber(number))
            r->SetId(id, length);
        else
            ReportNumber("QIRPOP3:Can't find message %d to set UIDL\n", number);
    }
    if (rc < 0)
        return status_;
    return status_ = 0;
}

int QIRPOP3::ReadTopIds()
{
    for (QIRPOP3_MSG_INFO* r : records_) {
        char argument[24];
        snprintf(argument, sizeof argument, "%d 1", r->Number());
        if (Command("TOP", argument) != 0) {
            if (status_ == qirPOP3Refused)
                continue;
            return status_;
        }
        // Only the header counts: a body line that looks like the field must
        // not name the message. A folded field continues on blank-led lines.
        BeginData();
        Piece piece;
        int rc;
        int inHeader = 1, found = 0, pending = 0;
        char first[2064] = "";
        while ((rc = ReadPiece(&piece)) > 0) {
            if (!piece.lineStart || !inHeader || found)
                continue;
            const char* s = piece.text;
            const char* end = s + piece.length;
            if (*s == '\n' || (*s == '\r' && s[1] == '\n')) {
                inHeader = 0;
                continue;
            }
            if (pending) {
                if (*s != ' ' && *s != '\t') {
                    pending = 0;
                    found = 1;
                    r->SetId("", 0);
                    Report("Can't parse Message-Id field\n\t'%s'", first);
                    continue;
                }
            } else if (piece.length >= 10 && !strncasecmp(s, "Message-Id", 10) && *SkipBlanks(s + 10) == ':') {
                pending = 1;
                LineText copy(s, piece.length);
                memcpy(first, copy.text, sizeof first);
                s = SkipBlanks(s + 10) + 1;
            } else {
                continue;
            }
            int length = 0;
            if (const char* id = AngleBrackets(s, end, &length)) {
                r->SetId(id, length);
                pending = 0;
                found = 1;
            }
        }
        if (rc < 0)
            return status_;
        if (pending) {
            r->SetId("", 0);
            Report("Can't parse Message-Id field\n\t'%s'", first);
        }
    }
    return status_ = 0;
}

// Sends one command line without reading its answer; with later set, the
// line waits with others asked ahead until the next read or command, so
// that they travel together.
int QIRPOP3::SendCommand(const char* verb, const char* argument, int later)
{
    if (broken_)
        return status_ = qirConnectionFailed;
    size_t verbLength = strlen(verb);
    size_t argumentLength = argument ? strlen(argument) : 0;
    // A line break in an argument would smuggle in a command of its own.
    if (argument && strpbrk(argument, "\r\n"))
        return status_ = qirBadValue;
    size_t length = verbLength + (argument ? 1 + argumentLength : 0) + 2;
    if (length + 1 > sizeof command_)
        return status_ = qirBadValue;
    memcpy(command_, verb, verbLength);
    size_t n = verbLength;
    if (argument) {
        command_[n++] = ' ';
        memcpy(command_ + n, argument, argumentLength);
        n += argumentLength;
    }
    command_[n++] = '\r';
    command_[n++] = '\n';
    command_[n] = '\0';
    unsent_.append(command_, n);
    return later ? 0 : SendUnsent();
}

int QIRPOP3::SendUnsent()
{
    if (unsent_.empty())
        return 0;
    int r = qirSockClient::Send(unsent_.data(), static_cast<int>(unsent_.size()), 0);
    unsent_.clear();
    return r < 0 ? Broken() : 0;
}

int QIRPOP3::Command(const char* verb, const char* argument)
{
    if (SettleAhead() != 0)
        return status_;
    if (SendCommand(verb, argument) != 0)
        return status_;
    return ReadReply();
}

// Reads and throws away the answers to retrievals asked ahead and never
// taken, so that the next answer read is the next command's.
int QIRPOP3::SettleAhead()
{
    while (!ahead_.empty()) {
        ahead_.pop_front();
        if (ReadReply() == 0) {
            BeginData();
            if (Drain() != 0)
                return status_;
        } else if (broken_) {
            return status_;
        }
    }
    return 0;
}

int QIRPOP3::CanPipeline()
{
    if (pipelining_ >= 0)
        return pipelining_;
    pipelining_ = 0;
    if (Command("CAPA", nullptr) != 0)
        return 0; // "-ERR": a server without capabilities pipelines nothing
    BeginData();
    Piece piece;
    int rc, found = 0;
    while ((rc = ReadPiece(&piece)) > 0)
        if (piece.lineStart && piece.length >= 10 && !strncasecmp(piece.text, "PIPELINING", 10) &&
            (piece.length == 10 || isspace(static_cast<unsigned char>(piece.text[10]))))
            found = 1;
    if (rc < 0)
        return 0;
    status_ = 0;
    return pipelining_ = found;
}

int QIRPOP3::RequestRetrieve(int index)
{
    QIRPOP3_MSG_INFO* r = Info(index);
    if (!r || r->IsDeleted())
        return qirNotFound;
    char number[16];
    snprintf(number, sizeof number, "%d", index + 1);
    if (SendCommand("RETR", number, 1) != 0)
        return status_;
    ahead_.push_back(index);
    return 0;
}

int QIRPOP3::Command(const char* verb, int number)
{
    char text[16];
    snprintf(text, sizeof text, "%d", number);
    return Command(verb, text);
}

int QIRPOP3::ReadRawLine()
{
    if (SendUnsent() != 0)
        return -1;
    int length = ReadLineLength(reply_, sizeof reply_);
    if (length < 0)
        reply_[0] = '\0';
    return length;
}

int QIRPOP3::ReadReply()
{
    int length = ReadRawLine();
    if (length < 0)
        return Broken();
    int result;
    if (!strncmp(reply_, "+OK", 3))
        result = 0;
    else if (!strncmp(reply_, "-ERR", 4))
        result = qirPOP3Refused;
    else
        return Broken();
    // The rest of an overlong reply line would pass for the next reply.
    if (reply_[length - 1] != '\n') {
        char keep[64];
        memcpy(keep, reply_, sizeof keep);
        do {
            length = ReadRawLine();
            if (length < 0)
                return Broken();
        } while (reply_[length - 1] != '\n');
        memcpy(reply_, keep, sizeof keep);
        reply_[sizeof keep - 1] = '\0';
    }
    return status_ = result;
}

void QIRPOP3::BeginData()
{
    lineStart_ = 1;
    heldCR_ = 0;
}

// 1 a piece, 0 the terminating "." line, -5 the stream ended before it.
int QIRPOP3::ReadPiece(Piece* piece)
{
    int length = ReadRawLine();
    if (length < 0)
        return Broken();
    char* text = reply_;
    piece->lineStart = lineStart_;
    piece->lineEnd = length > 0 && text[length - 1] == '\n';
    piece->heldCR = heldCR_;
    heldCR_ = 0;
    lineStart_ = piece->lineEnd;
    if (piece->lineStart) {
        if (piece->lineEnd && ((length == 2 && text[0] == '.') || (length == 3 && text[0] == '.' && text[1] == '\r')))
            return 0;
        if (text[0] == '.') {
            ++text;
            --length;
        }
    }
    if (piece->lineEnd) {
        if (length >= 2 && text[length - 2] == '\r') {
            text[length - 2] = '\n';
            --length;
        } else if (length == 1 && piece->heldCR) {
            piece->heldCR = 0; // CR LF split over two pieces
        }
    } else if (length > 0 && text[length - 1] == '\r') {
        // Perhaps the first half of the line end: decided by the next piece.
        heldCR_ = 1;
        --length;
    }
    piece->text = text;
    piece->length = length;
    return 1;
}

// Reads what remains of a multi-line answer; 0 at its "." line, else -5.
int QIRPOP3::Drain()
{
    Piece piece;
    int rc;
    while ((rc = ReadPiece(&piece)) > 0) {
    }
    return rc;
}

QIRPOP3_MSG_INFO* QIRPOP3::Info(int index) const
{
    return index < 0 || index == INT_MAX ? nullptr : FindNumber(index + 1);
}

int QIRPOP3::Size(int index) const
{
    QIRPOP3_MSG_INFO* r = Info(index);
    return r && !r->IsDeleted() ? r->Size() : 0;
}

int QIRPOP3::IsDeleted(int index) const
{
    QIRPOP3_MSG_INFO* r = Info(index);
    return r ? r->IsDeleted() : 1;
}

double QIRPOP3::Now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

int QIRPOP3::Recv(void* buffer, int length, int flags)
{
    if (deadline_ > 0 && Descriptor() >= 0) {
        for (;;) {
            double left = deadline_ - Now();
            if (left <= 0) {
                cut_ = cutTimedOut;
                errno = ETIMEDOUT;
                return -1;
            }
            struct pollfd p = {Descriptor(), POLLIN, 0};
            int ms = left > 3600 ? 3600000 : static_cast<int>(left * 1000) + 1;
            int r = poll(&p, 1, ms);
            if (r > 0)
                break;
            if (r < 0 && errno != EINTR)
                return -1;
        }
    }
    return qirSockClient::Recv(buffer, length, flags);
}

int QIRPOP3::RetrieveWith(int index, Sink sink, void* context)
{
    QIRPOP3_MSG_INFO* r = Info(index);
    if (!r || r->IsDeleted())
        return qirNotFound;
    cut_ = cutNone;
    if (!ahead_.empty() && ahead_.front() == index) {
        ahead_.pop_front();
        if (ReadReply() != 0)
            return status_;
    } else if (Command("RETR", index + 1) != 0) {
        return status_;
    }
    BeginData();
    Piece piece;
    int rc;
    int written = 1;
    long long received = 0;
    while ((rc = ReadPiece(&piece)) > 0) {
        received += piece.length;
        if (readLimit_ > 0 && received > readLimit_) {
            cut_ = cutTooLong;
            return Broken(); // reading on could take forever
        }
        if (!written)
            continue; // keep reading so the connection stays in step
        if (piece.heldCR && !sink(context, "\r", 1))
            written = 0;
        else if (piece.length > 0 && !sink(context, piece.text, piece.length))
            written = 0;
    }
    if (rc < 0)
        return status_; // ended before its "." line: never a whole message
    return status_ = written ? 0 : qirWriteError;
}

namespace {

struct TextBuffer {
    char* text = nullptr;
    size_t length = 0;
    size_t capacity = 0;
};

int AppendText(void* context, const char* text, int length)
{
    TextBuffer* b = static_cast<TextBuffer*>(context);
    if (b->length + length + 1 > b->capacity) {
        // Doubling keeps a message far larger than its listed size linear.
        size_t capacity = b->capacity * 2;
        if (capacity < b->length + length + 1)
            capacity = b->length + length + 1;
        if (capacity > static_cast<size_t>(INT_MAX))
            return 0;
        char* grown = new char[capacity];
        memcpy(grown, b->text, b->length);
        delete[] b->text;
        b->text = grown;
        b->capacity = capacity;
    }
    memcpy(b->text + b->length, text, length);
    b->length += length;
    return 1;
}

int WriteFile(void* context, const char* text, int length)
{
    return fwrite(text, 1, length, static_cast<FILE*>(context)) == static_cast<size_t>(length);
}

} // namespace

char* QIRPOP3::Retrieve(int index, int* length)
{
    if (length)
        *length = 0;
    QIRPOP3_MSG_INFO* r = Info(index);
    if (!r || r->IsDeleted())
        return nullptr;
    TextBuffer b;
    // The listed size counts CR LF pairs, so the LF text normally fits; a
    // listed size is only a hint and never allocates more than 16 MB ahead.
    b.capacity = r->Size() < (16 << 20) ? r->Size() + 1 : (16 << 20);
    b.text = new char[b.capacity];
    if (RetrieveWith(index, AppendText, &b) != 0) {
        delete[] b.text;
        return nullptr;
    }
    b.text[b.length] = '\0';
    if (length)
        *length = static_cast<int>(b.length);
    return b.text;
}

int QIRPOP3::RetrieveTo(int index, FILE* out)
{
    if (!out)
        return qirBadValue;
    return RetrieveWith(index, WriteFile, out);
}

int QIRPOP3::Remove(int index)
{
    QIRPOP3_MSG_INFO* r = Info(index);
    if (!r || r->IsDeleted())
        return qirNotFound;
    r->SetDeleted(1);
    return Command("DELE", index + 1);
}

int QIRPOP3::Reset()
{
    if (Command("RSET", nullptr) == 0)
        for (QIRPOP3_MSG_INFO* r : records_)
            r->SetDeleted(0);
    return status_;
}

int QIRPOP3::Noop()
{
    return Command("NOOP", nullptr);
}

const char* QIRPOP3::UniqueId(int index)
{
    QIRPOP3_MSG_INFO* r = Info(index);
    if (!r || r->IsDeleted())
        return nullptr;
    if (Command("UIDL", index + 1) != 0)
        return nullptr;
    const char* blank = strchr(reply_ + 4, ' ');
    return blank ? blank + 1 : nullptr;
}
