#include "qirCoder.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <unistd.h>

#include "qirAtomicFile.h"
#include "qirStatus.h"

// ---------------------------------------------------------------- base

qirCoder::qirCoder(const char* boundary, int* status)
    : qirObject(29), reader_(new qirRFile(boundary, status)) {}

qirCoder::~qirCoder() { delete reader_; }

qirCoder* qirCoder::Create(int encoding, const char* boundary, int* status)
{
    switch (encoding) {
    case qirEncBase64: return new qirBase64Coder(boundary, status);
    case qirEncQuotedPrintable: return new qirQPCoder(boundary, status);
    case qirEncUUEncode: return new qirUUCoder(boundary, status);
    case qirEncBTOA: return new qirBTOACoder(boundary, status);
    case qirEnc7bit:
    case qirEnc8bit:
    case qirEncBinary:
    case qirEncUnknown: return new qirPlainCoder(boundary, status);
    default: return nullptr;
    }
}

void qirCoder::Put(FILE* out, const void* data, size_t n)
{
    if (out != bufferStream_) {
        Flush();
        bufferStream_ = out;
    }
    if (buffered_ + n > bufferSize) Flush();
    if (n >= bufferSize) {
        if (fwrite_unlocked(data, 1, n, out) != n) failed_ = 1;
        return;
    }
    memcpy(buffer_ + buffered_, data, n);
    buffered_ += n;
}

unsigned char* qirCoder::Room(FILE* out, size_t n)
{
    if (out != bufferStream_) {
        Flush();
        bufferStream_ = out;
    }
    if (buffered_ + n > bufferSize) Flush();
    return buffer_ + buffered_;
}

void qirCoder::Put(FILE* out, const char* text) { Put(out, text, strlen(text)); }

void qirCoder::Flush()
{
    if (buffered_ && bufferStream_ && fwrite_unlocked(buffer_, 1, buffered_, bufferStream_) != buffered_)
        failed_ = 1;
    buffered_ = 0;
}

int qirCoder::DecodeResult()
{
    Flush();
    reader_->Drain();
    if (failed_) return qirWriteError;
    return reader_->EndState() == qirRFileClosing ? 1 : 0;
}

int qirCoder::EncodeResult(FILE* in)
{
    Flush();
    if (failed_) return qirWriteError;
    if (ferror(in)) return qirUnreadable;
    return 0;
}

// Reads as much of n bytes as the stream gives (a pipe may give less).
static size_t ReadBlock(FILE* in, unsigned char* buf, size_t n)
{
    size_t got = 0;
    while (got < n) {
        size_t r = fread_unlocked(buf + got, 1, n - got, in);
        if (r == 0) break;
        got += r;
    }
    return got;
}

int qirCoder::DecodeToFile(qirCoder* coder, FILE* in, const char* path, int direct)
{
    if (!coder || !path) return qirCannotOpen;
    qirAtomicFile file(path, direct);
    if (file.Open() != qirOK) return qirCannotOpen;
    static char buffer[1 << 16];
    setvbuf(file.Stream(), buffer, _IOFBF, sizeof buffer);
    int result = coder->Decode(in, file.Stream());
    if (result == qirWriteError) {
        file.Abort();
        return qirWriteError;
    }
    // A part that fails its checks keeps what was decoded of it.
    if (file.Commit() != qirOK) return qirWriteError;
    return result < 0 ? qirFailed : result;
}

// ---------------------------------------------------------------- base64

static const char base64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

enum { b64Pad = 64, b64Skip = 65, b64Invalid = 66 };

