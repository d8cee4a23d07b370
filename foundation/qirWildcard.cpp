#include "qirWildcard.h"

#include <cstddef>

namespace {

// The C locale's table: only ASCII letters change, whatever the locale.
inline unsigned char Fold(unsigned char c, int caseSensitive)
{
    return (!caseSensitive && c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}

} // namespace

qirWildcard::qirWildcard() : qirObject(54) {}

qirWildcard::qirWildcard(const qirWildcard& other)
    : qirObject(54), pattern_(other.pattern_), caseSensitive_(other.caseSensitive_)
{
}

qirWildcard::qirWildcard(qirString pattern, int caseSensitive)
    : qirObject(54), pattern_(static_cast<qirString&&>(pattern)), caseSensitive_(caseSensitive)
{
}

qirWildcard::qirWildcard(const char* pattern, int caseSensitive)
    : qirObject(54), pattern_(pattern), caseSensitive_(caseSensitive)
{
}

qirWildcard::~qirWildcard() {}

void qirWildcard::Set(qirString pattern, int caseSensitive)
{
    pattern_ = static_cast<qirString&&>(pattern);
    caseSensitive_ = caseSensitive;
}

void qirWildcard::Set(const char* pattern, int caseSensitive)
{
    pattern_ = pattern;
    caseSensitive_ = caseSensitive;
}

void qirWildcard::Assign(const qirWildcard& other)
{
    if (this == &other)
        return;
    pattern_ = other.pattern_;
    caseSensitive_ = other.caseSensitive_;
}

int qirWildcard::Match(const char* text) const
{
    return Match(pattern_.Text(), text, caseSensitive_);
}

// Greedy matching with one backtrack point: on a mismatch only the most
// recent "*" is widened by one character, since any earlier star could only
// consume what the later one can already reach. At most text x pattern steps,
// no recursion, so filter patterns cannot stall on long header fields.
int qirWildcard::Match(const char* pattern, const char* text, int caseSensitive)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pattern ? pattern : "");
    const unsigned char* t = reinterpret_cast<const unsigned char*>(text ? text : "");
    const unsigned char* star = nullptr; // pattern position after the last "*"
    const unsigned char* mark = nullptr; // text position that star consumed up to

    while (*t) {
        if (*p == '*') {
            while (*p == '*')
                ++p;
            if (!*p)
                return 1; // a trailing star takes the rest
            star = p;
            mark = t;
        } else if (*p && (*p == '?' || Fold(*p, caseSensitive) == Fold(*t, caseSensitive))) {
            ++p;
            ++t;
        } else if (star) {
            p = star;
            t = ++mark;
        } else {
            return 0;
        }
    }
    while (*p == '*')
        ++p;
    return *p == 0;
}
