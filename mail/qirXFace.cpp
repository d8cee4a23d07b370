#include "qirXFace.h"

#include <cstdio>
#include <cstring>

#include "qirAtomicFile.h"
#include "qirStatus.h"

extern "C" {
#include <compface.h>
}
// compface.h defines short generic macros; none of them is wanted here.
#undef P
#undef WORD
#undef COMP
#undef BLACK
#undef GREY
#undef WHITE

namespace {

// compface writes its result over its input.  Uncompression always writes
// 48 lines of "0xXXXX,0xXXXX,0xXXXX,\n" (1,057 bytes with the NUL), and
// compression a few hundred characters; the man page asks for 2K at least.
// The input put into the buffer is bounded by qirXFaceMaxText.
enum { WorkSize = 8192 };
char work[WorkSize];

const char pbmHeader[] = "P4\n48 48\n";

// Printable ASCII and the blanks and line ends of a folded header field.
int ValidText(const char* text, size_t* length)
{
    size_t n = 0;
    int printable = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p, ++n) {
        if (n >= qirXFaceMaxText) return 0;
        if (*p >= '!' && *p <= '~')
            printable = 1;
        else if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n')
            return 0;
    }
    *length = n;
    return printable;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads the 144 sixteen-bit words of uncompface's output into the bitmap,
// most significant bit leftmost: 0, or -1 when the text is not that form.
int ParseHexFace(const char* text, unsigned char* bitmap)
{
    const char* p = text;
    for (int word = 0; word < qirXFacePixels / 16; ++word) {
        while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == ',') ++p;
        if (p[0] != '0' || (p[1] != 'x' && p[1] != 'X')) return qirFailed;
        p += 2;
        unsigned value = 0;
        int digits = 0;
        for (int d; digits < 4 && (d = HexValue(*p)) >= 0; ++digits, ++p) value = value << 4 | d;
        if (digits == 0) return qirFailed;
        for (int bit = 0; bit < 16; ++bit) bitmap[word * 16 + bit] = (value >> (15 - bit)) & 1;
    }
    return qirOK;
}

} // namespace

qirXFace::qirXFace() : qirObject(35)
{
    Clear();
}

qirXFace::qirXFace(const qirXFace& other) : qirObject(other)
{
    Clear();
    if (!other.empty_) SetText(other.text_.c_str());
}

qirXFace& qirXFace::operator=(const qirXFace& other)
{
    if (this == &other) return *this;
    if (other.empty_)
        Clear();
    else
        SetText(other.text_.c_str());
    return *this;
}

qirXFace::~qirXFace() {}

void qirXFace::Clear()
{
    empty_ = 1;
    text_.clear();
    memset(bitmap_, 0, sizeof bitmap_);
    memset(pbm_, 0, sizeof pbm_);
    memset(xbm_, 0, sizeof xbm_);
}

const char* qirXFace::Text() const { return empty_ ? nullptr : text_.c_str(); }
const unsigned char* qirXFace::XbmBits() const { return empty_ ? nullptr : xbm_; }
const unsigned char* qirXFace::PbmBits() const { return empty_ ? nullptr : pbm_; }
const unsigned char* qirXFace::Bitmap() const { return empty_ ? nullptr : bitmap_; }

int qirXFace::SetText(const char* text)
{
    if (!text) return qirOK;
    size_t length = 0;
    // The text may be our own (copying a picture onto itself).
    std::string given = text;
    Clear();
    if (!ValidText(given.c_str(), &length)) return qirFailed;
    memcpy(work, given.data(), length);
    work[length] = 0;
    compface_xbitmap = 0; // the plain hex form, of known size
    int status = uncompface(work);
    if (status < 0) return qirFailed;
    unsigned char bitmap[qirXFacePixels];
    if (ParseHexFace(work, bitmap) != qirOK) return qirFailed;
    memcpy(bitmap_, bitmap, sizeof bitmap_);
    text_ = given;
    empty_ = 0;
    RebuildRasters();
    return qirOK;
}

