// The outgoing side of qirMsg: the header for sending, MIME export, the
// date text, reply, resend and send.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <vector>

#include "qirAddress.h"
#include "qirAtomicFile.h"
#include "qirClock.h"
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirFormat.h"
#include "qirLanguageGroup.h"
#include "qirMailAgent.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirMsgMultipartComponent.h"
#include "qirStatus.h"
#include "qirTempFile.h"
#include "qirTextConvert.h"
#include "qirUtilities.h"

static const char sourceName[] = "qirMsg";

static const char* Str(const qirString& s) { return s.Text() ? s.Text() : ""; }
static const char* Str(const qirString* s) { return s && s->Text() ? s->Text() : ""; }

#define QIR_REPORT(level, ...) \
    do { \
        if (qirLog) qirLog->Report(level, __VA_ARGS__); \
    } while (0)

// ---------------------------------------------------------------- helpers

static qirString JoinAddresses(const qirList* list)
{
    qirString out("");
    for (qirObject* o = list->First(); o; o = qirList::Next(o)) {
        if (o != list->First()) out.Append(", ");
        out.Append(static_cast<const qirAddress*>(o)->Format());
    }
    return out;
}

// A field name without its colon and trailing blanks equals word, ignoring case.
static int NameIs(const qirString* field, const char* word)
{
    const char* s = Str(field);
    size_t n = strlen(s);
    while (n > 0 && (s[n - 1] == ':' || s[n - 1] == ' ' || s[n - 1] == '\t')) --n;
    return n == strlen(word) && strncasecmp(s, word, n) == 0;
}

// A line of mail holds at most 998 characters besides its line end
// (RFC 5322); SMTP servers refuse longer ones.
static const size_t kMaxLine = 998;

// Writes one line of a field, folded before a blank wherever it would pass
// kMaxLine from column (what the line already holds): unfolding gives the
// text back as it was.  A word longer than a line stays whole.
static void WriteFolded(FILE* out, const std::string& text, size_t column)
{
    size_t from = 0;
    while (column + text.size() - from > kMaxLine) {
        size_t cut = text.rfind(' ', from + kMaxLine - column);
        if (cut == std::string::npos || cut <= from) cut = text.find(' ', from + 1);
        if (cut == std::string::npos) break;
        fwrite(text.data() + from, 1, cut - from, out);
        fputc('\n', out);
        from = cut;
        column = 0;
    }
    fwrite(text.data() + from, 1, text.size() - from, out);
}

// A value with line breaks cannot start a field of its own: every break is
// written as a fold (line feed and a blank), empty lines are dropped.  The
// value starts at column (after the field's name and its blank).
static void WriteValue(FILE* out, const char* v, size_t column)
{
    std::string line;
    int pendingBreak = 0;
    for (const char* p = v; *p; ++p) {
        if (*p == '\n' || *p == '\r') {
            pendingBreak = 1;
            continue;
        }
        if (pendingBreak) {
            WriteFolded(out, line, column);
            fputc('\n', out);
            line.assign(*p != ' ' && *p != '\t' ? " " : "");
            column = 0;
            pendingBreak = 0;
        }
        line += *p;
    }
    WriteFolded(out, line, column);
}

// A header text as one line: each run of blanks and line breaks becomes
// one blank, none at either end.  Each attachment of a quote is one quoted
// line, also for a header built over several lines.
static std::string OneLine(const char* text)
{
    std::string out;
    bool blank = false;
    for (const char* p = text; *p; ++p) {
        if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += *p;
    }
    return out;
}

// ---------------------------------------------------------------- header and export

int qirMsg::BuildHeader()
{
    Need();
    fields_->Add("From:", Str(JoinAddresses(from_)));
    fields_->Add("Subject:", Str(subject_));
    fields_->Add("To:", Str(JoinAddresses(to_)));
    if (!cc_->IsEmpty()) fields_->Add("CC:", Str(JoinAddresses(cc_)));
    if (!bcc_->IsEmpty()) fields_->Add("BCC:", Str(JoinAddresses(bcc_)));
    if (!replyTo_->IsEmpty()) fields_->Add("Reply-To:", Str(JoinAddresses(replyTo_)));
    fields_->Add("Date:", Str(FormatDate(this, 0)));
    fields_->Add("X-Mailer:", Str(qirVersionString()));
    fields_->Add("Mime-Version:", "1.0");
    char key[32];
    for (int n = 0; n < 255; ++n) {
        snprintf(key, sizeof key, "Header.%d", n);
        qirString name = qirConfig.Get(key, 0);
        if (name.IsEmpty()) continue;
        fields_->Add(Str(name), Str(qirConfig.Get(key, 1)));
    }
    if (!face_->IsEmpty()) fields_->Add("X-Face:", face_->Text());
    modified_ = 1;
    return qirOK;
}

