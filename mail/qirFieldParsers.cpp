#include "qirFieldParsers.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <map>
#include <string>

#include "qirAddress.h"
#include "qirConfiguration.h"
#include "qirContentType.h"
#include "qirHeaderScanner.h"
#include "qirList.h"
#include "qirStatus.h"

namespace {

int Next() { return qirHeaderScanner::nextToken(); }

} // namespace

char* qirScanRestAsText()
{
    char* buffer = nullptr;
    qirGrowAppend(&buffer, nullptr); // "" for a field without tokens
    // A Subject's characters come one token each: taken whole instead.
    if (const char* rest = qirHeaderScanner::TakeRestOfText()) {
        qirGrowAppend(&buffer, rest);
        return buffer;
    }
    for (int t = Next(); t != qirTokEnd; t = Next()) qirGrowAppend(&buffer, qirScanText);
    return buffer;
}

// ---------------------------------------------------------------- addresses

int qirParseMailbox(qirList* list)
{
    char* mailbox = nullptr;
    char* fullName = nullptr; // stays null unless the mailbox carries a name
    int status = qirOK;
    switch (Next()) {
    case qirTokCommentedAddress: {
        if (Next() != qirTokAddress) return qirNotFound;
        mailbox = strdup(qirScanText);
        if (Next() != qirTokComment) {
            status = qirNotFound;
            break;
        }
        // The scanner's buffer holds the comment with its parentheses; a
        // malformed one (even a lone "(") still yields a bounded inner text.
        char* comment = qirHeaderScanner::TakeComment();
        if (comment) {
            size_t n = strlen(comment);
            size_t from = n > 0 && comment[0] == '(' ? 1 : 0;
            if (n > from && comment[n - 1] == ')') --n;
            memmove(comment, comment + from, n - from);
            comment[n - from] = '\0';
            fullName = comment;
        }
        break;
    }
    case qirTokBareAddress:
        mailbox = strdup(qirScanText);
        break;
    case qirTokPhraseAddress: {
        int t;
        while ((t = Next()) == qirTokPhraseWord) {
            if (fullName) qirGrowAppend(&fullName, " ");
            qirGrowAppend(&fullName, qirScanText);
        }
        if (t != qirTokAngleOpen || Next() != qirTokAddress) {
            status = qirNotFound;
            break;
        }
        mailbox = strdup(qirScanText);
        if (Next() != qirTokAngleClose) status = qirNotFound;
        break;
    }
    default:
        return qirNotFound;
    }
    if (status == qirOK) {
        qirUnquote(mailbox);
        qirUnquote(fullName);
        list->Append(new qirAddress(mailbox, fullName));
    }
    free(mailbox);
    free(fullName);
    return status;
}

int qirParseMailboxList(qirList* list, int end)
{
    int afterMailbox = 0;
    for (;;) {
        int t = Next();
        if (t == end) return qirOK;
        if (t == qirTokComma) {
            afterMailbox = 0;
        } else if (t == qirTokEnd) {
            return qirNotFound;
        } else if (t == qirTokMailbox) {
            int r = qirParseMailbox(list);
            if (r != qirOK) return r;
            if (afterMailbox) return qirNotFound; // two mailboxes without a comma
            afterMailbox = 1;
        } else {
            return qirBadValue;
        }
    }
}

int qirParseAddressList(qirList* list, int end)
{
    const int element = -1; // a group or mailbox parsed whole
    int afterElement = 0;
    for (;;) {
        int t = Next();
        if (t == qirTokGroupName)
            t = qirParseMailboxList(list, qirTokSemicolon) == qirOK ? element : qirTokError;
        else if (t == qirTokMailbox)
            t = qirParseMailbox(list) == qirOK ? element : qirTokError;
        if (t == end) return qirOK;
        if (t == qirTokComma) {
            afterElement = 0;
        } else if (t == qirTokEnd) {
            return qirNotFound;
        } else if (t == element) {
            if (afterElement) return qirNotFound;
            afterElement = 1;
        } else {
            return qirBadValue;
        }
    }
}

// ----------------------------------------------------------- MIME fields

int qirParseTransferEncoding(qirContentType* ct)
{
    if (Next() != qirTokMimeToken) return qirNotFound;
    ct->encodingName = qirScanText;
    // Mail writes the names in any case ("Base64", "7BIT").
    ct->encoding = qirEncUnknown;
    for (int i = 0; i < qirEncodingTableSize; ++i) {
        if (strcasecmp(qirEncodingTable[i].name, qirScanText) == 0) {
            ct->encoding = qirEncodingTable[i].code;
            break;
        }
    }
    return qirOK;
}

namespace {

// RFC 2231 values: "%XX" escapes decoded (a broken one stays as written).
std::string PercentDecoded(const std::string& v)
{
    auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        int hi = v[i] == '%' && i + 2 < v.size() ? digit(v[i + 1]) : -1;
        int lo = hi >= 0 ? digit(v[i + 2]) : -1;
        if (hi >= 0 && lo >= 0) {
            out += (char)(hi << 4 | lo);
            i += 2;
        } else {
            out += v[i];
        }
    }
    return out;
}

