#include "qirShortHeader.h"

#include "qirCharacters.h"

#include <cstdio>
#include <cstring>

#include "qirAddress.h"
#include "qirConfiguration.h"
#include "qirLanguageGroup.h"
#include "qirMsg.h"

namespace {

// Catalogue numbers of the date names: each the first of a run indexed by
// weekday (Sunday 0) or month (January 0).
enum {
    textAM = 400,
    textPM = 401,
    textWeekday = 402,
    textShortWeekday = 409,
    textMonth = 416,
    textShortMonth = 428
};

void TwoDigits(std::string* out, int value)
{
    char buffer[16];
    snprintf(buffer, sizeof buffer, "%s%d", value >= 0 && value <= 9 ? "0" : "", value);
    out->append(buffer);
}

void Number(std::string* out, const char* format, int value)
{
    char buffer[32];
    snprintf(buffer, sizeof buffer, format, value);
    out->append(buffer);
}

// Catalogue names are plain text: copied, never used as formats.
void Name(std::string* out, int first, int index, int count)
{
    if (index < 0 || index >= count) return;
    out->append(qirLanguage.Text(first + index)); // catalogue: 402-439
}

int Hour12(int hour)
{
    int h = hour % 12;
    return h == 0 ? 12 : h;
}

qirString FirstMailbox(const qirList* list)
{
    const qirAddress* a = list ? static_cast<const qirAddress*>(list->First()) : nullptr;
    return a ? a->Mailbox() : qirString();
}

} // namespace

qirShortHeader::qirShortHeader(const qirConfiguration* columns)
{
    if (!columns) return;
    defined_ = 1;
    int n = columns->Count();
    for (int i = 1; i <= n; i++) {
        char name[16];
        snprintf(name, sizeof name, "%d", i);
        const qirConfiguration* child = columns->Child(name);
        if (!child) break;
        qirString kind = child->Value(0);
        if (!kind.Data()) break;
        int width = 0;
        if (columns->GetInt(name, &width, 1) != 0) break;
        // A negative width is no column at all, never a pointer moved back.
        if (width < 0) width = 0;
        columns_.push_back(Column{kind.Data(), width, child->Value(2)});
    }
}

qirString qirShortHeader::Format(const qirMsg* message) const
{
    if (!defined_ || !message) return qirString();
    std::string line;
    line.reserve(128);
    for (const Column& c : columns_) {
        int room = LineLimit - int(line.size());
        if (room <= 0) break;
        int width = c.width < room ? c.width : room;
        std::string text;
        const char* arg = c.argument.Data();
        if (c.kind == "Delimiter") {
            char fill = arg && *arg ? *arg : ' ';
            line.append(size_t(width), fill);
            continue;
        }
        if (c.kind == "Date") {
            if (arg) {
                time_t t = message->Date();
                struct tm when;
                if (localtime_r(&t, &when)) text = FormatDate(arg, when);
            }
        } else if (c.kind == "Subj") {
            const qirString* s = message->Subject();
            if (s && s->Data()) text = s->Data();
        } else if (c.kind == "From" || c.kind == "To" || c.kind == "Reply-To") {
            const qirList* list = c.kind == "From" ? message->From() : c.kind == "To" ? message->To() : message->ReplyTo();
            qirString mailbox = FirstMailbox(list);
            if (mailbox.Data()) text = mailbox.Data();
        } else if (c.kind == "Name") {
            if (arg) text = arg;
        } else if (c.kind == "Number") {
            text = "0";
        }
        // Width counts characters: a UTF-8 character is one, and a column is
        // never cut inside one (the line stays within its bytes).
        size_t at = 0;
        int count = 0;
        while (at < text.size() && count < width) {
            size_t n = qirCharacters::Utf8Length((const unsigned char*)text.data() + at, text.size() - at);
            if (n == 0) n = 1;
            if (int(line.size() + at + n) > LineLimit) break;
            at += n;
            count++;
        }
        line.append(text, 0, at);
        int pad = width - count;
        if (pad > LineLimit - int(line.size())) pad = LineLimit - int(line.size());
        if (pad > 0) line.append(size_t(pad), ' ');
    }
    return qirString(line.c_str());
}

