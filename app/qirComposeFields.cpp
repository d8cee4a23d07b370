#include "qirComposeFields.h"

#include "qirAddrBook.h"
#include "qirAddrBookEntry.h"
#include "qirAddress.h"
#include "qirFieldParsers.h"
#include "qirFormat.h"
#include "qirHeaderScanner.h"
#include "qirStatus.h"
#include "qirUtilities.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* Str(const qirString& s) { return s.Text() ? s.Text() : ""; }

}  // namespace

qirString qirComposeFields::Clean(const char* text) {
    std::string s = text ? text : "";
    for (char& c : s)
        if (c == '\r' || c == '\n')
            c = ' ';
    size_t begin = s.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return qirString("");
    size_t end = s.find_last_not_of(" \t");
    return qirString(s.substr(begin, end - begin + 1).c_str());
}

int qirComposeFields::ParseAddresses(const char* text, qirList* list, qirString* error) {
    list->Remove(nullptr);
    qirString value = Clean(text);
    if (value.IsEmpty())
        return qirOK;
    // Every field goes through the scanner as a To field: the same rules for
    // all three.
    std::string input = std::string("TO:") + Str(value);
    qirHeaderScanner::Reset();
    qirScanInput = input.c_str();
    int r = qirOK;
    int token = qirHeaderScanner::nextToken();
    if (token == qirTokTo) {
        if (qirParseAddressList(list, qirTokEnd) != qirOK) {
            error->Format("Unexpected symbols '%s' in '%s'", qirScanText ? qirScanText : "", input.c_str());
            r = qirFailed;
        }
    } else {
        error->Format("Internal parser ERROR in %s", qirScanText ? qirScanText : "");
        r = qirFailed;
    }
    // The scanner's state carries over: the field is read to its end.
    while (token != qirTokEnd)
        token = qirHeaderScanner::nextToken();
    free(qirHeaderScanner::TakeComment());
    if (r != qirOK)
        list->Remove(nullptr);
    return r;
}

int qirComposeFields::ReplaceAliases(qirList* list, const qirAddrBook* book, const AskAlias& ask,
                                     qirString* error) {
    if (!book)
        return qirOK;
    for (qirObject* o = list->First(); o; o = qirList::Next(o)) {
        qirAddress* typed = static_cast<qirAddress*>(o);
        qirString alias = typed->Mailbox();
        if (alias.IsEmpty())
            continue;
        const qirAddrBookEntry* entry = book->Find(alias);
        if (!entry || !ask || !ask(*typed, *entry))
            continue;
        qirAddress* full = entry->ToAddress();
        if (full->Mailbox().IsEmpty()) {
            error->Format("The address book entry '%s' holds no address mail can be sent to: '%s'", Str(alias),
                          Str(entry->Address()));
            delete full;
            return qirFailed;
        }
        typed->SetMailbox(full->Mailbox());
        typed->SetFullName(full->FullName());
        delete full;
    }
    return qirOK;
}

qirList* qirComposeFields::AliasQuestion(const qirAddress& typed, const qirAddrBookEntry& entry, const char* format) {
    // The catalogue's text is used only when it takes the five texts given.
    if (!format || qirFormatArgumentCount(format) != 5)
        format = "The address '%s' is an alias of %s. Replace it by the address of %s, %s? (No sends to '%s' as "
                 "typed.)";
    qirString mailbox = typed.Mailbox(), name = entry.FullName(), address = entry.Address();
    std::string text = qirFillFormat(format, {Str(mailbox), Str(name), Str(name), Str(address), Str(mailbox)});
    qirList* lines = qirSplitText(qirString(text.c_str()), 40, " ,-\n\t");
    if (!lines)
        lines = new qirList;
    // Lines cut after a newline keep it; the dialog shows each as one line.
    for (qirObject* o = lines->First(); o; o = qirList::Next(o)) {
        qirString* line = static_cast<qirString*>(o);
        std::string s = Str(*line);
        while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
            s.pop_back();
        *line = s.c_str();
    }
    return lines;
}