struct Base64Table {
    unsigned char value[256];
    // A group of four letters decodes as at[0][a] | at[1][b] | at[2][c] |
    // at[3][d]: the three bytes in the low 24 bits, bit 24 set when any of
    // the four is no letter of the alphabet.
    uint32_t at[4][256];
    Base64Table()
    {
        memset(value, b64Invalid, sizeof value);
        for (int i = 0; i < 64; ++i) value[(unsigned char)base64Alphabet[i]] = (unsigned char)i;
        value['='] = b64Pad;
        // Line ends and blanks between groups are layout, not data.
        value['\n'] = value['\r'] = value[' '] = value['\t'] = b64Skip;
        for (int c = 0; c < 256; ++c)
            for (int k = 0; k < 4; ++k)
                at[k][c] = value[c] < 64 ? (uint32_t)value[c] << (18 - 6 * k) : 1u << 24;
    }
};
static const Base64Table b64;

// Whole groups of four letters from p, as long as they last: their bytes
// go to out, which has room for one byte more than they make; *written
// grows by their number.  Answers the letters taken.
static inline int DecodeGroups(const unsigned char* p, int n, unsigned char* out, int* written)
{
    unsigned char* o = out;
    int i = 0;
    for (; i + 4 <= n; i += 4, o += 3) {
        uint32_t v = b64.at[0][p[i]] | b64.at[1][p[i + 1]] | b64.at[2][p[i + 2]] | b64.at[3][p[i + 3]];
        if (v >> 24) break;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        // One store of four bytes; the fourth is overwritten or unused.
        uint32_t w = __builtin_bswap32(v << 8);
        memcpy(o, &w, 4);
#else
        o[0] = (unsigned char)(v >> 16);
        o[1] = (unsigned char)(v >> 8);
        o[2] = (unsigned char)v;
#endif
    }
    *written += (int)(o - out);
    return i;
}

int qirBase64Coder::Decode(FILE* in, FILE* out)
{
    failed_ = 0;
    reader_->SetStream(in);
    unsigned char group[4];
    int have = 0;        // values of the group so far, carried across lines
    int skipLine = 0;    // the rest of this line is dropped
    int done = 0;
    unsigned char bytes[qirRFileLineSize + 1]; // a piece's bytes and DecodeGroups' spare one
    // One piece of a line, or a whole line of a run: 1 when the text ends.
    auto piece = [&](const unsigned char* p, int n, int startsLine) {
        if (startsLine) {
            skipLine = 0;
            if (n > 0 && p[0] == '-') return 1;
        }
        if (skipLine) return 0;
        int o = 0, i = 0;
        while (i < n) {
            if (have == 0) {
                // Whole groups of four, the common case.
                i += DecodeGroups(p + i, n - i, bytes + o, &o);
                if (i >= n) break;
            }
            unsigned v = b64.value[p[i++]];
            if (v < 64) {
                group[have++] = (unsigned char)v;
                if (have == 4) {
                    bytes[o++] = (unsigned char)(group[0] << 2 | group[1] >> 4);
                    bytes[o++] = (unsigned char)(group[1] << 4 | group[2] >> 2);
                    bytes[o++] = (unsigned char)(group[2] << 6 | group[3]);
                    have = 0;
                }
            } else if (v == b64Skip) {
                continue;
            } else if (v == b64Pad && have >= 2) {
                bytes[o++] = (unsigned char)(group[0] << 2 | group[1] >> 4);
                if (have == 3) bytes[o++] = (unsigned char)(group[1] << 4 | group[2] >> 2);
                have = 0;
                done = 1;
                break;
            } else if (have == 0) {
                skipLine = 1;
                break;
            } else {
                have = 0; // a broken group is dropped
            }
        }
        Put(out, bytes, o);
        return 0;
    };
    const unsigned char* p;
    int n;
    int stop = 0; // a line beginning with "-" ends the text
    while (!done && !stop) {
        if ((n = reader_->NextLines(&p)) > 0) {
            // A run of whole lines, cut as NextPiece would cut them.
            const unsigned char* end = p + n;
            while (p < end && !done && !stop) {
                const unsigned char* lf = (const unsigned char*)memchr(p, '\n', (size_t)(end - p));
                int length = (int)(lf - p) + 1;
                for (int at = 0; at < length && !done && !stop; at += qirRFileLineSize - 1) {
                    int take = length - at < qirRFileLineSize - 1 ? length - at : qirRFileLineSize - 1;
                    stop = piece(p + at, take, at == 0);
                }
                p = lf + 1;
            }
            continue;
        }
        if ((n = reader_->NextPiece(&p)) < 0) break;
        stop = piece(p, n, reader_->PieceStartsLine());
    }
    // Unpadded last group: its whole bytes are data all the same.
    if (!done && have >= 2) {
        int o = 0;
        bytes[o++] = (unsigned char)(group[0] << 2 | group[1] >> 4);
        if (have == 3) bytes[o++] = (unsigned char)(group[1] << 4 | group[2] >> 2);
        Put(out, bytes, o);
    }
    return DecodeResult();
}

