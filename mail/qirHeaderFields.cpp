#include "qirHeaderFields.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "qirStatus.h"

qirHeaderFields& qirHeaderFields::operator=(const qirHeaderFields& other)
{
    qirPairList::operator=(other);
    return *this;
}

namespace {

// One physical line through getline: the bytes without LF and a trailing CR.
struct LineReader {
    FILE* stream;
    char* buffer = nullptr;
    size_t capacity = 0;
    long consumed = 0; // bytes taken from the stream so far

    explicit LineReader(FILE* f) : stream(f) {}
    ~LineReader() { free(buffer); }

    // Length of the line, or -1 at the end of the stream.
    long Next()
    {
        ssize_t n = getline(&buffer, &capacity, stream);
        if (n <= 0) return -1;
        consumed += n;
        if (buffer[n - 1] == '\n') --n;
        if (n > 0 && buffer[n - 1] == '\r') --n;
        return n;
    }
};

inline int IsBlank(char c) { return c == ' ' || c == '\t'; }

// A mailbox envelope ("From sender date"): "From " and then a first word
// without a colon.  "From : name <address>" is a From field with a blank
// before its colon, as the header scanner takes it.
int IsEnvelope(const char* line, long n)
{
    if (n < 5 || memcmp(line, "From ", 5) != 0) return 0;
    long i = 5;
    while (i < n && IsBlank(line[i])) ++i;
    for (; i < n && !IsBlank(line[i]); ++i)
        if (line[i] == ':') return 0;
    return 1;
}

} // namespace

int qirHeaderFields::Read(FILE* stream)
{
    if (!stream) return qirFailed;
    // Where the stream stood, to give a line back to the body; -1 on a pipe.
    long start = ftell(stream);
    LineReader in(stream);
    std::string name, value;
    int haveField = 0; // name/value hold a field still being continued
    int skipping = 0;  // the current line and its continuations are dropped
    int first = 1;

    auto flush = [&]() {
        if (haveField && (!name.empty() || !value.empty())) qirPairList::Add(name.c_str(), value.c_str());
        haveField = 0;
        name.clear();
        value.clear();
    };

    for (;;) {
        long lineStart = in.consumed;
        long n = in.Next();
        if (n < 0) break;
        const char* line = in.buffer;
        if (n == 0) break; // the empty line that ends the block
        if (IsBlank(line[0]) && (haveField || skipping)) {
            if (skipping) continue;
            long i = 1;
            if (value.empty()) {
                while (i < n && IsBlank(line[i])) ++i;
                value.append(line + i, n - i);
            } else {
                value += ' ';
                value.append(line + 1, n - 1);
            }
            continue;
        }
        flush();
        skipping = 0;
        int wasFirst = first;
        first = 0;
        if (line[0] == '>' || (wasFirst && IsEnvelope(line, n))) {
            skipping = 1;
            continue;
        }
        const char* colon = static_cast<const char*>(memchr(line, ':', n));
        if (!colon) {
            // Not a field: the header has ended without its empty line.
            if (start >= 0 && fseek(stream, start + lineStart, SEEK_SET) == 0) return qirOK;
            name.assign(line, n);
            haveField = 1;
            continue;
        }
        long nameLength = colon - line + 1;
        name.assign(line, nameLength);
        long i = nameLength;
        while (i < n && IsBlank(line[i])) ++i;
        value.assign(line + i, n - i);
        haveField = 1;
    }
    flush();
    return qirOK;
}

int qirHeaderFields::Write(FILE* stream) const
{
    if (!stream) return qirNotOpen;
    int failed = 0;
    for (qirPair* p = First(); p; p = Next(p)) {
        const char* name = p->Key() ? p->Key()->Text() : nullptr;
        const char* value = p->Value() ? p->Value()->Text() : nullptr;
        if (name && fputs(name, stream) == EOF) failed = 1;
        if (value && fputs(value, stream) == EOF) failed = 1;
        if (putc('\n', stream) == EOF) failed = 1;
    }
    return failed || ferror(stream) ? qirWriteError : qirOK;
}

int qirHeaderFields::Add(const char* name, const char* value)
{
    if (!name) return qirFailed;
    for (qirPair* p = First(); p; p = Next(p)) {
        if (p->Key() && p->Key()->Text() && strcmp(p->Key()->Text(), name) == 0) {
            qirList::Remove(p);
            break;
        }
    }
    qirPairList::Add(name, value);
    return qirOK;
}

int qirHeaderFields::AddLine(const char* line)
{
    if (!line) return qirFailed;
    const char* p = line;
    while (IsBlank(*p)) ++p;
    const char* nameEnd = p;
    while (*nameEnd && !IsBlank(*nameEnd) && *nameEnd != '\n') ++nameEnd;
    const char* v = nameEnd;
    while (IsBlank(*v)) ++v;
    const char* valueEnd = v;
    while (*valueEnd && !IsBlank(*valueEnd) && *valueEnd != '\n') ++valueEnd;
    std::string name(p, nameEnd - p), value(v, valueEnd - v);
    return Add(name.c_str(), value.c_str());
}

const qirString* qirHeaderFields::FindValue(const char* name) const
{
    if (!name) return nullptr;
    for (qirPair* p = First(); p; p = Next(p))
        if (p->Key() && p->Key()->Text() && strcmp(p->Key()->Text(), name) == 0) return p->Value();
    return nullptr;
}