namespace {
// Passes writes through to the target stream and remembers the last byte,
// so that the export can end its text with a line feed on any stream.
struct qirTailCookie {
    FILE* target;
    int last;
};

ssize_t TailWrite(void* cookie, const char* data, size_t n)
{
    qirTailCookie* c = static_cast<qirTailCookie*>(cookie);
    if (n == 0) return 0;
    size_t done = fwrite(data, 1, n, c->target);
    if (done > 0) c->last = (unsigned char)data[done - 1];
    return done == n ? (ssize_t)n : -1;
}
} // namespace

int qirMsg::ExportMIME(FILE* target, int withBcc)
{
    // Never a letter made of what a failed load left.
    if (int whole = Whole()) return whole;
    if (!target) return qirNotOpen;
    qirTailCookie cookie{target, '\n'};
    cookie_io_functions_t io{nullptr, TailWrite, nullptr, nullptr};
    FILE* out = fopencookie(&cookie, "w", io);
    if (!out) return qirNoMemory;

    // Only the last MIME-Version field is written (the built one when there
    // is one); the stored Content-* fields give way to the built ones.
    qirPair* version = nullptr;
    for (qirPair* p = fields_->First(); p; p = qirHeaderFields::Next(p))
        if (NameIs(p->Key(), "MIME-Version")) version = p;
    for (qirPair* p = fields_->First(); p; p = qirHeaderFields::Next(p)) {
        const qirString* name = p->Key();
        if (NameIs(name, "Content-Type") || NameIs(name, "Content-Transfer-Encoding") ||
            NameIs(name, "Content-Disposition") || NameIs(name, "Content-Description"))
            continue;
        if (NameIs(name, "MIME-Version") && p != version) continue;
        if (!withBcc && (NameIs(name, "Bcc") || NameIs(name, "Resent-Bcc"))) continue;
        fputs(Str(name), out);
        fputc(' ', out);
        WriteValue(out, Str(p->Value()), strlen(Str(name)) + 1);
        fputc('\n', out);
    }
    if (!version) fputs("MIME-Version: 1.0\n", out);

    if (body_) *contentType_ = body_->ContentType();
    contentType_->BuildHeader();
    fputs(Str(contentType_->header), out);
    fputc('\n', out);

    int r = qirOK;
    if (body_) {
        r = body_->ExportBody(out, Str(contentType_->boundary));
        if (r != qirOK) QIR_REPORT(qirLogError, "Error(<%s>,%d):Error ExportMIME", sourceName, __LINE__);
    }
    if (fflush(out) != 0 && r == qirOK) r = qirWriteError;
    if (cookie.last != '\n') fputc('\n', out);
    if (fclose(out) != 0 && r == qirOK) r = qirWriteError;
    if (ferror(target) && r == qirOK) r = qirWriteError;
    return r;
}

qirString qirMsg::FormatDate(const qirMsg* message, time_t t)
{
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (t == 0 && message) t = message->Date();
    struct tm tm;
    if (!localtime_r(&t, &tm)) {
        time_t zero = 0;
        localtime_r(&zero, &tm);
    }
    // The offset in force at that date, not the zone's standard one: a zone
    // with a daylight-saving rule is an hour further east only in summer.
    long east = tm.tm_gmtoff;
    char sign = east < 0 ? '-' : '+';
    if (east < 0) east = -east;
    qirString out;
    out.Format("%s, %d %s %d %02d:%02d:%02d %c%02ld%02ld %s", days[tm.tm_wday % 7], tm.tm_mday,
               months[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec, sign, east / 3600,
               (east % 3600) / 60, tm.tm_isdst > 0 ? "(DST)" : "");
    return out;
}

// ---------------------------------------------------------------- reply and quote

int qirMsg::MakeReply(const qirMsg* source, int quote)
{
    if (!source) return qirNotOpen;
    if (int whole = source->Whole()) return whole;
    Need();
    qirCopyAddresses(to_, source->replyTo_->IsEmpty() ? source->from_ : source->replyTo_);
    const char* subject = Str(source->subject_);
    if (strncasecmp(subject, "Re:", 3) == 0) *subject_ = subject;
    else *subject_ = qirString("Re: ").Concat(subject);
    modified_ = 1;
    if (quote) QuoteOriginal(source);
    int r = Save();
    if (r != qirOK) QIR_REPORT(qirLogError, "Error(<%s>,%d) Error saving msg!", sourceName, __LINE__);
    return r;
}

qirString qirMsg::SenderInitials(const qirMsg* message)
{
    const qirAddress* a = message ? static_cast<const qirAddress*>(message->from_->First()) : nullptr;
    if (!a) return qirString("<nobody>");
    qirString name = a->FullName(), mailbox = a->Mailbox();
    if (!name.IsEmpty()) {
        int blank = name.IndexOf(' ');
        if (blank < 0) return name;
        qirString out = name.Left(1);
        if (blank + 1 < name.Length()) out.Append(name.CharAt(blank + 1));
        return out;
    }
    if (mailbox.IsEmpty()) return qirString("<nobody>");
    int at = mailbox.IndexOf('@');
    return at < 0 ? mailbox : mailbox.Left(at);
}

// The text part of a body: the body itself when it is a single text part,
// else a text first part of a multipart body; null when there is none.
static qirMsgComponent* TextPart(qirMsgComponent* body)
{
    if (!body) return nullptr;
    if (!body->IsMultipart()) return body->IsText() ? body : nullptr;
    qirMsgComponent* first = static_cast<qirMsgMultipartComponent*>(body)->First();
    return first && !first->IsMultipart() && first->IsText() ? first : nullptr;
}

static int CopyStream(FILE* in, FILE* out)
{
    char buffer[8192];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, in)) > 0)
        if (fwrite(buffer, 1, n, out) != n) return 1;
    return ferror(in) ? 1 : 0;
}