// The pieces of RFC 2231 parameters ("name*=charset'lang'value",
// "name*0=", "name*1*=", ...), put together when the field ends.  The
// charset is not converted: the bytes are kept.
struct ExtendedParameters {
    // attribute (lower case) -> piece number -> (encoded, text)
    std::map<std::string, std::map<int, std::pair<bool, std::string>>> pieces;

    // Takes the attribute when it is an RFC 2231 one.
    bool Take(const std::string& attribute, const std::string& value)
    {
        size_t star = attribute.find('*');
        if (star == std::string::npos || star == 0) return false;
        std::string rest = attribute.substr(star + 1);
        // "name*" is one encoded value; "name*N" and "name*N*" are pieces.
        bool encoded = rest.empty() || rest.back() == '*';
        if (!rest.empty() && rest.back() == '*') rest.pop_back();
        int number = 0;
        if (!rest.empty()) {
            if (rest.size() > 3 || rest.find_first_not_of("0123456789") != std::string::npos) return false;
            number = atoi(rest.c_str());
        }
        std::string name = attribute.substr(0, star);
        for (char& c : name) c = (char)tolower((unsigned char)c);
        pieces[name][number] = {encoded, value};
        return true;
    }

    template <typename Store>
    void StoreAll(Store& store)
    {
        for (auto& attribute : pieces) {
            std::string value;
            int expected = 0;
            for (auto& piece : attribute.second) {
                if (piece.first != expected) break; // a gap ends the value
                ++expected;
                std::string text = piece.second.second;
                if (piece.second.first) {
                    // The first encoded piece starts with charset'language'.
                    if (piece.first == 0) {
                        size_t q1 = text.find('\'');
                        size_t q2 = q1 == std::string::npos ? q1 : text.find('\'', q1 + 1);
                        if (q2 != std::string::npos) text = text.substr(q2 + 1);
                    }
                    text = PercentDecoded(text);
                }
                value += text;
            }
            if (expected > 0) store(attribute.first.c_str(), value.c_str());
        }
        pieces.clear();
    }
};

// The parameters after the ";" that follows a type: each attribute and
// value goes to store; 0 at the end of the field.  Empty parameters (";;",
// and a ";" at the very end, both common in real mail) are passed over.
// RFC 2231 forms reach store put together and decoded, after the plain
// ones (so they win), also when the field breaks off later.
template <typename Store>
int ParseParametersOf(Store& store, ExtendedParameters& extended)
{
    for (;;) {
        int t = Next();
        if (t == qirTokEnd) return qirOK;
        if (t == qirTokSemicolon) continue;
        if (t != qirTokAttribute) return qirNotFound;
        std::string attribute = qirScanText;
        if (Next() != qirTokValue) return qirNotFound;
        std::string value = qirScanText; // quoted pairs already undone
        if (!extended.Take(attribute, value)) store(attribute.c_str(), value.c_str());
        t = Next();
        if (t == qirTokEnd) return qirOK;
        if (t != qirTokSemicolon) return qirNotFound;
    }
}

template <typename Store>
int ParseParameters(Store store)
{
    ExtendedParameters extended;
    int r = ParseParametersOf(store, extended);
    extended.StoreAll(store);
    return r;
}

} // namespace

int qirParseContentType(qirContentType* ct)
{
    if (Next() != qirTokMimeToken) return qirNotFound;
    ct->type = qirScanText;
    int t = Next();
    if (t == qirTokEnd) return qirOK; // no subtype: it keeps its value
    if (t != qirTokSlash || Next() != qirTokMimeToken) return qirNotFound;
    ct->subtype = qirScanText;
    if (Next() != qirTokSemicolon) return qirOK;
    return ParseParameters([ct](const char* attribute, const char* value) {
        if (strcasecmp(attribute, "boundary") == 0)
            ct->boundary = value;
        else if (strcasecmp(attribute, "name") == 0)
            ct->partName = value;
        else if (strcasecmp(attribute, "charset") == 0)
            ct->charset = value;
    });
}

int qirParseContentDisposition(qirContentType* ct)
{
    if (Next() != qirTokMimeToken) return qirNotFound; // the type itself is not kept
    if (Next() != qirTokSemicolon) return qirOK;
    return ParseParameters([ct](const char* attribute, const char* value) {
        if (strcasecmp(attribute, "filename") == 0) ct->partName = value;
    });
}

// -------------------------------------------------------------------- dates