int qirBase64Coder::Encode(FILE* in, FILE* out, const char* name)
{
    failed_ = 0;
    enum { block = 3000 };
    unsigned char buf[block + 2];
    char line[4 * (block / 3) + block / 54 + 8];
    int carry = 0;  // bytes of an unfinished group from the last read
    int groups = 0; // groups on the current line
    for (;;) {
        size_t got = ReadBlock(in, buf + carry, block);
        size_t total = carry + got;
        int last = got < block; // nothing more follows
        size_t whole = total / 3 * 3;
        int o = 0;
        for (size_t i = 0; i < whole; i += 3) {
            unsigned v = buf[i] << 16 | buf[i + 1] << 8 | buf[i + 2];
            line[o++] = base64Alphabet[v >> 18];
            line[o++] = base64Alphabet[v >> 12 & 63];
            line[o++] = base64Alphabet[v >> 6 & 63];
            line[o++] = base64Alphabet[v & 63];
            if (++groups == 18) {
                line[o++] = '\n';
                groups = 0;
            }
        }
        carry = (int)(total - whole);
        if (last) {
            if (carry) {
                unsigned v = buf[whole] << 16 | (carry == 2 ? buf[whole + 1] << 8 : 0);
                line[o++] = base64Alphabet[v >> 18];
                line[o++] = base64Alphabet[v >> 12 & 63];
                line[o++] = carry == 2 ? base64Alphabet[v >> 6 & 63] : '=';
                line[o++] = '=';
            }
            Put(out, line, o);
            break;
        }
        memmove(buf, buf + whole, carry);
        Put(out, line, o);
    }
    return EncodeResult(in);
}

// ---------------------------------------------------------------- quoted-printable

struct HexTable {
    signed char value[256];
    HexTable()
    {
        memset(value, -1, sizeof value);
        for (int i = 0; i < 10; ++i) value['0' + i] = (signed char)i;
        for (int i = 0; i < 6; ++i) value['A' + i] = value['a' + i] = (signed char)(10 + i);
    }
};
static const HexTable hexDigits;