int qirMsg::QuoteOriginal(const qirMsg* source)
{
    if (!source) return qirNotOpen;
    Need();
    source->Need();
    qirMsgComponent* from = TextPart(source->body_);
    qirMsgComponent* to = TextPart(body_);
    FILE* in = nullptr;
    if (from) {
        in = fopen(Str(from->Path()), "r");
        if (!in) {
            QIR_REPORT(qirLogError, "ERROR(<%s>,%d): Error open file:<%s>", sourceName, __LINE__, Str(from->Path()));
            return qirCannotOpen;
        }
    }
    // The quote replaces the text through a temporary file: a failure leaves
    // the old text.
    qirAtomicFile file(to ? Str(to->Path()) : nullptr);
    if (!to || file.Open() != qirOK) {
        QIR_REPORT(qirLogError, "ERROR(<%s>,%d): Error open file: <%s>", sourceName, __LINE__,
                   to ? Str(to->Path()) : "");
        if (in) fclose(in);
        return qirCannotOpen;
    }
    FILE* out = file.Stream();

    qirString initials = SenderInitials(source);
    qirString header = qirConfig.Get("Reply.HeaderFormatString");
    if (!header.IsEmpty()) {
        const qirAddress* a = static_cast<const qirAddress*>(source->from_->First());
        std::string who = std::string(Str(initials)) + " == " + (a ? Str(a->Format()) : "<nobody>");
        fputs(qirFillFormat(Str(header), {who, Str(FormatDate(source, 0))}).c_str(), out);
    }
    std::string prefix = Str(qirConfig.Get("Reply.QuottingString"));
    size_t mark = prefix.find("%s");
    if (mark != std::string::npos) prefix.replace(mark, 2, Str(initials));

    int failed = 0;
    if (in) {
        FILE* temp = qirTempFile();
        if (!temp) {
            fclose(in);
            file.Abort();
            return qirCannotOpen;
        }
        if (from->ContentType().IsEnriched()) failed = enriched_to_plain(in, temp, 70);
        else if (to->ContentType().IsEnriched()) failed = plain_to_enriched(in, temp);
        else failed = CopyStream(in, temp);
        fclose(in);
        rewind(temp);
        // Whole lines, so a long line gets its prefix once.
        char* line = nullptr;
        size_t size = 0;
        ssize_t n;
        while ((n = getline(&line, &size, temp)) > 0) {
            fputs(prefix.c_str(), out);
            fwrite(line, 1, (size_t)n, out);
            if (line[n - 1] != '\n') fputc('\n', out);
        }
        free(line);
        fclose(temp);

        if (source->body_->IsMultipart()) {
            qirMsgMultipartComponent* multi = static_cast<qirMsgMultipartComponent*>(source->body_);
            fprintf(out, "%s\n", prefix.c_str());
            for (qirMsgComponent* p = multi->First(); p; p = qirMsgMultipartComponent::Next(p)) {
                if (p == from) continue;
                qirContentType ct(p->ContentType());
                if (ct.header.IsEmpty()) ct.BuildHeader();
                std::string text = qirFillFormat(qirLanguage.Text(225), {OneLine(Str(ct.header)), std::to_string(p->Size())});
                if (text.empty() || text.back() != '\n') text += '\n';
                fprintf(out, "%s\n%s%s", prefix.c_str(), prefix.c_str(), text.c_str());
            }
        }
    }
    if (failed) {
        file.Abort();
        QIR_REPORT(qirLogError, "ERROR(<%s>,%d): Error converting <%s>", sourceName, __LINE__, Str(from->Path()));
        return qirCannotOpen;
    }
    if (file.Commit() != qirOK) {
        QIR_REPORT(qirLogError, "ERROR(<%s>,%d): Error open file: <%s>", sourceName, __LINE__, Str(to->Path()));
        return qirCannotOpen;
    }
    return qirOK;
}

