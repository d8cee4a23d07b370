#include "qirRFile.h"

#include <cstring>
#include <utility>

#include "qirError.h"

qirRFile::qirRFile(const char* boundary, int* status) : qirObject(37), status_(status)
{
    if (boundary) {
        hasBoundary_ = 1;
        separator_ = qirString("--").Concat(boundary).Concat('\n');
        closing_ = qirString("--").Concat(boundary).Concat("--\n");
    }
}

qirRFile::~qirRFile() { Drain(); }

void qirRFile::Drain()
{
    if (hasBoundary_ && stream_)
        while (!endState_) ReadLine();
}

void qirRFile::SetStream(FILE* stream)
{
    stream_ = stream;
    position_ = length_ = 0;
    haveAhead_ = 0;
    startsLine_ = endsLine_ = nextStartsLine_ = 1;
    atEnd_ = 0;
    endState_ = qirRFileReading;
    if (status_) *status_ = 0;
}

void qirRFile::SetEnd(int state)
{
    endState_ = state;
    if (status_) *status_ = state;
}

// One raw piece: through the next line feed, at most 999 bytes.  On glibc
// the bytes are taken straight from the stream's buffer (as gnulib's
// freadptr does); decoding a large part is otherwise dominated by getc.
int qirRFile::ReadPiece(Piece* piece)
{
    const int room = qirRFileLineSize - 1;
    unsigned char* out = piece->bytes;
    int n = 0, lineEnd = 0;
    if (!stream_ || atEnd_) return -1;
    while (n < room) {
#ifdef __GLIBC__
        long avail = stream_->_IO_read_end - stream_->_IO_read_ptr;
        if (avail > 0) {
            int take = avail < room - n ? (int)avail : room - n;
            const char* from = stream_->_IO_read_ptr;
            const void* lf = memchr(from, '\n', take);
            if (lf) take = (int)((const char*)lf - from) + 1;
            memcpy(out + n, from, take);
            stream_->_IO_read_ptr += take;
            n += take;
            if (lf) { lineEnd = 1; break; }
            continue;
        }
#endif
        int c = getc_unlocked(stream_);
        if (c == EOF) { atEnd_ = 1; break; }
        out[n++] = (unsigned char)c;
        if (c == '\n') { lineEnd = 1; break; }
    }
    if (n == 0) return -1;
    if (!lineEnd && !atEnd_) {
        // A full piece: find out whether the input ends right behind it.
        int c = getc_unlocked(stream_);
        if (c == EOF) atEnd_ = 1;
        else ungetc(c, stream_);
    }
    piece->length = n;
    piece->startsLine = nextStartsLine_;
    nextStartsLine_ = lineEnd;
    return n;
}

// A boundary line is a whole line equal to the separator or the closing
// line; blanks, TABs and a CR before its line end do not count.
int qirRFile::Classify(const unsigned char* p, int n, int startsLine) const
{
    if (!startsLine) return 0;
    if (p[n - 1] == '\n') --n;
    else if (!atEnd_ && n == qirRFileLineSize - 1) return 0;
    if (n < 2 || p[0] != '-' || p[1] != '-') return 0;
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\t' || p[n - 1] == '\r')) --n;
    if (n == separator_.Length() - 1 && !memcmp(p, separator_.Data(), n)) return qirRFileSeparator;
    if (n == closing_.Length() - 1 && !memcmp(p, closing_.Data(), n)) return qirRFileClosing;
    return 0;
}

// A whole line (through its line feed, at most 999 bytes) that is in the
// stream's buffer: its length, else 0.  Nothing is consumed.
int qirRFile::BufferedLine(const unsigned char** data) const
{
#ifdef __GLIBC__
    long avail = stream_->_IO_read_end - stream_->_IO_read_ptr;
    if (avail <= 0) return 0;
    int take = avail < qirRFileLineSize - 1 ? (int)avail : qirRFileLineSize - 1;
    const char* from = stream_->_IO_read_ptr;
    const void* lf = memchr(from, '\n', take);
    if (!lf) return 0;
    *data = (const unsigned char*)from;
    return (int)((const char*)lf - from) + 1;
#else
    (void)data;
    return 0;
#endif
}