int qirQPCoder::Decode(FILE* in, FILE* out)
{
    failed_ = 0;
    reader_->SetStream(in);
    unsigned char text[qirRFileLineSize + 4];
    int held = 0; // an "=" or "=X" at the end of a piece whose line goes on
    const unsigned char* p;
    int n;
    while ((n = reader_->NextPiece(&p)) >= 0) {
        const unsigned char* s = p;
        if (held) {
            memcpy(text + held, p, n);
            s = text;
            n += held;
            held = 0;
        }
        int endsLine = reader_->PieceEndsLine();
        int lineEndLength = 0;
        int soft = 0;
        if (endsLine) {
            if (n > 0 && s[n - 1] == '\n') {
                --n;
                lineEndLength = 1;
                if (n > 0 && s[n - 1] == '\r') {
                    --n;
                    lineEndLength = 2;
                }
            }
            while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t')) --n;
            // "=" at the very end of the text, with no line end, is data.
            if (n > 0 && s[n - 1] == '=' && (lineEndLength || reader_->LineEndTaken())) {
                soft = 1;
                --n;
            }
        }
        // Decoded straight into the output buffer: never longer than the
        // text, plus its line end.
        unsigned char* bytes = Room(out, (size_t)n + 2);
        int o = 0, i = 0;
        while (i < n) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            // Eight bytes at a time up to the next "=".
            while (i + 8 <= n) {
                uint64_t w;
                memcpy(&w, s + i, 8);
                uint64_t x = w ^ 0x3D3D3D3D3D3D3D3DULL;
                uint64_t found = (x - 0x0101010101010101ULL) & ~x & 0x8080808080808080ULL;
                memcpy(bytes + o, &w, 8);
                if (found) {
                    // The lowest flag is exact: the first "=" of the eight.
                    int k = __builtin_ctzll(found) / 8;
                    o += k;
                    i += k;
                    break;
                }
                o += 8;
                i += 8;
            }
#endif
            while (i < n && s[i] != '=') bytes[o++] = s[i++];
            if (i >= n) break;
            if (!endsLine && n - i < 3) {
                // The escape may go on in the next piece.
                held = n - i;
                memmove(text, s + i, held);
                break;
            }
            {
                int hi = i + 1 < n ? hexDigits.value[s[i + 1]] : -1;
                int lo = i + 2 < n ? hexDigits.value[s[i + 2]] : -1;
                if (hi >= 0 && lo >= 0) {
                    bytes[o++] = (unsigned char)(hi << 4 | lo);
                    i += 3;
                } else {
                    bytes[o++] = '=';
                    ++i;
                }
            }
        }
        if (endsLine && !soft) {
            if (lineEndLength == 2) bytes[o++] = '\r';
            if (lineEndLength) bytes[o++] = '\n';
        }
        Wrote(o);
    }
    if (held) Put(out, text, held);
    return DecodeResult();
}

int qirQPCoder::Encode(FILE* in, FILE* out, const char* name)
{
    failed_ = 0;
    static const char hex[] = "0123456789ABCDEF";
    enum { block = 1024 };
    unsigned char buf[block];
    char line[block * 5 + 8];
    int column = 0, prev = -1;
    size_t got;
    while ((got = ReadBlock(in, buf, block)) > 0) {
        int o = 0;
        for (size_t i = 0; i < got; ++i) {
            unsigned c = buf[i];
            if (c == '\n') {
                // A trailing blank would be stripped in transit.
                if (prev == ' ' || prev == '\t') {
                    line[o++] = '=';
                    line[o++] = '\n';
                }
                line[o++] = '\n';
                column = 0;
            } else {
                if (column > 70) {
                    line[o++] = '=';
                    line[o++] = '\n';
                    column = 0;
                }
                if ((c >= 32 && c <= 126 && c != '=') || c == '\t') {
                    line[o++] = (char)c;
                    ++column;
                } else {
                    line[o++] = '=';
                    line[o++] = hex[c >> 4];
                    line[o++] = hex[c & 15];
                    column += 3;
                }
            }
            prev = (int)c;
        }
        Put(out, line, o);
        if (got < block) break;
    }
    if (prev != '\n') Put(out, "=\n");
    return EncodeResult(in);
}

// ---------------------------------------------------------------- uuencode

