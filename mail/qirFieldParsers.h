// Parsers of header field values over the header scanner's tokens.
//
// Each parser is called after the field-name token has been taken and reads
// on from there; it leaves the rest of the field's tokens to the caller,
// which must still scan on to qirTokEnd before the next field.  Results are
// qirOK, qirNotFound (-3) for a syntax error or an unexpected end, and
// qirBadValue (-9) for an unexpected token.  Values stored before a failure
// stay stored, and so do addresses already appended.
#ifndef QIR_FIELD_PARSERS_H
#define QIR_FIELD_PARSERS_H

#include <ctime>

class qirList;
class qirContentType;

// The texts of all remaining tokens of the field, joined in order ("" when
// there are none).  malloc'ed: the caller frees it with free().
char* qirScanRestAsText();

// Content-Transfer-Encoding: the name as written and its code, matched
// ignoring case (7 for a name outside the table).
int qirParseTransferEncoding(qirContentType* ct);
// Content-Type: type, subtype and the boundary, name and charset parameters.
int qirParseContentType(qirContentType* ct);
// Content-Disposition: its filename parameter becomes the part name.
int qirParseContentDisposition(qirContentType* ct);

// The text of a date token (qirTokDateText) as seconds since 1970 UTC, or
// -1 when it is no date (unknown month, fields out of range, null text).
time_t qirParseDate(const char* text);
// The offset east of UTC in seconds of a zone word: a name from the
// configuration section TimeZones, else a numeric "+hhmm"/"-hhmm"; 0 when
// neither applies.
long qirZoneOffset(const char* zone);

// Mailboxes and groups separated by commas, up to the token `end`; every
// mailbox becomes a new qirAddress appended to the list (which owns it).
int qirParseAddressList(qirList* list, int end);
// The same without groups (a group's members, From, Sender).
int qirParseMailboxList(qirList* list, int end);
// One mailbox, on the token after qirTokMailbox.
int qirParseMailbox(qirList* list);

// Upper-cases the text in place (field names, before they are scanned).
void qirUpcase(char* text);
// Edits a phrase or comment in place: leading blanks, double quotes and
// trailing blanks go, a backslash keeps the character after it.  Answers
// the text; null stays null.
char* qirUnquote(char* text);

#endif
