#include "qirAddrBookEntry.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "qirMsg.h"
#include "qirStatus.h"

namespace {

// One line of any length without its line feed: 0, or 1 at the end of the
// input with nothing read.  A last line without a line feed still counts.
int ReadWholeLine(FILE* stream, std::string* out)
{
    out->clear();
    int c;
    int any = 0;
    while ((c = getc(stream)) != EOF) {
        any = 1;
        if (c == '\n') return 0;
        if (c != 0) *out += static_cast<char>(c);
    }
    return any ? 0 : 1;
}

std::string Trimmed(const char* text)
{
    std::string s = text ? text : "";
    size_t n = s.size();
    while (n > 0 && strchr(" \t\r\n", s[n - 1])) --n;
    s.resize(n);
    return s;
}

// A record line cannot hold a line break; it is written as a blank.
int WriteField(FILE* stream, const qirString& text)
{
    std::string s = Trimmed(text.Text());
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    s += '\n';
    return fwrite(s.data(), 1, s.size(), stream) == s.size() ? 0 : 1;
}

} // namespace

qirAddrBookEntry::qirAddrBookEntry() : qirObject(11) {}

qirAddrBookEntry::qirAddrBookEntry(const qirAddrBookEntry& other) : qirObject(11) { Assign(other); }

qirAddrBookEntry::qirAddrBookEntry(const qirMsg& msg) : qirObject(11)
{
    const qirList* list = msg.ReplyTo() && msg.ReplyTo()->First() ? msg.ReplyTo() : msg.From();
    const qirAddress* sender = list ? static_cast<const qirAddress*>(list->First()) : nullptr;
    qirString organisation("");
    static const char* const names[] = {"Organization:", "Organisation:", "X-Organization:", "X-Organisation:"};
    if (const qirHeaderFields* fields = msg.Fields()) {
        for (const char* name : names) {
            if (const qirString* value = fields->FindValue(name)) {
                organisation = *value;
                break;
            }
        }
    }
    SetFromSender(sender ? *sender : qirAddress("", ""), organisation);
}

qirAddrBookEntry::~qirAddrBookEntry() {}

void qirAddrBookEntry::Assign(const qirAddrBookEntry& other)
{
    if (&other == this) return;
    alias_ = other.alias_;
    fullName_ = other.fullName_;
    organisation_ = other.organisation_;
    address_ = other.address_;
    kind_ = other.kind_;
    first_ = other.first_;
    second_ = other.second_;
    third_ = other.third_;
}

int qirAddrBookEntry::Read(FILE* stream)
{
    if (!stream) return qirUnreadable;
    std::string lines[4];
    int blank = 1;
    for (int i = 0; i < 4; ++i) {
        if (ReadWholeLine(stream, &lines[i]) != 0) return blank ? 1 : qirUnreadable;
        if (!Trimmed(lines[i].c_str()).empty()) blank = 0;
    }
    std::string numbers;
    if (ReadWholeLine(stream, &numbers) != 0) return blank ? 1 : qirUnreadable;
    int kind;
    unsigned int first;
    long second, third;
    char rest;
    // Exactly four numbers: anything else on the line means the records are
    // out of step, and reading on would only make wrong entries.
    if (sscanf(numbers.c_str(), "%d %u %ld %ld %c", &kind, &first, &second, &third, &rest) != 4) {
        if (blank && Trimmed(numbers.c_str()).empty()) {
            // Only blank lines so far: the end, unless more text follows.
            std::string more;
            while (ReadWholeLine(stream, &more) == 0)
                if (!Trimmed(more.c_str()).empty()) return qirUnreadable;
            return 1;
        }
        return qirUnreadable;
    }
    alias_ = Trimmed(lines[0].c_str()).c_str();
    fullName_ = Trimmed(lines[1].c_str()).c_str();
    organisation_ = Trimmed(lines[2].c_str()).c_str();
    address_ = Trimmed(lines[3].c_str()).c_str();
    kind_ = kind;
    first_ = first;
    second_ = second;
    third_ = third;
    return qirOK;
}

int qirAddrBookEntry::Write(FILE* stream) const
{
    if (!stream) return qirWriteError;
    if (WriteField(stream, alias_) || WriteField(stream, fullName_) || WriteField(stream, organisation_) ||
        WriteField(stream, address_))
        return qirWriteError;
    if (fprintf(stream, "%d %u %ld %ld\n", kind_, first_, second_, third_) < 0) return qirWriteError;
    return qirOK;
}

qirAddress* qirAddrBookEntry::ToAddress() const
{
    qirAddress* a = new qirAddress();
    a->SetFullName(fullName_);
    a->SetMailbox("");
    switch (kind_) {
    case CompuServe:
        a->FromCompuServe(address_.Text() ? address_.Text() : "");
        break;
    case FidoNet:
        a->FromFidoNet(address_.Text() ? address_.Text() : "", nullptr);
        break;
    default:
        a->SetMailbox(address_);
        break;
    }
    return a;
}

void qirAddrBookEntry::SetFromSender(const qirAddress& sender, const qirString& organisation)
{
    fullName_ = Trimmed(sender.FullName().Text()).c_str();
    std::string mailbox = Trimmed(sender.Mailbox().Text());
    address_ = mailbox.c_str();
    organisation_ = Trimmed(organisation.Text()).c_str();
    size_t at = mailbox.find('@');
    alias_ = at == std::string::npos ? "nobody" : Trimmed(mailbox.substr(0, at).c_str()).c_str();
    kind_ = 0;
    first_ = 0;
    second_ = 0;
    third_ = 0;
}