int qirUUCoder::Decode(FILE* in, FILE* out)
{
    failed_ = 0;
    reader_->SetStream(in);
    int inBody = 0;
    unsigned char bytes[64 * 3];
    const unsigned char* p;
    int n;
    while ((n = reader_->NextPiece(&p)) >= 0) {
        // Uuencoded lines are short; the rest of an overlong one is noise.
        if (!reader_->PieceStartsLine()) continue;
        if (!inBody) {
            if (n >= 6 && !memcmp(p, "begin ", 6)) inBody = 1;
            continue;
        }
        if (n >= 3 && !memcmp(p, "end", 3)
            && (n == 3 || p[3] == '\n' || p[3] == '\r' || p[3] == ' ' || p[3] == '\t'))
            break;
        int m = n;
        while (m > 0 && (p[m - 1] == '\n' || p[m - 1] == '\r')) --m;
        if (m == 0) continue;
        int count = (p[0] - 32) & 63;
        int o = 0;
        for (int k = 1; o < count; k += 4) {
            unsigned v[4];
            for (int j = 0; j < 4; ++j) v[j] = k + j < m ? (unsigned)(p[k + j] - 32) & 63 : 0;
            unsigned char three[3] = {(unsigned char)(v[0] << 2 | v[1] >> 4),
                                      (unsigned char)(v[1] << 4 | v[2] >> 2),
                                      (unsigned char)(v[2] << 6 | v[3])};
            for (int j = 0; j < 3 && o < count; ++j) bytes[o++] = three[j];
        }
        Put(out, bytes, o);
    }
    return DecodeResult();
}

static char UUChar(unsigned v) { return v ? (char)(v + 32) : '`'; }

int qirUUCoder::Encode(FILE* in, FILE* out, const char* name)
{
    failed_ = 0;
    Put(out, "begin 660 ");
    Put(out, name ? name : "");
    Put(out, "\n");
    unsigned char buf[45 + 2];
    char line[64 + 2];
    for (;;) {
        size_t got = ReadBlock(in, buf, 45);
        buf[got] = buf[got + 1] = 0;
        int o = 0;
        line[o++] = UUChar((unsigned)got);
        for (size_t i = 0; i < got; i += 3) {
            unsigned v = buf[i] << 16 | buf[i + 1] << 8 | buf[i + 2];
            line[o++] = UUChar(v >> 18);
            line[o++] = UUChar(v >> 12 & 63);
            line[o++] = UUChar(v >> 6 & 63);
            line[o++] = UUChar(v & 63);
        }
        line[o++] = '\n';
        Put(out, line, o);
        if (got == 0) break;
        if (got < 45) {
            // The read at the end gives the line of length zero.
            Put(out, "`\n");
            break;
        }
    }
    Put(out, "`\nend\n");
    return EncodeResult(in);
}

// ---------------------------------------------------------------- btoa

static const char btoaBegin[] = "xqirBTOACode Begin";

void qirBTOACoder::Check(unsigned c)
{
    checkE_ ^= c;
    checkS_ = (checkS_ + c + 1) & 0xFFFFFFFFUL;
    checkR_ = ((checkR_ << 1 | checkR_ >> 31) + c) & 0xFFFFFFFFUL;
}

void qirBTOACoder::PutChar(FILE* out, char c)
{
    Put(out, &c, 1);
    if (++lineChars_ == 78) {
        Put(out, "\n", 1);
        lineChars_ = 0;
    }
}

void qirBTOACoder::EncodeByte(FILE* out, unsigned c)
{
    Check(c);
    word_ = (word_ << 8 | c) & 0xFFFFFFFFUL;
    if (++count_ < 4) return;
    if (word_ == 0) {
        PutChar(out, 'z');
    } else {
        char digits[5];
        unsigned long w = word_;
        for (int i = 4; i >= 0; --i) {
            digits[i] = (char)(w % 85 + '!');
            w /= 85;
        }
        for (char d : digits) PutChar(out, d);
    }
    count_ = 0;
    word_ = 0;
}

int qirBTOACoder::Encode(FILE* in, FILE* out, const char* name)
{
    failed_ = 0;
    Put(out, btoaBegin);
    Put(out, "\n");
    checkE_ = checkS_ = checkR_ = 0;
    count_ = lineChars_ = 0;
    word_ = 0;
    unsigned long total = 0;
    unsigned char buf[4096];
    size_t got;
    while ((got = ReadBlock(in, buf, sizeof buf)) > 0) {
        for (size_t i = 0; i < got; ++i) EncodeByte(out, buf[i]);
        total += got;
        if (got < sizeof buf) break;
    }
    while (count_ != 0) EncodeByte(out, 0);
    char end[160];
    snprintf(end, sizeof end, "\nxqirBTOACode End N %ld %lx E %lx S %lx R %lx\n",
             (long)total, total, checkE_, checkS_, checkR_);
    Put(out, end);
    checkE_ = checkS_ = checkR_ = 0;
    lineChars_ = 0;
    return EncodeResult(in);
}

