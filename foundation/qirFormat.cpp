#include "qirFormat.h"

#include <cstring>

namespace {

// The end of the conversion that starts at p (a "%"), or null when the
// text there is no conversion this filler takes.
const char* Conversion(const char* p) {
    const char* q = p + 1;
    while (*q && strchr("-+ #0123456789.l", *q))
        ++q;
    return *q && strchr("sdiu", *q) ? q : nullptr;
}

}  // namespace

std::string qirFillFormat(const char* format, const std::vector<std::string>& args) {
    std::string out;
    size_t next = 0;
    for (const char* p = format ? format : ""; *p; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        if (p[1] == '%') {
            out += '%';
            ++p;
            continue;
        }
        if (const char* q = Conversion(p)) {
            if (next < args.size())
                out += args[next];
            ++next;
            p = q;
        } else {
            out += '%';
        }
    }
    return out;
}

int qirFormatArgumentCount(const char* format) {
    int count = 0;
    for (const char* p = format ? format : ""; *p; ++p) {
        if (*p != '%')
            continue;
        if (p[1] == '%') {
            ++p;
        } else if (const char* q = Conversion(p)) {
            count++;
            p = q;
        }
    }
    return count;
}

qirString qirShellQuote(const char* text) {
    std::string out = "'";
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '\'')
            out += "'\\''";
        else
            out += *p;
    }
    out += '\'';
    return qirString(out.c_str());
}