namespace {

const char* const monthNames[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                    "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

// scanf's "%d" without its overflow: blanks, a sign, digits; clamped so the
// range checks below see an out-of-range value rather than a wrapped one.
int ReadNumber(const char** p, long* out)
{
    const char* s = *p;
    while (isspace(static_cast<unsigned char>(*s))) ++s;
    char* end = nullptr;
    long v = strtol(s, &end, 10);
    if (end == s) return 0;
    if (v > 1000000) v = 1000000;
    if (v < -1000000) v = -1000000;
    *p = end;
    *out = v;
    return 1;
}

// scanf's "%Ns": blanks skipped, then at most max non-blank characters.
int ReadWord(const char** p, std::string* out, size_t max)
{
    const char* s = *p;
    while (isspace(static_cast<unsigned char>(*s))) ++s;
    const char* e = s;
    while (*e && !isspace(static_cast<unsigned char>(*e)) && static_cast<size_t>(e - s) < max) ++e;
    if (e == s) return 0;
    out->assign(s, e - s);
    *p = e;
    return 1;
}

int DaysIn(int month, long year) // year in full, month 0-11
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return days[month] + (month == 1 && leap);
}

} // namespace

time_t qirParseDate(const char* text)
{
    if (!text) return -1;
    const char* comma = strchr(text, ',');
    const char* p = comma ? comma + 1 : text; // the day name is not needed
    const int withSeconds = [p] {
        int colons = 0;
        for (const char* s = p; *s; ++s) colons += *s == ':';
        return colons > 1;
    }();
    long day = 0, year = 0, hour = 0, minute = 0, second = 0;
    std::string month, zone;
    // Fields after the first that does not read stay 0, as with scanf.
    do {
        if (!ReadNumber(&p, &day) || !ReadWord(&p, &month, 3) || !ReadNumber(&p, &year)) break;
        if (!ReadNumber(&p, &hour) || *p != ':') break;
        ++p;
        if (!ReadNumber(&p, &minute)) break;
        if (withSeconds) {
            if (*p != ':') break;
            ++p;
            if (!ReadNumber(&p, &second)) break;
        }
        // The zone word may be of any length: it is read whole, never into a
        // fixed field.
        ReadWord(&p, &zone, static_cast<size_t>(-1));
    } while (false);

    int mon = -1;
    for (int i = 0; i < 12 && mon < 0; ++i)
        if (strcasecmp(month.c_str(), monthNames[i]) == 0) mon = i;
    if (mon < 0) return -1;
    // A full year; two-digit years 00-49 are 2000-2049, 50-99 are 1950-1999,
    // and three-digit ones count from 1900 as some old software wrote them.
    if (year < 0) return -1;
    if (year < 50)
        year += 2000;
    else if (year < 1000)
        year += 1900;
    if (year < 1900 || year > 9999 || day < 1 || day > DaysIn(mon, year) || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 60)
        return -1;

    // The date carries its own offset, so the local zone and its
    // daylight-saving rules take no part: the wall time is read as UTC and
    // the written offset taken off.
    struct tm tm;
    memset(&tm, 0, sizeof tm);
    tm.tm_year = static_cast<int>(year - 1900);
    tm.tm_mon = mon;
    tm.tm_mday = static_cast<int>(day);
    tm.tm_hour = static_cast<int>(hour);
    tm.tm_min = static_cast<int>(minute);
    tm.tm_sec = static_cast<int>(second);
    tm.tm_isdst = 0;
    time_t t = timegm(&tm);
    return t - static_cast<time_t>(qirZoneOffset(zone.c_str()));
}

long qirZoneOffset(const char* zone)
{
    if (!zone || !*zone) return 0;
    long v = 0;
    std::string key = std::string("TimeZones.") + zone;
    int found = qirConfig.GetLong(key.c_str(), &v) == qirOK;
    if (!found) {
        // Zone names are written in any case; the section holds them upper-cased.
        for (size_t i = 10; i < key.size(); ++i) key[i] = static_cast<char>(toupper(static_cast<unsigned char>(key[i])));
        found = qirConfig.GetLong(key.c_str(), &v) == qirOK;
    }
    if (!found) {
        const char* p = zone;
        if (!ReadNumber(&p, &v)) v = 0;
    }
    // Beyond +-99 hours 59 it is no offset at all.
    if (v > 9959 || v < -9959) return 0;
    return (v / 100) * 3600 + (v % 100) * 60;
}

// --------------------------------------------------------------------- text

void qirUpcase(char* text)
{
    if (!text) return;
    for (; *text; ++text) *text = static_cast<char>(toupper(static_cast<unsigned char>(*text)));
}

char* qirUnquote(char* text)
{
    if (!text || !*text) return text;
    const char* r = text;
    while (*r == ' ' || *r == '\t') ++r;
    char* w = text;
    while (*r) {
        if (*r == '"') {
            ++r;
            continue;
        }
        if (*r == '\\' && !*++r) break; // a backslash at the very end goes
        *w++ = *r++;
    }
    while (w > text && (w[-1] == ' ' || w[-1] == '\t')) --w;
    *w = '\0';
    return text;
}
