// The one tokenizer of RFC 822 and MIME header fields.
//
// A caller points qirScanInput at one NUL-terminated field text (the name
// upper-cased, its colon, the value) and calls qirHeaderScanner::nextToken
// until it answers qirTokEnd (39).  The field name picks the lexical mode of
// the value.  The mode and its stack carry over between calls, so every field
// must be scanned to its end before the next input is set; the scanner also
// starts over by itself when it finds qirScanInput moved by the caller.
// One scan at a time: the state is global and not re-entrant.
//
// Every token text lives in a buffer that grows with the token, so a token of
// any length is safe; the scanner never reads past the input's NUL.
#ifndef QIR_HEADER_SCANNER_H
#define QIR_HEADER_SCANNER_H

enum qirHeaderToken {
    qirTokReplyTo = 5,
    qirTokFrom = 6,
    qirTokSender = 7,
    qirTokDate = 8,
    qirTokTo = 10,
    qirTokCc = 11,
    qirTokBcc = 12,
    qirTokSubject = 17,
    qirTokMimeVersion = 20,
    qirTokContentType = 21,
    qirTokXFace = 22,
    qirTokCommentedAddress = 24, // an address and its comment follow (46, 40)
    qirTokBareAddress = 25,      // text: the address (as 46)
    qirTokComma = 26,
    qirTokDateText = 27,         // text: the date up to the end of its zone
    qirTokChar = 28,             // text: one character of a Subject or X-Face
    qirTokPhraseWord = 32,       // text: one word, quoted strings with quotes
    qirTokOtherField = 33,       // any other field name
    qirTokGroupName = 34,        // text: the group name with its colon
    qirTokAngleClose = 35,       // ">"
    qirTokAngleOpen = 36,        // "<"
    qirTokPhraseAddress = 37,    // words (32) and an angle address follow
    qirTokError = 38,            // text: the character no rule takes
    qirTokEnd = 39,
    qirTokComment = 40,          // text: the comment with its parentheses,
                                 // closed when the field ends inside it
    qirTokSemicolon = 42,
    qirTokAddress = 46,          // text: the address after 24 or 36, without
                                 // comments, blanks or an obsolete route
    qirTokMailbox = 48,          // a mailbox starts
    qirTokSlash = 51,
    qirTokAttribute = 52,        // text: the parameter name
    qirTokValue = 53,            // text: the value; a quoted one without its
                                 // quotes and with its quoted pairs undone
    qirTokTransferEncoding = 54,
    qirTokMimeToken = 56,        // type, subtype, disposition, encoding name
    qirTokContentDisposition = 57
};

// The rest of the input; the scanner advances it.
extern const char* qirScanInput;
// The text of the last token, NUL-terminated, valid until the next call.
extern char* qirScanText;
// The last comment returned as token 40, "(" ... ")" (always at least those
// two characters), or null.  A growing buffer: whoever takes it sets this to
// null and frees it with free().
extern char* qirScanComment;

class qirHeaderScanner {
public:
    static int nextToken();
    // In unstructured text (a Subject): the rest of the input at once, as
    // the character tokens to the end would spell it, and the end reached
    // as nextToken reaches it; null, nothing taken, in any other mode.
    static const char* TakeRestOfText();
    // Reads on to the end of the field, as nextToken until it answers 39.
    static void SkipToEnd();
    // Takes over the comment buffer (the caller frees it), or null.
    static char* TakeComment();
    // Forgets the scan under way: field-name mode, empty stack.
    static void Reset();

    enum { StackDepth = 1024 };
};

// Appends text to a NUL-terminated growing buffer (capacity a multiple of
// 20 bytes, a first one of 20 holding "" when *buffer is null or buffer is
// null), stores the possibly new buffer through buffer and answers it; a
// null text appends nothing.  Repeated appends to one buffer cost time in
// proportion to the text appended, not to the text already held, as long as
// the caller does not shorten the text in place between appends.
char* qirGrowAppend(char** buffer, const char* text);

#endif
