// libFuzzer target: every field parser, run the way the message import runs
// it (field name token, parser, then the rest of the field to its end),
// stays inside its input, appends only whole addresses and always leaves
// the scanner at the end of the field.  The raw bytes also go straight into
// the date, zone and unquote helpers, which take any text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qirAddress.h"
#include "qirContentType.h"
#include "qirFieldParsers.h"
#include "qirHeaderScanner.h"
#include "qirList.h"

static const char* const names[] = {
    "TO:", "CC:", "BCC:", "REPLY-TO:", "FROM:", "SENDER:", "DATE:", "SUBJECT:", "X-FACE:", "X-OTHER:",
    "CONTENT-TYPE:", "CONTENT-DISPOSITION:", "CONTENT-TRANSFER-ENCODING:",
};

static void Drain(size_t limit)
{
    for (size_t i = 0; qirHeaderScanner::nextToken() != qirTokEnd; ++i)
        if (i > limit) abort(); // the scanner must reach the end by itself
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    std::string value(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string field = names[data[0] % (sizeof names / sizeof names[0])] + value;
    const char* text = field.c_str();
    const char* end = text + strlen(text);
    size_t limit = 3 * field.size() + 3;

    qirScanInput = text;
    int t = qirHeaderScanner::nextToken();
    qirList list;
    qirContentType ct;
    switch (t) {
    case qirTokTo: case qirTokCc: case qirTokBcc: case qirTokReplyTo:
        qirParseAddressList(&list, qirTokEnd);
        break;
    case qirTokFrom: case qirTokSender:
        qirParseMailboxList(&list, qirTokEnd);
        break;
    case qirTokDate:
        if (qirHeaderScanner::nextToken() == qirTokDateText) (void)qirParseDate(qirScanText);
        break;
    case qirTokSubject: case qirTokXFace: {
        char* rest = qirScanRestAsText();
        if (!rest || strlen(rest) > field.size()) abort();
        free(rest);
        break;
    }
    case qirTokContentType:
        qirParseContentType(&ct);
        break;
    case qirTokContentDisposition:
        qirParseContentDisposition(&ct);
        break;
    case qirTokTransferEncoding:
        qirParseTransferEncoding(&ct);
        if (ct.encoding < 0 || ct.encoding > 7) abort();
        break;
    default:
        break;
    }
    if (qirScanInput < text || qirScanInput > end) abort();
    Drain(limit);
    for (qirObject* o = list.First(); o; o = qirList::Next(o)) {
        qirAddress* a = static_cast<qirAddress*>(o);
        if (!a->Mailbox().Text()) abort(); // every appended address has its mailbox
        (void)a->Format();
        (void)a->FormatEnriched();
    }
    list.Remove(nullptr);
    free(qirHeaderScanner::TakeComment());

    // The helpers on any text at all.
    (void)qirParseDate(value.c_str());
    (void)qirZoneOffset(value.c_str());
    std::string copy = value;
    size_t before = strlen(copy.c_str());
    if (strlen(qirUnquote(&copy[0])) > before) abort();
    qirUpcase(&copy[0]);
    return 0;
}