void qirXFace::RebuildRasters()
{
    for (int i = 0; i < qirXFaceRasterBytes; ++i) {
        unsigned char p = 0, x = 0;
        for (int bit = 0; bit < 8; ++bit) {
            if (!bitmap_[i * 8 + bit]) continue;
            p |= 0x80 >> bit;
            x |= 1 << bit;
        }
        pbm_[i] = p;
        xbm_[i] = x;
    }
}

int qirXFace::Compress()
{
    char* p = work;
    for (int row = 0; row < qirXFaceSize; ++row) {
        for (int w = 0; w < 3; ++w) {
            unsigned value = 0;
            for (int bit = 0; bit < 16; ++bit) value = value << 1 | (bitmap_[row * qirXFaceSize + w * 16 + bit] ? 1 : 0);
            p += snprintf(p, work + WorkSize - p, "0x%04X,", value);
        }
        *p++ = '\n';
    }
    *p = 0;
    compface_xbitmap = 0;
    int status = compface(work);
    if (status < 0) return qirFailed;
    text_.assign(work, strnlen(work, WorkSize - 1));
    return qirOK;
}

int qirXFace::ReadPBM(const char* path)
{
    Clear();
    FILE* f = path ? fopen(path, "rb") : nullptr;
    if (!f) return qirCannotOpen;
    // A face file is a few hundred bytes; anything far larger is not one.
    enum { Limit = 65536 };
    std::string data;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0 && data.size() <= Limit) data.append(chunk, n);
    int failed = ferror(f) || data.size() > Limit;
    fclose(f);
    if (failed) return qirFailed;

    // Header: the lines "P4" and "48 48", with "#" comment lines anywhere
    // before, between and after them.
    size_t at = 0;
    auto line = [&](size_t from) { // the rest of the line from here, without its LF
        size_t end = data.find('\n', from);
        if (end == std::string::npos) end = data.size();
        return data.substr(from, end - from);
    };
    auto skipLine = [&]() {
        size_t end = data.find('\n', at);
        at = end == std::string::npos ? data.size() : end + 1;
    };
    int headerLines = 0;
    while (headerLines < 2) {
        if (at >= data.size()) return qirFailed;
        char c = data[at];
        if (c == '#') {
            skipLine();
        } else if (headerLines == 0 && c == 'P' && line(at + 1) == "4") {
            skipLine();
            headerLines = 1;
        } else if (headerLines == 1 && c == '4' && line(at + 1) == "8 48") {
            skipLine();
            headerLines = 2;
        } else {
            return qirFailed;
        }
    }
    // A raster may itself begin with '#' (0x23): a comment after the header
    // is only taken as one when a whole raster still follows it.
    while (at < data.size() && data[at] == '#') {
        size_t end = data.find('\n', at);
        if (end == std::string::npos || data.size() - (end + 1) < qirXFaceRasterBytes) break;
        at = end + 1;
    }
    if (data.size() - at < qirXFaceRasterBytes) return qirFailed; // short raster

    const unsigned char* raster = reinterpret_cast<const unsigned char*>(data.data() + at);
    for (int i = 0; i < qirXFacePixels; ++i) bitmap_[i] = (raster[i / 8] >> (7 - i % 8)) & 1;
    if (Compress() != qirOK) {
        Clear();
        return qirFailed;
    }
    // The picture kept is the one the text gives back, so what is stored and
    // what is sent always agree.
    std::string text = text_;
    return SetText(text.c_str()) == qirOK ? qirOK : qirFailed;
}

int qirXFace::WritePBM(const char* path) const
{
    qirAtomicFile file(path);
    if (file.Open() != qirOK) return qirCannotOpen;
    if (empty_) {
        // No picture: the file is left empty, as callers expect.
        return file.Commit() == qirOK ? qirNotOpen : qirWriteError;
    }
    FILE* f = file.Stream();
    if (fwrite(pbmHeader, 1, sizeof pbmHeader - 1, f) != sizeof pbmHeader - 1 ||
        fwrite(pbm_, 1, sizeof pbm_, f) != sizeof pbm_) {
        file.Abort();
        return qirWriteError;
    }
    return file.Commit();
}
