#include "qirString.h"

#include <cctype>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <strings.h>

char qirFormatBuffer[qirFormatBufferSize];

void qirString::Release()
{
    if (text_ != local_) free(text_);
    text_ = nullptr;
}

void qirString::Set(const char* s, size_t n)
{
    if (n < localSize) {
        // memmove: s may lie in local_ itself.
        memmove(local_, s, n);
        local_[n] = 0;
        if (text_ != local_) free(text_);
        text_ = local_;
        return;
    }
    char* p = static_cast<char*>(malloc(n + 1));
    if (!p) abort();
    memcpy(p, s, n);
    p[n] = 0;
    Take(p);
}

void qirString::Take(char* buffer)
{
    Release();
    text_ = buffer;
}

void qirString::MoveFrom(qirString& other)
{
    if (other.text_ == other.local_) {
        memcpy(local_, other.local_, strlen(other.local_) + 1);
        text_ = local_;
    } else {
        text_ = other.text_;
    }
    other.text_ = nullptr;
}

qirString::qirString(const char* text) : qirObject(8)
{
    if (text) Set(text, strlen(text));
}

qirString::qirString(const char* text, int n) : qirObject(8)
{
    if (!text || n <= 0) return;
    Set(text, strnlen(text, static_cast<size_t>(n)));
}

qirString::qirString(const qirString& other) : qirObject(other)
{
    if (other.text_) Set(other.text_, strlen(other.text_));
}

qirString::qirString(qirString&& other) noexcept : qirObject(other) { MoveFrom(other); }

qirString::qirString(const qirString* other) : qirObject(8)
{
    if (other && other->text_) Set(other->text_, strlen(other->text_));
}

qirString::~qirString() { Release(); }

qirString& qirString::operator=(qirString&& s) noexcept
{
    if (this != &s) {
        Release();
        MoveFrom(s);
    }
    return *this;
}

qirString& qirString::Assign(const qirString& s)
{
    if (this != &s) Assign(s.text_);
    return *this;
}

qirString& qirString::Assign(const char* s)
{
    if (s == text_) return *this;
    if (s)
        Set(s, strlen(s));
    else
        Release();
    return *this;
}

const char* qirString::SetText(const char* s)
{
    Assign(s);
    return text_;
}

qirString& qirString::Format(const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(qirFormatBuffer, sizeof qirFormatBuffer, format ? format : "", ap);
    va_end(ap);
    if (n < 0) qirFormatBuffer[0] = 0;
    Assign(qirFormatBuffer);
    return *this;
}

int qirString::operator==(const qirString& s) const
{
    if (!text_ || !s.text_) return !text_ && !s.text_;
    return strcmp(text_, s.text_) == 0;
}

int qirString::operator==(const char* s) const
{
    if (!text_ || !s) return 0;
    return strcmp(text_, s) == 0;
}

// Orders by unsigned bytes; a null text sorts as "".
static int Compare(const char* a, const char* b) { return strcmp(a ? a : "", b ? b : ""); }

int qirString::operator>(const qirString& s) const { return Compare(text_, s.text_) > 0; }
int qirString::operator>=(const qirString& s) const { return Compare(text_, s.text_) >= 0; }
int qirString::operator<(const qirString& s) const { return Compare(text_, s.text_) < 0; }
int qirString::operator<=(const qirString& s) const { return Compare(text_, s.text_) <= 0; }
int qirString::operator>(const char* s) const { return s ? Compare(text_, s) > 0 : 1; }
int qirString::operator>=(const char* s) const { return s ? Compare(text_, s) >= 0 : 1; }
int qirString::operator<(const char* s) const { return s ? Compare(text_, s) < 0 : 0; }
int qirString::operator<=(const char* s) const { return s ? Compare(text_, s) <= 0 : 0; }

qirString& qirString::Append(const char* s)
{
    if (!s) return *this;
    size_t a = text_ ? strlen(text_) : 0, b = strlen(s);
    if (a + b < localSize) {
        char joined[localSize];
        if (a) memcpy(joined, text_, a);
        memcpy(joined + a, s, b + 1);
        Set(joined, a + b);
        return *this;
    }
    char* p = static_cast<char*>(malloc(a + b + 1));
    if (!p) abort();
    if (a) memcpy(p, text_, a);
    memcpy(p + a, s, b + 1);
    Take(p);
    return *this;
}

qirString& qirString::Append(const qirString& s)
{
    if (&s == this) {
        qirString copy(s);
        return Append(copy.text_);
    }
    return Append(s.text_);
}

qirString& qirString::Append(char c)
{
    char buf[2] = {c, 0};
    if (c == 0) {
        // A NUL cannot live inside the text; appending it leaves the text.
        if (!text_) Assign("");
        return *this;
    }
    return Append(buf);
}

qirString qirString::Concat(const char* s) const
{
    qirString r(*this);
    r.Append(s);
    return r;
}

qirString qirString::Concat(const qirString& s) const
{
    qirString r(*this);
    r.Append(s);
    return r;
}

qirString qirString::Concat(char c) const
{
    qirString r(*this);
    r.Append(c);
    return r;
}

int qirString::EqualsIgnoreCase(const qirString& s) const { return EqualsIgnoreCase(s.text_); }

