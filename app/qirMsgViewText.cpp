#include "qirMsgViewText.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "qirAddress.h"
#include "qirCharacters.h"
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirFormat.h"
#include "qirHeaderFields.h"
#include "qirLanguageGroup.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirMsgMultipartComponent.h"

namespace {

// Used when the configured header format or catalogue text 215 would take
// other arguments than the ones given.
const char builtInHeaderFormat[] =
    "<x-color><param>%s</param><bold>%s</bold></x-color> <x-color><param>%s</param>%s</x-color>";
const char builtInPartFormat[] = "<x-color><param>%s</param>%s</x-color> <x-color><param>%s</param>(%d bytes)</x-color>";

// An enriched line break between two lines.
const char lineBreak[] = "\n\n";

// Catalogue texts of the view.
enum {
    textFolder = 200,
    textSize = 201,
    textStatus = 202,
    textPosition = 203,
    textRead = 205,
    textUnread = 206,
    textDeleted = 207,
    textPart = 215,
    textTo = 216,
    textFrom = 217,
    textReplyTo = 218,
    textCc = 219,
    textBcc = 220,
    textSubject = 221,
    textDate = 222,
};

const char* Str(const qirString& s) { return s.Text() ? s.Text() : ""; }

size_t Utf8Length(const unsigned char* p, size_t n) { return qirCharacters::Utf8Length(p, n); }

// Bytes of the character or escape that starts at i of an enriched text.
size_t UnitLength(const std::string& text, size_t i)
{
    unsigned char c = (unsigned char)text[i];
    if (c == '<') {
        if (i + 1 < text.size() && text[i + 1] == '<') return 2;
        size_t close = text.find('>', i);
        return close == std::string::npos ? text.size() - i : close - i + 1;
    }
    if (c == '\n' && i + 1 < text.size() && text[i + 1] == '\n') return 2;
    if (c >= 0x80) {
        size_t n = Utf8Length((const unsigned char*)text.data() + i, text.size() - i);
        return n ? n : 1;
    }
    return 1;
}

// A colour name for a parameter: only what names a colour.
std::string ColourName(const qirString& value)
{
    std::string out;
    for (const char* p = Str(value); *p; p++)
        if ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9') || *p == '#' || *p == ' ')
            out += *p;
    return out;
}

// The format itself when it takes as many arguments as given, else the
// built-in one; a configured format that does not fit is reported once.
const char* Checked(const char* format, int arguments, const char* builtIn, const char* what)
{
    if (format && qirFormatArgumentCount(format) == arguments) return format;
    static std::vector<std::string> reported;
    std::string key = std::string(what) + "=" + (format ? format : "");
    int seen = 0;
    for (const std::string& r : reported) seen |= r == key;
    if (!seen && reported.size() < 16) {
        reported.push_back(key);
        if (qirLog)
            qirLog->Report(qirLogWarning, "%s does not take the arguments it is given: the built-in format is used", what);
    }
    return builtIn;
}

// Trailing line ends of a formatted line are the program's to add.
std::string WithoutLineEnds(std::string line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

qirMsgMultipartComponent* AsMultipart(qirMsgComponent* part)
{
    return part && part->IsMultipart() ? dynamic_cast<qirMsgMultipartComponent*>(part) : nullptr;
}

int IsSingleText(qirMsgComponent* part) { return part && part->IsText() && !AsMultipart(part); }

} // namespace

std::string qirMsgViewText::Escape(const char* text, size_t limit, int keepLines)
{
    std::string out;
    if (!text) return out;
    const unsigned char* p = (const unsigned char*)text;
    size_t n = strlen(text);
    for (size_t i = 0; i < n;) {
        unsigned char c = p[i];
        const char* piece = nullptr;
        size_t len = 1;
        char one[1];
        if (c == '<') {
            piece = "<<";
            len = 2;
        } else if (c == '\n' && keepLines) {
            piece = lineBreak;
            len = 2;
        } else if (c < 0x20 || c == 0x7f) {
            one[0] = ' ';
            piece = one;
        } else if (c >= 0x80) {
            size_t u = Utf8Length(p + i, n - i);
            if (u) {
                if (out.size() + u > limit) break;
                out.append(text + i, u);
                i += u;
                continue;
            }
            // A lone 8-bit byte stays as it is (Latin-1 mail).
            piece = text + i;
        } else {
            piece = text + i;
        }
        if (out.size() + len > limit) break;
        out.append(piece, len);
        i++;
    }
    return out;
}

size_t qirMsgViewText::CutPoint(const std::string& text, size_t limit)
{
    if (text.size() <= limit) return text.size();
    size_t at = 0;
    while (at < text.size()) {
        size_t n = UnitLength(text, at);
        if (at + n > limit) break;
        at += n;
    }
    return at;
}

std::string qirMsgViewText::FormatLine(const char* format, std::vector<std::string> args, unsigned cuttable)
{
    if (!format) return "";
    for (int round = 0; round < 8; round++) {
        std::string line = qirFillFormat(format, args);
        if (line.size() <= LineLimit) return line;
        size_t over = line.size() - LineLimit;
        size_t longest = args.size();
        for (size_t i = 0; i < args.size(); i++)
            if ((cuttable >> i & 1) && (longest == args.size() || args[i].size() > args[longest].size())) longest = i;
        if (longest == args.size() || args[longest].empty()) return "";
        std::string& a = args[longest];
        a.resize(CutPoint(a, a.size() > over ? a.size() - over : 0));
    }
    return "";
}

std::string qirMsgViewText::AddressList(const qirList* addresses)
{
    std::string out;
    if (!addresses) return out;
    for (qirObject* n = addresses->First(); n; n = qirList::Next(n)) {
        std::string one = Str(static_cast<qirAddress*>(n)->FormatEnriched());
        for (char& c : one)
            if ((unsigned char)c < 0x20 || c == 0x7f) c = ' ';
        if (one.empty()) continue;
        if (out.empty()) {
            out = one.substr(0, CutPoint(one, LineLimit));
        } else {
            if (out.size() + 2 + one.size() > LineLimit) break;
            out += ", " + one;
        }
    }
    return out;
}

std::string qirMsgViewText::HeaderText(const qirMsg* message)
{
    std::string out;
    qirString configured = qirConfig.Get("HeaderViewFormat");
    if (!message || configured.IsEmpty()) return out;
    const char* format = Checked(configured.Text(), 4, builtInHeaderFormat, "HeaderViewFormat");
    auto line = [&](const qirString& nameColour, const std::string& name, const qirString& valueColour,
                    const std::string& value) {
        std::string l = WithoutLineEnds(FormatLine(format, {ColourName(nameColour), name, ColourName(valueColour), value}, 0xA));
        if (l.empty()) return;
        if (!out.empty()) out += lineBreak;
        out += l;
    };
    qirString mode = qirConfig.Get("ShowHeaderOrFields");
    if (mode.IsEmpty() || mode.EqualsIgnoreCase("Header")) {
        qirString nameColour = qirConfig.Get("Colors.sColorHeaderHandler");
        qirString valueColour = qirConfig.Get("Colors.sColorHeaderValue");
        if (const qirHeaderFields* fields = message->Fields())
            for (qirPair* p = fields->First(); p; p = qirPairList::Next(p))
                line(nameColour, Escape(p->Key() ? p->Key()->Text() : ""),
                     valueColour, Escape(p->Value() ? p->Value()->Text() : ""));
        return out;
    }
    const qirConfiguration* shown = qirConfig.Find("HeaderShow");
    if (!shown) return out;
    for (const qirConfiguration* c = shown->FirstChild(); c; c = qirConfiguration::NextChild(c)) {
        qirString field = c->Value(0);
        qirString nameColour = c->Value(1), valueColour = c->Value(2);
        if (field.IsEmpty()) continue;
        struct List {
            const char* name;
            int text;
            qirList* list;
        } lists[] = {{"To:", textTo, message->To()},          {"From:", textFrom, message->From()},
                     {"Reply-To:", textReplyTo, message->ReplyTo()}, {"CC:", textCc, message->Cc()},
                     {"BCC:", textBcc, message->Bcc()}};
        int done = 0;
        for (const List& l : lists) {
            if (!field.EqualsIgnoreCase(l.name)) continue;
            done = 1;
            if (l.list && !l.list->IsEmpty())
                line(nameColour, Escape(qirLanguage.Text(l.text)), valueColour, AddressList(l.list));  // catalogue: 216-220
        }
        if (done) continue;
        if (field.EqualsIgnoreCase("Subj:") || field.EqualsIgnoreCase("Subject:")) {
            line(nameColour, Escape(qirLanguage.Text(textSubject)), valueColour,
                 Escape(message->Subject() ? message->Subject()->Text() : ""));
        } else if (field.EqualsIgnoreCase("Date:")) {
            line(nameColour, Escape(qirLanguage.Text(textDate)), valueColour,
                 Escape(Str(qirMsg::FormatDate(message, 0))));
        } else {
            const qirHeaderFields* fields = message->Fields();
            for (qirPair* p = fields ? fields->First() : nullptr; p; p = qirPairList::Next(p)) {
                if (!p->Key() || !p->Key()->EqualsIgnoreCase(field)) continue;
                line(nameColour, Escape(p->Key()->Text()), valueColour, Escape(p->Value() ? p->Value()->Text() : ""));
                break;
            }
        }
    }
    return out;
}

qirMsgComponent* qirMsgViewText::ShownPart(qirMsgComponent* body)
{
    qirMsgComponent* part = body;
    while (qirMsgMultipartComponent* multi = AsMultipart(part)) part = multi->First();
    return part;
}

std::vector<qirMsgComponent*> qirMsgViewText::AttachedParts(qirMsgComponent* body)
{
    std::vector<qirMsgComponent*> parts;
    if (qirMsgMultipartComponent* multi = AsMultipart(body)) {
        qirMsgComponent* p = multi->First();
        if (IsSingleText(p)) p = qirMsgMultipartComponent::Next(p);
        for (; p; p = qirMsgMultipartComponent::Next(p)) parts.push_back(p);
    } else if (body && !body->IsText()) {
        parts.push_back(body);
    }
    return parts;
}

namespace {

void CollectSingleParts(qirMsgComponent* part, std::vector<qirMsgComponent*>& out)
{
    if (qirMsgMultipartComponent* multi = AsMultipart(part)) {
        for (qirMsgComponent* p = multi->First(); p; p = qirMsgMultipartComponent::Next(p)) CollectSingleParts(p, out);
    } else if (part) {
        out.push_back(part);
    }
}

} // namespace

std::vector<qirMsgComponent*> qirMsgViewText::ListedParts(qirMsgComponent* body)
{
    std::vector<qirMsgComponent*> parts;
    if (!AsMultipart(body)) return AttachedParts(body);
    CollectSingleParts(body, parts);
    if (!parts.empty() && parts.front() == ShownPart(body) && IsSingleText(parts.front())) parts.erase(parts.begin());
    return parts;
}

std::string qirMsgViewText::PartListing(qirMsgComponent* body)
{
    std::string out;
    if (!AsMultipart(body)) return out;
    const char* format = Checked(qirLanguage.Text(textPart), 4, builtInPartFormat, "Catalogue text 215");
    std::string attachColour = ColourName(qirConfig.Get("Colors.sColorAttachment"));
    std::string sizeColour = ColourName(qirConfig.Get("Colors.sColorSize"));
    for (qirMsgComponent* part : ListedParts(body)) {
        const qirContentType& type = part->ContentType();
        std::string header = Str(type.header);
        size_t start = header.find_first_not_of(" \t\r\n");
        header = start == std::string::npos ? "" : header.substr(start);
        while (!header.empty() && strchr(" \t\r\n", header.back())) header.pop_back();
        if (header.empty()) header = std::string(Str(type.type)) + "/" + Str(type.subtype);
        std::string l = WithoutLineEnds(
            FormatLine(format, {attachColour, Escape(header.c_str(), LineLimit, 1), sizeColour, std::to_string(part->Size())},
                       0x2));
        if (l.empty()) continue;
        // A blank line between the text and the first listed part.
        out += out.empty() ? "\n\n\n" : lineBreak;
        out += l;
    }
    return out;
}

std::string qirMsgViewText::FolderValue(const qirString& name)
{
    auto len = [](int n) { return (int)strlen(qirLanguage.Text(n)); };
    int width = len(textSize) + len(textStatus) + len(textPosition) - len(textFolder) + 31;
    if (width < 40) width = 40;
    std::string text = name.IsEmpty() ? "Unnamed" : Str(name);
    // Cut to the width without leaving half a character.
    size_t at = 0, count = 0;
    while (at < text.size() && count < (size_t)width) {
        size_t n = (unsigned char)text[at] >= 0x80 ? Utf8Length((const unsigned char*)text.data() + at, text.size() - at) : 1;
        at += n ? n : 1;
        count++;
    }
    text.resize(at);
    return std::string(width - count, ' ') + text;
}

std::string qirMsgViewText::SizeValue(long size)
{
    char format[16], out[64];
    snprintf(format, sizeof format, "%%%dld", 10);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    snprintf(out, sizeof out, format, size);
#pragma GCC diagnostic pop
    return out;
}

std::string qirMsgViewText::StatusValue(int read, int removed)
{
    const char* text = qirLanguage.Text(removed ? textDeleted : read ? textRead : textUnread);
    char out[256];
    snprintf(out, sizeof out, "%10s", text);
    return out;
}

std::string qirMsgViewText::PositionValue(long position, long count)
{
    char value[64], out[64];
    snprintf(value, sizeof value, "%ld/%ld", position + 1, count);
    snprintf(out, sizeof out, "%9s", value);
    return out;
}

std::string qirMsgViewText::AttachLabel(const qirContentType& type, long size)
{
    // The name as the message gives it, for the eye only: control bytes
    // hidden, at most 64 characters.
    std::string name;
    const char* raw = Str(type.partName);
    size_t n = strlen(raw), count = 0;
    for (size_t i = 0; i < n && count < 64; count++) {
        unsigned char c = (unsigned char)raw[i];
        size_t u = c >= 0x80 ? Utf8Length((const unsigned char*)raw + i, n - i) : 0;
        if (u) {
            name.append(raw + i, u);
            i += u;
            continue;
        }
        name += c < 0x20 || c == 0x7f ? '?' : (char)c;
        i++;
    }
    std::string kind = std::string(Str(type.type)) + "/" + Str(type.subtype);
    if (kind.size() > 100) kind.resize(100);
    for (char& c : kind)
        if ((unsigned char)c < 0x20 || (unsigned char)c >= 0x7f) c = '?';
    char head[512];
    snprintf(head, sizeof head, "%s %20s", kind.c_str(), name.c_str());
    char out[640];
    if (size <= 1024)
        snprintf(out, sizeof out, "%-25s (%4dB)", head, (int)size);
    else if (size <= 10240)
        snprintf(out, sizeof out, "%-25s (%2.1fK)", head, size / 1024.0);
    else
        snprintf(out, sizeof out, "%-25s (%4dK)", head, (int)(size / 1024));
    return out;
}

const char* qirMsgViewText::AttachIconFile(const char* mainType)
{
    static const char* const types[] = {"application", "audio", "image", "message", "multipart", "text", "video"};
    static const char* const files[] = {"application.tif", "audio.tif", "image.tif", "message.tif",
                                        "multipart.tif",   "text.tif",  "video.tif"};
    for (size_t i = 0; i < sizeof types / sizeof types[0]; i++)
        if (mainType && strcasecmp(mainType, types[i]) == 0) return files[i];
    return "application.tif";
}