int qirRFile::ReadLine()
{
    position_ = length_ = 0;
    lineEndTaken_ = 0;
    if (endState_) return -1;
    const unsigned char* p = nullptr;
    int n = 0;
    if (haveAhead_) {
        std::swap(line_, ahead_);
        haveAhead_ = 0;
    } else if (stream_ && !atEnd_ && (n = BufferedLine(&p)) > 0) {
        // The common case: a whole line in the stream's buffer is handed out
        // from there, without a copy.  It stays valid until the next read.
#ifdef __GLIBC__
        stream_->_IO_read_ptr += n;
#endif
        line_->startsLine = nextStartsLine_;
        nextStartsLine_ = 1;
    } else if (ReadPiece(line_) < 0) {
        if (hasBoundary_) {
            SetEnd(qirRFileClosing);
            if (qirLog) qirLog->Write(qirLogWarning, "Error in message!!! EOF found!!");
        }
        return -1;
    }
    if (!p) {
        p = line_->bytes;
        n = line_->length;
    }
    data_ = p;
    startsLine_ = line_->startsLine;
    if (hasBoundary_) {
        int kind = Classify(p, n, startsLine_);
        if (kind) {
            SetEnd(kind);
            if (qirLog)
                qirLog->Write(qirLogDebug, kind == qirRFileSeparator ? "Boundary found!" : "LastBoundary found!");
            return -1;
        }
    }
    length_ = n;
    int hasLineEnd = p[n - 1] == '\n';
    endsLine_ = hasLineEnd || atEnd_;
    // The line end before a boundary line belongs to the boundary: look at
    // the next line before handing this one out.
    if (hasBoundary_ && hasLineEnd) {
        const unsigned char* next;
        int m = stream_ && !atEnd_ ? BufferedLine(&next) : 0;
        int taken;
        if (m > 0) {
            // Left in the buffer: the next ReadLine takes it from there.
            taken = Classify(next, m, 1) != 0;
        } else {
            // Reading on may refill the buffer under the current line.
            if (p != line_->bytes) {
                memcpy(line_->bytes, p, n);
                data_ = p = line_->bytes;
            }
            taken = 0;
            if (ReadPiece(ahead_) >= 0) {
                haveAhead_ = 1;
                taken = Classify(ahead_->bytes, ahead_->length, ahead_->startsLine) != 0;
            }
        }
        if (taken) {
            lineEndTaken_ = 1;
            --length_;
            if (length_ > 0 && p[length_ - 1] == '\r') --length_;
        }
    }
    return length_;
}

int qirRFile::GetChar()
{
    while (position_ >= length_)
        if (ReadLine() < 0) return -1;
    return data_[position_++];
}

int qirRFile::NextPiece(const unsigned char** data)
{
    if (position_ >= length_ && ReadLine() < 0) {
        *data = line_->bytes;
        return -1;
    }
    *data = data_ + position_;
    int n = length_ - position_;
    position_ = length_;
    return n;
}

int qirRFile::NextLines(const unsigned char** data)
{
#ifdef __GLIBC__
    if (endState_ || !stream_ || atEnd_ || haveAhead_ || position_ < length_ || !nextStartsLine_) return 0;
    const char* from = stream_->_IO_read_ptr;
    const char* end = stream_->_IO_read_end;
    const char* p = from;
    while (p < end && *p != '-') {
        const char* lf = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
        if (!lf || lf + 1 >= end || lf[1] == '-') break;
        p = lf + 1;
    }
    if (p == from) return 0;
    stream_->_IO_read_ptr = const_cast<char*>(p);
    *data = reinterpret_cast<const unsigned char*>(from);
    startsLine_ = endsLine_ = 1;
    lineEndTaken_ = 0;
    position_ = length_ = 0;
    return static_cast<int>(p - from);
#else
    (void)data;
    return 0;
#endif
}

qirString qirRFile::RestOfLine()
{
    const unsigned char* data;
    int n;
    do n = NextPiece(&data);
    while (n == 0);
    if (n < 0) return qirString("");
    return qirString((const char*)data, n);
}

int qirRFile::HasMore()
{
    if (endState_ || !stream_) return 0;
    if (position_ < length_ || haveAhead_) return 1;
    if (atEnd_) return 0;
    int c = getc_unlocked(stream_);
    if (c == EOF) { atEnd_ = 1; return 0; }
    ungetc(c, stream_);
    return 1;
}