// ---------------------------------------------------------------- resend and send

int qirMsg::MakeResend(const qirMsg* source)
{
    if (!source) return qirNotOpen;
    if (int whole = source->Whole()) return whole;
    Need();
    FillDefaults();
    qirList from, replyTo;
    qirCopyAddresses(&from, from_);
    qirCopyAddresses(&replyTo, replyTo_);
    from_->Remove(nullptr);
    replyTo_->Remove(nullptr);
    int r = CopyFrom(source);
    if (r != qirOK) {
        QIR_REPORT(qirLogError, "Error loading from msg");
        from.Remove(nullptr);
        replyTo.Remove(nullptr);
        return qirFailed;
    }
    to_->Remove(nullptr);
    if (!from.IsEmpty()) fields_->Add("Resent-From:", Str(JoinAddresses(&from)));
    if (!replyTo.IsEmpty()) fields_->Add("Resent-Reply-To:", Str(JoinAddresses(&replyTo)));
    fields_->Add("Resent-Date:", Str(FormatDate(this, qirNow())));
    subject_->Append("  (fwd)");
    from.Remove(nullptr);
    replyTo.Remove(nullptr);
    modified_ = 1;
    return qirOK;
}

int qirMsg::FillDefaults()
{
    Need();
    if (from_->IsEmpty()) {
        char* mailbox = qirUserAddress();
        char* name = qirUserFullName();
        qirAddress a(mailbox, name);
        from_->Append(new qirAddress(a));
        delete[] mailbox;
        delete[] name;
        modified_ = 1;
    }
    if (date_ == 0) {
        date_ = qirNow();
        modified_ = 1;
    }
    return qirOK;
}

// A 7bit part holding 8-bit bytes gets the configured encoding.  The name
// is matched ignoring case; a value that names no encoding changes nothing
// but a "7bit" label, which would be false over 8-bit text.
static void Reencode(qirMsgComponent* part)
{
    if (!part || part->IsMultipart() || part->Encoding() != qirEnc7bit) return;
    if (qirIs7BitFile(Str(part->Path())) != 0) return;
    qirString wanted = qirConfig.Get("Default8BitEncoding");
    for (int i = 0; i < qirEncodingTableSize; ++i) {
        if (!wanted.IsEmpty() && wanted.EqualsIgnoreCase(qirEncodingTable[i].name)) {
            part->ContentType().SetEncoding(qirEncodingTable[i].name);
            return;
        }
    }
    QIR_REPORT(qirLogWarning, "Default8BitEncoding \"%s\" is no transfer encoding; <%s> is sent as it is",
               Str(wanted), Str(part->Path()));
    if (part->ContentType().encodingName.EqualsIgnoreCase("7bit")) part->ContentType().SetEncoding("8bit");
}

int qirMsg::LoadOwnXFace(const char* path)
{
    qirString file(path ? path : "");
    int chosen = 1; // named by the caller or the configuration
    if (!path) {
        file = qirPath(qirConfig.Get("OwnFaceFile", 0));
        if (file.IsEmpty()) {
            char* home = qirHomeDirectory();
            file = qirString(home ? home : "").Concat("/.xface.pbm");
            delete[] home;
            chosen = 0;
        }
    }
    if (face_->ReadPBM(Str(file)) != qirOK) {
        // Most users have no picture: only one they chose or put in place
        // and that cannot be read is worth a word.
        struct stat st;
        if (chosen || lstat(Str(file), &st) == 0) QIR_REPORT(qirLogWarning, "Can't load PBMFile: <%s> ", Str(file));
        face_->Clear();
        return qirFailed;
    }
    modified_ = 1;
    return qirOK;
}

int qirMsg::Send(qirMailAgent* agent)
{
    Need();
    if (body_ && body_->IsMultipart()) {
        qirMsgMultipartComponent* multi = static_cast<qirMsgMultipartComponent*>(body_);
        for (qirMsgComponent* p = multi->First(); p; p = qirMsgMultipartComponent::Next(p)) Reencode(p);
    } else {
        Reencode(body_);
    }
    FillDefaults();
    BuildHeader();
    modified_ = 1;
    // What is sent must be what is kept: an unsaved message is not sent.
    int r = Save();
    if (r != qirOK) {
        QIR_REPORT(qirLogError, "Error(<%s>,%d) Error saving msg!", sourceName, __LINE__);
        return r;
    }
    return agent ? agent->Send(this) : qirOK;
}
