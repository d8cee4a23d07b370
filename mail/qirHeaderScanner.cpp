#include "qirHeaderScanner.h"

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

const char* qirScanInput = nullptr;
static char emptyText[1];
char* qirScanText = emptyText;
char* qirScanComment = nullptr;

namespace {

enum Mode {
    FieldName, Text, Date, AddressList, MailboxList, Group, LookAhead, Phrase,
    Angle, Commented, ContentType, Disposition, Parameter, ParameterValue,
    Encoding, XFace, StackError
};

int mode = FieldName;
int stack[qirHeaderScanner::StackDepth];
int depth = 0;
// Where the last call left the input: a moved pointer means a new field.
const char* lastPos = nullptr;
// The current token's text (qirScanText), grown as needed, never shrunk:
// set once per token, so it is kept simpler than a string.
char* text = nullptr;
size_t textRoom = 0;

// Look-ahead results remembered for the current input.  A failed match that
// ran to some point would be repeated from every later start inside the same
// run; remembering it keeps hostile text from costing quadratic time.
const char* runStart = nullptr; // field-name mode: the atom run [runStart, runEnd)
const char* runEnd = nullptr;
const char* runColon = nullptr; // past the colon after the run, or null
const char* phraseStart = nullptr; // a phrase scanned from phraseStart ends at phraseEnd
const char* phraseStop = nullptr;

void ForgetLookAhead()
{
    runStart = runEnd = runColon = nullptr;
    phraseStart = phraseStop = nullptr;
}

void Restart()
{
    mode = FieldName;
    depth = 0;
    ForgetLookAhead();
}

void SetText(const char* from, size_t n)
{
    if (n + 1 > textRoom) {
        size_t room = textRoom ? textRoom : 256;
        while (room < n + 1) room *= 2;
        char* grown = static_cast<char*>(realloc(text, room));
        if (!grown) {
            qirScanText = emptyText;
            return;
        }
        text = grown;
        textRoom = room;
    }
    memcpy(text, from, n);
    text[n] = '\0';
    qirScanText = text;
}

void Push(int m)
{
    if (depth < qirHeaderScanner::StackDepth) stack[depth++] = m;
}

void Pop() { mode = depth > 0 ? stack[--depth] : StackError; }

bool IsAtom(unsigned char c)
{
    if (c >= 128) return true;
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    return c && strchr("!#$%&'*+-/=?^_`{|}~", c);
}

// MIME tokens: atom characters but "/", "=" and "?"; a full stop belongs to
// a token as in RFC 2045 ("vnd.ms-excel", name=report.pdf).
bool IsMimeToken(unsigned char c)
{
    if (c == '.') return true;
    return IsAtom(c) && c != '/' && c != '=' && c != '?';
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

const char* Atoms(const char* p)
{
    while (IsAtom(static_cast<unsigned char>(*p))) ++p;
    return p;
}

// p at '"': past the closing quote, or null when the input ends first.
const char* Quoted(const char* p)
{
    for (++p; *p; ++p) {
        if (*p == '"') return p + 1;
        if (*p == '\\' && !*++p) return nullptr;
    }
    return nullptr;
}

// p at '(': past the matching ')', nested pairs counting, or null.
const char* Comment(const char* p)
{
    int level = 0;
    for (; *p; ++p) {
        if (*p == '\\') {
            if (!*++p) return nullptr;
        } else if (*p == '(') {
            ++level;
        } else if (*p == ')') {
            if (--level == 0) return p + 1;
        }
    }
    return nullptr;
}

const char* DomainLiteral(const char* p)
{
    for (++p; *p; ++p) {
        if (*p == ']') return p + 1;
        if (*p == '[') return nullptr;
        if (*p == '\\' && !*++p) return nullptr;
    }
    return nullptr;
}

const char* Word(const char* p)
{
    if (*p == '"') return Quoted(p);
    const char* e = Atoms(p);
    return e > p ? e : nullptr;
}

const char* SubDomain(const char* p)
{
    if (*p == '[') return DomainLiteral(p);
    const char* e = Atoms(p);
    return e > p ? e : nullptr;
}

// Past blanks, line feeds and closed comments from p.
const char* Cfws(const char* p)
{
    for (;;) {
        if (IsBlank(*p) || *p == '\n') {
            ++p;
        } else if (*p == '(') {
            const char* e = Comment(p);
            if (!e) return p;
            p = e;
        } else {
            return p;
        }
    }
}

// Pieces joined by full stops from p, each read by Piece; blanks, line
// feeds and comments around a full stop are passed over (old mailers
// wrote "test . example") and set *folded.  The pieces and their stops go
// to clean, when given.
template <const char* (*Piece)(const char*)>
const char* DotJoined(const char* p, std::string* clean, bool* folded)
{
    const char* e = Piece(p);
    if (!e) return nullptr;
    if (clean) clean->append(p, static_cast<size_t>(e - p));
    for (;;) {
        const char* stop = *e == '.' ? e : Cfws(e);
        if (*stop != '.') break;
        const char* w = Cfws(stop + 1);
        const char* n = Piece(w);
        if (!n) break;
        if (stop != e || w != stop + 1) *folded = true;
        if (clean) clean->append(1, '.').append(w, static_cast<size_t>(n - w));
        e = n;
    }
    return e;
}

// Local part (words joined by full stops), then "@" and a domain if one
// follows; null when p does not start a word.  Comments and blanks around
// the "@" and the full stops are no part of the address: *folded tells
// that there were some, and clean gets the address without them.
const char* Address(const char* p, bool* folded, std::string* clean = nullptr)
{
    if (clean) clean->clear();
    const char* e = DotJoined<Word>(p, clean, folded);
    if (!e) return nullptr;
    const char* at = *e == '@' ? e : Cfws(e);
    if (*at != '@') return e;
    const char* d = Cfws(at + 1);
    bool domainFolded = at != e || d != at + 1;
    size_t local = clean ? clean->size() : 0;
    if (clean) clean->append(1, '@');
    const char* end = DotJoined<SubDomain>(d, clean, &domainFolded);
    if (!end) {
        if (clean) clean->resize(local);
        return e;
    }
    if (domainFolded) *folded = true;
    return end;
}

// An obsolete source route before the address in angle brackets,
// "@a.test,@b.test:": past its colon, or null when p starts none.
const char* Route(const char* p)
{
    if (*p != '@' && *p != ',') return nullptr;
    for (;;) {
        p = Cfws(p);
        if (*p == ',') {
            ++p;
        } else if (*p == '@') {
            bool folded = false;
            p = DotJoined<SubDomain>(Cfws(p + 1), nullptr, &folded);
            if (!p) return nullptr;
        } else {
            return *p == ':' ? p + 1 : nullptr;
        }
    }
}

// The end of a phrase starting at the word at p: words (with the full stops
// of initials), blanks, line feeds and comments.
const char* PhraseEnd(const char* p)
{
    if (p >= phraseStart && p < phraseStop) return phraseStop;
    const char* q = p;
    for (;;) {
        const char* w;
        if (*q == '.') {
            ++q;
        } else if ((w = Word(q))) {
            q = w;
        } else if (IsBlank(*q) || *q == '\n') {
            ++q;
        } else if (*q == '(' && (w = Comment(q))) {
            q = w;
        } else {
            break;
        }
    }
    phraseStart = p;
    phraseStop = q;
    return q;
}

const char* TwoDigits(const char* p)
{
    return IsDigit(p[0]) && IsDigit(p[1]) ? p + 2 : nullptr;
}

const char* Blanks1(const char* p)
{
    if (!IsBlank(*p)) return nullptr;
    while (IsBlank(*p)) ++p;
    return p;
}

bool IsZoneChar(char c) { return IsLetter(c) || IsDigit(c) || c == '+' || c == '-'; }

// [Day ,] d[d] Mon yy[yy] h[h]:mm[:ss] [zone], fields apart by blanks or TABs.
const char* DateText(const char* p)
{
    const char* q = p;
    if (IsLetter(q[0]) && IsLetter(q[1]) && IsLetter(q[2])) {
        const char* r = q + 3;
        while (IsBlank(*r)) ++r;
        if (*r == ',') {
            ++r;
            while (IsBlank(*r)) ++r;
            q = r;
        }
    }
    if (!IsDigit(*q)) return nullptr;
    ++q;
    if (IsDigit(*q)) ++q;
    if (!(q = Blanks1(q))) return nullptr;
    if (!(IsLetter(q[0]) && IsLetter(q[1]) && IsLetter(q[2]))) return nullptr;
    q += 3;
    if (!(q = Blanks1(q))) return nullptr;
    int n = 0;
    while (n < 4 && IsDigit(q[n])) ++n;
    if (n < 2) return nullptr;
    q += n;
    if (!(q = Blanks1(q))) return nullptr;
    // The hour in one digit or two: "9:55" is common in real mail.
    if (!IsDigit(*q)) return nullptr;
    q += IsDigit(q[1]) ? 2 : 1;
    if (*q != ':' || !(q = TwoDigits(q + 1))) return nullptr;
    if (*q == ':' && TwoDigits(q + 1)) q += 3;
    const char* z = Blanks1(q);
    if (z && IsZoneChar(*z)) {
        while (IsZoneChar(*z)) ++z;
        q = z;
    }
    return q;
}

struct KnownField {
    const char* name;
    int token;
    int mode;
};

const KnownField fieldNames[] = {
    {"REPLY-TO", qirTokReplyTo, AddressList},
    {"FROM", qirTokFrom, MailboxList},
    {"SENDER", qirTokSender, MailboxList},
    {"DATE", qirTokDate, Date},
    {"TO", qirTokTo, AddressList},
    {"CC", qirTokCc, AddressList},
    {"BCC", qirTokBcc, AddressList},
    {"SUBJECT", qirTokSubject, Text},
    {"MIME-VERSION", qirTokMimeVersion, Text},
    {"CONTENT-TYPE", qirTokContentType, ContentType},
    {"X-FACE", qirTokXFace, XFace},
    {"CONTENT-TRANSFER-ENCODING", qirTokTransferEncoding, Encoding},
    {"CONTENT-DISPOSITION", qirTokContentDisposition, Disposition},
};

int Error(const char*& p)
{
    SetText(p, 1);
    ++p;
    mode = FieldName;
    return qirTokError;
}

// An unclosed comment: the input ends inside it.
int UnclosedComment(const char*& p)
{
    SetText("(", 1);
    p += strlen(p);
    mode = FieldName;
    return qirTokError;
}

int Token(const char*& p, const char* end, int token)
{
    SetText(p, static_cast<size_t>(end - p));
    p = end;
    return token;
}

// A token whose text is not the input as written (an address without its
// comments, a value without its quotes).
int CleanToken(const char*& p, const char* end, const std::string& clean, int token)
{
    SetText(clean.data(), clean.size());
    p = end;
    return token;
}

// The address from..end (an obsolete route before it, from p on, is
// dropped) as a token.  Most addresses are not folded and are taken as
// written.
int AddressToken(const char*& p, const char* from, const char* end, bool folded, int token)
{
    if (from == p && !folded) return Token(p, end, token);
    std::string clean;
    Address(from, &folded, &clean);
    return CleanToken(p, end, clean, token);
}

int ScanFieldName(const char*& p)
{
    if (!IsAtom(static_cast<unsigned char>(*p))) return Error(p);
    if (!(p >= runStart && p < runEnd)) {
        runStart = p;
        runEnd = Atoms(p);
        const char* q = runEnd;
        while (IsBlank(*q)) ++q;
        runColon = *q == ':' ? q + 1 : nullptr;
    }
    size_t n = static_cast<size_t>(runEnd - p);
    const char* q = runEnd;
    if (IsBlank(*q)) ++q;
    if (*q == ':') {
        for (const KnownField& f : fieldNames) {
            if (strlen(f.name) == n && memcmp(f.name, p, n) == 0) {
                mode = f.mode;
                return Token(p, q + 1, f.token);
            }
        }
    }
    if (runColon) {
        mode = Text;
        return Token(p, runColon, qirTokOtherField);
    }
    // Not a name: one character at a time, staying in this mode.
    SetText(p, 1);
    ++p;
    return qirTokError;
}

int ScanAddressList(const char*& p)
{
    char c = *p;
    if (c == ',') return Token(p, p + 1, qirTokComma);
    if (c == ';' && mode == Group) {
        Pop();
        return Token(p, p + 1, qirTokSemicolon);
    }
    bool word = Word(p) != nullptr;
    if (!word && c != '<') return Error(p);
    if (word && mode != MailboxList) {
        const char* e = PhraseEnd(p);
        if (*e == ':') {
            Push(mode);
            mode = Group;
            return Token(p, e + 1, qirTokGroupName);
        }
    }
    Push(mode);
    mode = LookAhead;
    return Token(p, p, qirTokMailbox);
}

int ScanLookAhead(const char*& p)
{
    const char* e = *p == '<' ? p : Word(p) ? PhraseEnd(p) : nullptr;
    if (!e) return Error(p);
    if (*e == '<') {
        mode = Phrase;
        return Token(p, p, qirTokPhraseAddress);
    }
    bool folded = false;
    const char* a = Address(p, &folded);
    if (!a) return Error(p);
    const char* q = a;
    while (IsBlank(*q) || *q == '\n') ++q;
    if (*q == '(') {
        mode = Commented;
        return Token(p, p, qirTokCommentedAddress);
    }
    Pop();
    return AddressToken(p, p, a, folded, qirTokBareAddress);
}

int ScanPhrase(const char*& p)
{
    if (*p == '<') {
        mode = Angle;
        return Token(p, p + 1, qirTokAngleOpen);
    }
    const char* e = Word(p);
    if (!e && *p != '.') return Error(p);
    if (!e) e = p;
    while (*e == '.') ++e;
    return Token(p, e, qirTokPhraseWord);
}

int ScanAngle(const char*& p)
{
    if (*p == '>') {
        Pop();
        return Token(p, p + 1, qirTokAngleClose);
    }
    // An obsolete route names the hosts on the way; the address follows it.
    const char* start = p;
    if (const char* r = Route(p)) start = Cfws(r);
    bool folded = false;
    const char* a = Address(start, &folded);
    if (!a) return Error(p);
    return AddressToken(p, start, a, folded, qirTokAddress);
}

// p at '(': the comment as written, or, when the field ends inside it,
// what it holds so far closed at the end (a dangling backslash dropped).
const char* ClosedComment(const char* p, std::string* comment)
{
    const char* e = Comment(p);
    if (e) {
        comment->assign(p, static_cast<size_t>(e - p));
        return e;
    }
    e = p + strlen(p);
    comment->assign(p, static_cast<size_t>(e - p));
    int level = 0;
    for (size_t i = 0; i < comment->size(); ++i) {
        char c = (*comment)[i];
        if (c == '\\') {
            if (i + 1 == comment->size()) {
                comment->pop_back();
                break;
            }
            ++i;
        } else if (c == '(') {
            ++level;
        } else if (c == ')') {
            --level;
        }
    }
    comment->append(static_cast<size_t>(level), ')');
    return e;
}

int ScanCommented(const char*& p)
{
    if (*p == '(') {
        free(qirScanComment);
        qirScanComment = nullptr;
        std::string comment;
        const char* e = ClosedComment(p, &comment);
        qirGrowAppend(&qirScanComment, comment.c_str());
        Pop();
        return CleanToken(p, e, comment, qirTokComment);
    }
    bool folded = false;
    const char* a = Address(p, &folded);
    if (!a) return Error(p);
    return AddressToken(p, p, a, folded, qirTokAddress);
}

const char* MimeToken(const char* p)
{
    while (IsMimeToken(static_cast<unsigned char>(*p))) ++p;
    return p;
}

int ScanMime(const char*& p)
{
    const char* e = MimeToken(p);
    if (e > p) return Token(p, e, qirTokMimeToken);
    if (*p == '/' && mode == ContentType) return Token(p, p + 1, qirTokSlash);
    if (*p == ';' && mode != Encoding) {
        mode = Parameter;
        return Token(p, p + 1, qirTokSemicolon);
    }
    return Error(p);
}

// p at '"': the quoted string as a value, without its quotes and with its
// quoted pairs undone.
int QuotedValue(const char*& p)
{
    const char* e = Quoted(p);
    if (!e) return Error(p);
    size_t n = static_cast<size_t>(e - p - 2);
    if (!memchr(p + 1, '\\', n)) {
        SetText(p + 1, n);
        p = e;
        return qirTokValue;
    }
    std::string value;
    for (const char* v = p + 1; v < e - 1; ++v) {
        if (*v == '\\') ++v;
        value.push_back(*v);
    }
    return CleanToken(p, e, value, qirTokValue);
}

int ScanParameter(const char*& p)
{
    if (*p == ';') return Token(p, p + 1, qirTokSemicolon);
    if (*p == '"') return QuotedValue(p);
    const char* t = MimeToken(p);
    if (t == p) return Error(p);
    const char* q = Cfws(t);
    if (*q == '=') {
        SetText(p, static_cast<size_t>(t - p));
        p = q + 1;
        mode = ParameterValue;
        return qirTokAttribute;
    }
    return Token(p, t, qirTokValue);
}

// The value after "attribute=".  A token or a quoted string as the
// standard has it; anything else runs to the next ";", a comment or the
// end of the field, as other mail readers take it (unquoted boundaries
// such as "----=_NextPart_000_0012" are widespread).
int ScanParameterValue(const char*& p)
{
    mode = Parameter;
    if (*p == ';' || *p == '"') return ScanParameter(p);
    const char* t = MimeToken(p);
    const char* q = Cfws(t);
    if (t > p && (*q == ';' || !*q)) return Token(p, t, qirTokValue);
    // Only a comment that closes ends the value.  A "(" that opens none
    // leaves the rest of the field without comments, as the scanner would
    // read it, so the field is walked once.
    const char* e = p;
    for (bool comments = true; *e && *e != ';'; ++e) {
        if (*e != '(' || !comments) continue;
        if (Comment(e)) break;
        comments = false;
    }
    while (e > p && (IsBlank(e[-1]) || e[-1] == '\n' || e[-1] == '\r')) --e;
    if (e == p) return Error(p);
    return Token(p, e, qirTokValue);
}

bool SkipsBlanks() { return mode != FieldName && mode != Text && mode != StackError; }
bool SkipsLineFeeds() { return mode != Text && mode != XFace && mode != StackError; }
bool SkipsComments()
{
    switch (mode) {
    case AddressList: case MailboxList: case Group: case LookAhead: case Phrase:
    case Angle: case Date: case ContentType: case Disposition: case Parameter:
    case ParameterValue: case Encoding:
        return true;
    default:
        return false;
    }
}

int Scan(const char*& p)
{
    // Unstructured text skips nothing: each character is a token (a long
    // Subject goes straight through here).
    if (mode == Text && *p) return Token(p, p + 1, qirTokChar);
    for (;;) {
        if (IsBlank(*p) && SkipsBlanks()) {
            ++p;
        } else if (*p == '\n' && SkipsLineFeeds()) {
            ++p;
        } else if (*p == '(' && SkipsComments()) {
            const char* e = Comment(p);
            if (!e) return UnclosedComment(p);
            p = e;
        } else {
            break;
        }
    }
    if (!*p) {
        Restart();
        SetText(p, 0);
        return qirTokEnd;
    }
    switch (mode) {
    case FieldName:
        return ScanFieldName(p);
    case Text:
    case XFace:
        return Token(p, p + 1, qirTokChar);
    case Date: {
        const char* e = DateText(p);
        return e ? Token(p, e, qirTokDateText) : Error(p);
    }
    case AddressList:
    case MailboxList:
    case Group:
        return ScanAddressList(p);
    case LookAhead:
        return ScanLookAhead(p);
    case Phrase:
        return ScanPhrase(p);
    case Angle:
        return ScanAngle(p);
    case Commented:
        return ScanCommented(p);
    case ContentType:
    case Disposition:
    case Encoding:
        return ScanMime(p);
    case Parameter:
        return ScanParameter(p);
    case ParameterValue:
        return ScanParameterValue(p);
    default: // StackError
        fputs(" PARS STACK ERROR \n", stderr);
        depth = 0;
        return Error(p);
    }
}

} // namespace

int qirHeaderScanner::nextToken()
{
    if (!qirScanInput) {
        Restart();
        SetText("", 0);
        return qirTokEnd;
    }
    if (qirScanInput != lastPos) Restart();
    const char* p = qirScanInput;
    int token = Scan(p);
    qirScanInput = p;
    lastPos = p;
    return token;
}

const char* qirHeaderScanner::TakeRestOfText()
{
    if (!qirScanInput || qirScanInput != lastPos || mode != Text) return nullptr;
    const char* rest = qirScanInput;
    const char* end = rest + strlen(rest);
    Restart();
    SetText(end, 0);
    qirScanInput = lastPos = end;
    return rest;
}

void qirHeaderScanner::SkipToEnd()
{
    // The text of a field no rule reads is passed over at once.
    if (TakeRestOfText()) return;
    while (nextToken() != qirTokEnd) {}
}

char* qirHeaderScanner::TakeComment()
{
    char* c = qirScanComment;
    qirScanComment = nullptr;
    return c;
}

void qirHeaderScanner::Reset()
{
    Restart();
    lastPos = qirScanInput;
}

// The buffer last appended to, so a run of appends need not measure it
// again; the allocator's own size bounds every write whatever the cache says.
static char* growPtr = nullptr;
static size_t growLen = 0;

char* qirGrowAppend(char** buffer, const char* more)
{
    char* buf = buffer ? *buffer : nullptr;
    size_t len;
    if (!buf) {
        buf = static_cast<char*>(malloc(20));
        if (!buf) abort();
        buf[0] = 0;
        len = 0;
    } else {
        size_t cap = malloc_usable_size(buf);
        if (buf == growPtr && growLen < cap && buf[growLen] == 0) len = growLen;
        else len = strnlen(buf, cap);
    }
    size_t n = more ? strlen(more) : 0;
    size_t cap = malloc_usable_size(buf);
    if (len + n + 1 > cap) {
        size_t want = len + n + 1;
        if (want < 2 * cap) want = 2 * cap;
        want = (want + 19) / 20 * 20;
        char* grown = static_cast<char*>(malloc(want));
        if (!grown) abort();
        memcpy(grown, buf, len);
        free(buf);
        buf = grown;
    }
    if (n) memcpy(buf + len, more, n);
    len += n;
    buf[len] = 0;
    growPtr = buf;
    growLen = len;
    if (buffer) *buffer = buf;
    return buf;
}
