#include "qirAddress.h"

#include "qirStatus.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

const char* const qirFidoNetGateway = "fidonet.org";
const char* const qirCompuServeGateway = "compuserve.com";

qirAddress::qirAddress(const char* mailbox, const char* fullName)
    : qirObject(5), mailbox_(mailbox), fullName_(fullName)
{
}

qirAddress::qirAddress(const qirString* mailbox, const qirString* fullName)
    : qirObject(5), mailbox_(mailbox), fullName_(fullName)
{
}

qirAddress::qirAddress(const qirAddress& other) : qirObject(5)
{
    if (!other.mailbox_.IsEmpty()) mailbox_ = other.mailbox_;
    if (!other.fullName_.IsEmpty()) fullName_ = other.fullName_;
}

qirAddress::qirAddress(const qirAddress* other) : qirObject(5)
{
    if (!other) return;
    mailbox_ = other->mailbox_;
    fullName_ = other->fullName_;
}

qirAddress& qirAddress::operator=(const qirAddress& other)
{
    mailbox_ = other.mailbox_;
    fullName_ = other.fullName_;
    return *this;
}

qirAddress::~qirAddress() {}

// A CR or LF inside a header value would end the header line.
static void AppendFlat(std::string& out, const char* s, bool doubleLess)
{
    for (; *s; ++s) {
        char c = *s;
        if (c == '\r' || c == '\n') c = ' ';
        out += c;
        if (doubleLess && c == '<') out += '<';
    }
}

qirString qirAddress::Format() const
{
    if (mailbox_.IsEmpty()) return qirString("");
    if (fullName_.IsEmpty()) {
        std::string out;
        AppendFlat(out, mailbox_.Text(), false);
        return qirString(out.c_str());
    }
    const char* name = fullName_.Text();
    std::string out;
    if (strpbrk(name, "<>,;\\\"[].:@()")) {
        out += '"';
        for (const char* p = name; *p; ++p) {
            if (*p == '"' || *p == '\\') out += '\\';
            out += (*p == '\r' || *p == '\n') ? ' ' : *p;
        }
        out += '"';
    } else {
        AppendFlat(out, name, false);
    }
    out += " <";
    AppendFlat(out, mailbox_.Text(), false);
    out += '>';
    return qirString(out.c_str());
}

qirString qirAddress::FormatEnriched() const
{
    if (mailbox_.IsEmpty()) return qirString("");
    std::string out;
    if (!fullName_.IsEmpty()) {
        AppendFlat(out, fullName_.Text(), true);
        out += " <<";
    }
    AppendFlat(out, mailbox_.Text(), true);
    if (!fullName_.IsEmpty()) out += '>';
    return qirString(out.c_str());
}

// Reads one number the way "%d" does (leading white space, a sign, digits);
// a value outside int is not read, so hostile digits cannot overflow.
static bool ReadNumber(const char*& p, int* out)
{
    const char* s = p;
    while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
    const char* digits = s;
    if (*digits == '+' || *digits == '-') ++digits;
    if (*digits < '0' || *digits > '9') return false;
    errno = 0;
    char* end = nullptr;
    long v = strtol(s, &end, 10);
    if (errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    *out = static_cast<int>(v);
    p = end;
    return true;
}

// The numbers of "a<sep0>b<sep1>c..." read until one fails; answers the count.
static int ScanNumbers(const char* text, const char* seps, int* numbers, int max)
{
    const char* p = text;
    int n = 0;
    while (n < max) {
        if (n > 0) {
            if (*p != seps[n - 1]) break;
            ++p;
        }
        if (!ReadNumber(p, &numbers[n])) break;
        ++n;
    }
    return n;
}

int qirAddress::IsFidoNet(const char* text)
{
    if (!text) return qirNotOpen;
    int v[4];
    return ScanNumbers(text, ":/.", v, 4) >= 3 ? qirOK : qirFailed;
}

int qirAddress::IsCompuServe(const char* text)
{
    if (!text) return qirNotOpen;
    int v[2];
    return ScanNumbers(text, ",", v, 2) == 2 ? qirOK : qirFailed;
}

static bool IsDotAtom(const char* s)
{
    if (!*s || *s == '.') return false;
    for (const char* p = s; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c <= ' ' || c == 127 || strchr("()<>@,;:\\\"[]", c)) return false;
        if (c == '.' && (p[1] == '.' || p[1] == 0)) return false;
    }
    return true;
}

static void AppendQuoted(std::string& out, const char* s)
{
    out += '"';
    for (; *s; ++s) {
        if (*s == '"' || *s == '\\') out += '\\';
        out += (*s == '\r' || *s == '\n') ? ' ' : *s;
    }
    out += '"';
}

int qirAddress::FromFidoNet(const char* fido, const char* user)
{
    if (!fido) return qirNotOpen;
    int v[4] = {0, 0, 0, 0}; // zone, net, node, point
    if (ScanNumbers(fido, ":/.", v, 4) < 3) return qirFailed;
    const char* who = (user && *user) ? user : !fullName_.IsEmpty() ? fullName_.Text() : "root";
    std::string out;
    // A point address is always quoted; a node address only when the user
    // part would not stand as an atom (a blank or "@" would break it).
    if (v[3] != 0 || !IsDotAtom(who)) AppendQuoted(out, who);
    else out += who;
    char domain[96];
    if (v[3] != 0) snprintf(domain, sizeof domain, "@p%d.f%d.n%d.z%d.", v[3], v[2], v[1], v[0]);
    else snprintf(domain, sizeof domain, "@f%d.n%d.z%d.", v[2], v[1], v[0]);
    out += domain;
    out += qirFidoNetGateway;
    mailbox_ = out.c_str();
    return qirOK;
}

int qirAddress::FromCompuServe(const char* id)
{
    if (!id) return qirNotOpen;
    int v[2];
    if (ScanNumbers(id, ",", v, 2) != 2) return qirFailed;
    char buf[64];
    snprintf(buf, sizeof buf, "%d.%d@", v[0], v[1]);
    std::string out = buf;
    out += qirCompuServeGateway;
    mailbox_ = out.c_str();
    return qirOK;
}