int qirString::EqualsIgnoreCase(const char* s) const
{
    if (!text_ || !s) return 0;
    return strcasecmp(text_, s) == 0;
}

int qirString::Length() const { return text_ ? static_cast<int>(strlen(text_)) : 0; }

qirString qirString::Substring(int from, int count) const
{
    int len = Length();
    if (from >= len || from < -len) return *this;
    int start = from < 0 ? len + from : from;
    if (count >= 0 && start + count > len) return *this;
    int n = count < 0 ? len - start : count;
    return qirString(text_ + start, n);
}

void qirString::Cut(int from, int count)
{
    if (!text_) return;
    int len = Length();
    if (from > len || from < -len) return;
    int start = from < 0 ? len + from : from;
    if (count >= 0 && start + count > len) return;
    int n = count < 0 ? len - start : count;
    Set(text_ + start, static_cast<size_t>(n));
}

int qirString::Find(int from, char c) const
{
    int len = Length();
    if (from >= len || from < -len) return -1;
    const unsigned char* t = reinterpret_cast<const unsigned char*>(text_);
    unsigned char uc = static_cast<unsigned char>(c);
    if (from >= 0) {
        const void* p = memchr(t + from, uc, static_cast<size_t>(len - from));
        return p ? static_cast<int>(static_cast<const unsigned char*>(p) - t) : -1;
    }
    for (int i = len + from; i >= 0; --i)
        if (t[i] == uc) return i;
    return -1;
}

qirString qirString::TailFromChar(char c) const
{
    int i = Find(0, c);
    return i < 0 ? qirString() : qirString(text_ + i);
}

qirString qirString::TailFromLastChar(char c) const
{
    int i = Find(-1, c);
    return i < 0 ? qirString() : qirString(text_ + i);
}

int qirString::ToLong(long* out) const
{
    if (!text_) return 0;
    char* end = nullptr;
    long v = strtol(text_, &end, 0);
    if (end == text_) return 0;
    if (out) *out = v;
    return 1;
}

int qirString::ToInt(int* out) const
{
    long v;
    if (!ToLong(&v)) return 0;
    if (out) *out = static_cast<int>(v);
    return 1;
}

int qirString::ToFloat(float* out) const
{
    double v;
    if (!ToDouble(&v)) return 0;
    if (out) *out = static_cast<float>(v);
    return 1;
}

int qirString::ToDouble(double* out) const
{
    if (!text_) return 0;
    char* end = nullptr;
    double v = strtod(text_, &end);
    if (end == text_) return 0;
    if (out) *out = v;
    return 1;
}

char qirString::CharAt(int i) const
{
    if (!text_ || i < 0 || i >= Length()) return 0;
    return text_[i];
}

void qirString::ToLower()
{
    if (!text_) return;
    for (char* p = text_; *p; ++p) *p = static_cast<char>(tolower(static_cast<unsigned char>(*p)));
}

void qirString::ToUpper()
{
    if (!text_) return;
    for (char* p = text_; *p; ++p) *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
}

void qirString::TrimRight()
{
    if (!text_ || !*text_) return;
    size_t n = strlen(text_);
    while (n > 0 && strchr(" \t\r\n", text_[n - 1])) --n;
    Set(text_, n);
}

void qirString::ChopNewline()
{
    if (!text_) return;
    size_t n = strlen(text_);
    size_t end = n;
    while (end > 1 && (text_[end - 1] == '\n' || text_[end - 1] == '\r')) --end;
    if (end != n) Set(text_, end);
}

int qirString::Write(FILE* stream) const
{
    if (!text_) return fputc(0, stream) == EOF ? 1 : 0;
    size_t n = strlen(text_);
    return fwrite(text_, 1, n, stream) == n ? 0 : 1;
}

int qirString::ReadLine(FILE* stream)
{
    char buf[4096];
    int n = 0, c = 0;
    while (n < 4095) {
        c = getc_unlocked(stream);
        if (c == EOF || c == '\n' || c == 0) break;
        buf[n++] = static_cast<char>(c);
    }
    if (c == EOF) return 1;
    buf[n] = 0;
    Assign(buf);
    return 0;
}

int qirFormatTakes(const char* format, const char* kinds)
{
    if (!format || !kinds) return 0;
    const char* want = kinds;
    for (const char* p = format; *p; p++) {
        if (*p != '%') continue;
        p++;
        if (*p == '%') continue;
        char kind = *want++;
        if (kind != 's' && kind != 'd' && kind != 'l') return 0;
        const char* flags = kind == 's' ? "-" : "-+ #0";
        while (*p && strchr(flags, *p)) p++;
        int digits = 0;
        while (*p >= '0' && *p <= '9') {
            p++;
            digits++;
        }
        if (digits > 2) return 0;
        if (*p == '.') {
            if (kind == 's') return 0;
            p++;
            digits = 0;
            while (*p >= '0' && *p <= '9') {
                p++;
                digits++;
            }
            if (digits > 2) return 0;
        }
        if (kind == 's') {
            if (*p != 's') return 0;
        } else {
            if (kind == 'l' && *p++ != 'l') return 0;
            if (!*p || !strchr("diouxX", *p)) return 0;
        }
    }
    return *want == 0;
}