qirString qirShortHeader::RowText(const qirMsg* message) const
{
    if (!message) return qirString("");
    if (!defined_) {
        const qirAddress* a = message->From() ? static_cast<const qirAddress*>(message->From()->First()) : nullptr;
        return a ? a->Format() : qirString("");
    }
    qirString line = Format(message);
    const char* text = line.Data() ? line.Data() : "";
    int n = int(strlen(text));
    while (n > 0 && strchr(" \t\r\n", text[n - 1])) n--;
    return n > 0 ? qirString(text, n) : qirString("");
}

std::string qirShortHeader::FormatDate(const char* format, const struct tm& t)
{
    std::string out;
    if (!format) return out;
    for (const char* p = format; *p; p++) {
        if (*p == '\n') {
            out.clear();
            continue;
        }
        if (*p != '%') {
            out.push_back(*p);
            continue;
        }
        if (!p[1]) break;
        switch (*++p) {
        case 'a':
        case 'c': Name(&out, textShortWeekday, t.tm_wday, 7); break;
        case 'A': Name(&out, textWeekday, t.tm_wday, 7); break;
        case 'b': Name(&out, textShortMonth, t.tm_mon, 12); break;
        case 'B': Name(&out, textMonth, t.tm_mon, 12); break;
        case 'C': TwoDigits(&out, t.tm_year / 100 + 19); break;
        case 'd': TwoDigits(&out, t.tm_mday); break;
        case 'D':
        case 'x':
            TwoDigits(&out, t.tm_mon + 1);
            out.push_back('/');
            TwoDigits(&out, t.tm_mday);
            out.push_back('/');
            TwoDigits(&out, t.tm_year % 100);
            break;
        case 'e': Number(&out, "%d", t.tm_mday); break;
        case 'H': Number(&out, "%d", t.tm_hour); break;
        case 'I': TwoDigits(&out, Hour12(t.tm_hour)); break;
        case 'j': Number(&out, "%03d", t.tm_yday + 1); break;
        case 'm': TwoDigits(&out, t.tm_mon + 1); break;
        case 'M': TwoDigits(&out, t.tm_min); break;
        case 'p': out.append(Meridiem(t.tm_hour)); break;
        case 'r':
            TwoDigits(&out, Hour12(t.tm_hour));
            out.push_back(':');
            TwoDigits(&out, t.tm_min);
            out.push_back(':');
            TwoDigits(&out, t.tm_sec);
            out.push_back(' ');
            out.append(Meridiem(t.tm_hour));
            break;
        case 'S': TwoDigits(&out, t.tm_sec); break;
        case 'w': Number(&out, "%d", t.tm_wday); break;
        case 'X':
            TwoDigits(&out, t.tm_hour);
            out.push_back(':');
            TwoDigits(&out, t.tm_min);
            out.push_back(':');
            TwoDigits(&out, t.tm_sec);
            break;
        case 'y': TwoDigits(&out, t.tm_year % 100); break;
        case 'Y': Number(&out, "%4d", t.tm_year + 1900); break;
        case '%': out.push_back('%'); break;
        default: break;
        }
        // The date text can never outgrow the line it goes into.
        if (out.size() > size_t(LineLimit)) out.resize(size_t(LineLimit));
    }
    return out;
}

int qirShortHeader::IsSafeIntFormat(const char* format)
{
    if (!format) return 0;
    int conversions = 0;
    for (const char* p = format; *p; p++) {
        if (*p != '%') continue;
        p++;
        if (*p == '%') continue;
        while (*p && strchr("-+ #0", *p)) p++;
        // Widths as digits only, small enough that the text stays short.
        int digits = 0;
        while (*p >= '0' && *p <= '9') { p++; digits++; }
        if (digits > 2) return 0;
        if (*p == '.') {
            p++;
            digits = 0;
            while (*p >= '0' && *p <= '9') { p++; digits++; }
            if (digits > 2) return 0;
        }
        if (!*p || !strchr("diouxX", *p)) return 0;
        if (++conversions > 1) return 0;
    }
    return 1;
}

std::string qirShortHeader::Meridiem(int hour)
{
    int pm = hour >= 12;
    const char* format = qirLanguage.Text(pm ? textPM : textAM);
    if (!IsSafeIntFormat(format)) return pm ? "PM" : "AM";
    char buffer[256];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    snprintf(buffer, sizeof buffer, format, Hour12(hour));
#pragma GCC diagnostic pop
    return buffer;
}

void qir_format_short_header(qirString* result, const qirConfiguration* columns, const qirMsg* message)
{
    if (!result) return;
    *result = qirShortHeader(columns).Format(message);
}