int qirBTOACoder::Decode(FILE* in, FILE* out)
{
    failed_ = 0;
    reader_->SetStream(in);
    checkE_ = checkS_ = checkR_ = 0;
    const unsigned char* p;
    int n, begun = 0;
    while (!begun && (n = reader_->NextPiece(&p)) >= 0) {
        if (!reader_->PieceStartsLine()) continue;
        while (n > 0 && (p[n - 1] == '\n' || p[n - 1] == '\r')) --n;
        begun = n == (int)sizeof btoaBegin - 1 && !memcmp(p, btoaBegin, n);
    }
    // The last group is held back until the count says how much of it is
    // data and how much filling.
    unsigned char held[4];
    int haveHeld = 0;
    unsigned long groups = 0;
    unsigned long long word = 0;
    int digits = 0, result = qirNotSupported;
    while (begun) {
        int c = reader_->GetChar();
        if (c == '\n' || c == '\r') continue;
        int complete = 0;
        if (c >= '!' && c <= 'u') {
            word = digits ? word * 85 + (unsigned)(c - '!') : (unsigned)(c - '!');
            if (++digits < 5) continue;
            if (word > 0xFFFFFFFFULL) break;
            complete = 1;
        } else if (c == 'z' && digits == 0) {
            word = 0;
            complete = 1;
        }
        if (complete) {
            if (haveHeld) Put(out, held, 4);
            for (int i = 0; i < 4; ++i) {
                held[i] = (unsigned char)(word >> (24 - 8 * i));
                Check(held[i]);
            }
            haveHeld = 1;
            ++groups;
            digits = 0;
            continue;
        }
        if (c != 'x' || digits != 0) break;
        qirString rest = reader_->RestOfLine();
        long count = -1;
        unsigned long hexCount, e, s, r;
        int used = 0;
        if (sscanf(rest.Text(), "qirBTOACode End N %ld %lx E %lx S %lx R %lx%n",
                   &count, &hexCount, &e, &s, &r, &used) != 5)
            break;
        const char* tail = rest.Text() + used;
        while (*tail == '\r' || *tail == '\n' || *tail == ' ' || *tail == '\t') ++tail;
        if (*tail || count < 0 || (unsigned long)count != hexCount
            || e != checkE_ || s != checkS_ || r != checkR_
            || (unsigned long)(count + 3) / 4 != groups)
            break;
        int last = (int)(count - (long)(groups ? groups - 1 : 0) * 4);
        if (haveHeld) Put(out, held, last);
        haveHeld = 0;
        result = 0;
        break;
    }
    if (haveHeld) Put(out, held, 4); // a broken part keeps what it had
    checkE_ = checkS_ = checkR_ = 0;
    if (result < 0) {
        Flush();
        reader_->Drain();
        return failed_ ? qirWriteError : result;
    }
    return DecodeResult();
}

// ---------------------------------------------------------------- identity

int qirPlainCoder::Decode(FILE* in, FILE* out)
{
    failed_ = 0;
    reader_->SetStream(in);
    const unsigned char* p;
    int n;
    for (;;) {
        if ((n = reader_->NextLines(&p)) > 0 || (n = reader_->NextPiece(&p)) >= 0) Put(out, p, n);
        else break;
    }
    return DecodeResult();
}

int qirPlainCoder::Encode(FILE* in, FILE* out, const char* name)
{
    failed_ = 0;
    unsigned char buf[10240];
    size_t got;
    while ((got = ReadBlock(in, buf, sizeof buf)) > 0) {
        Put(out, buf, got);
        if (got < sizeof buf) break;
    }
    return EncodeResult(in);
}
