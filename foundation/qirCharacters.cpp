#include "qirCharacters.h"

#include <cstdint>
#include <cstring>

size_t qirCharacters::Utf8Length(const unsigned char* p, size_t n) {
    if (n == 0)
        return 0;
    unsigned char c = p[0];
    size_t len = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (len == 0 || len > n)
        return 0;
    for (size_t i = 1; i < len; i++)
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    // Overlong three- and four-byte forms, surrogates, beyond U+10FFFF.
    if ((c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] >= 0xA0) || (c == 0xF0 && p[1] < 0x90) ||
        (c == 0xF4 && p[1] >= 0x90))
        return 0;
    return len;
}

namespace {

// The character of the well-formed sequence of len bytes at p.
unsigned long CodeOf(const unsigned char* p, size_t len) {
    unsigned long code = p[0] & (0x7F >> len);
    for (size_t k = 1; k < len; k++)
        code = code << 6 | (p[k] & 0x3F);
    return code;
}

}  // namespace

std::vector<unsigned long> qirCharacters::Decode(const char* text, size_t n) {
    std::vector<unsigned long> out;
    if (!text)
        return out;
    out.reserve(n);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; i < n;) {
        size_t len = p[i] >= 0x80 ? Utf8Length(p + i, n - i) : 0;
        if (len == 0) {
            out.push_back(p[i++]);
            continue;
        }
        out.push_back(CodeOf(p + i, len));
        i += len;
    }
    return out;
}

std::string qirCharacters::Latin1(const std::string& text) {
    if (IsAscii(text.data(), text.size()))
        return text;
    // One pass, no list of characters: a body of megabytes is converted
    // on each load.
    std::string out;
    out.reserve(text.size());
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    size_t n = text.size();
    for (size_t i = 0; i < n;) {
        size_t len = p[i] >= 0x80 ? Utf8Length(p + i, n - i) : 0;
        if (len == 0) {
            out += static_cast<char>(p[i++]);
            continue;
        }
        unsigned long c = CodeOf(p + i, len);
        out += c < 0x100 ? static_cast<char>(c) : '?';
        i += len;
    }
    return out;
}

int qirCharacters::IsAscii(const char* text, size_t n) {
    // Eight bytes at a time: a whole message body is checked on each load.
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t word;
        memcpy(&word, text + i, 8);
        if (word & 0x8080808080808080ULL)
            return 0;
    }
    for (; i < n; i++)
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return 0;
    return 1;
}
