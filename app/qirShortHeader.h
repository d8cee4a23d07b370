// The one-line summary of a message in its folder's list: fixed-width
// columns laid out under the configuration node "Short-Header-Format", one
// child per column named "1", "2", ... with the values kind, width and
// argument.  Display-free, so the list rows and the tests share it.
#ifndef QIR_SHORT_HEADER_H
#define QIR_SHORT_HEADER_H

#include <ctime>
#include <string>
#include <vector>

#include "qirString.h"

class qirConfiguration;
class qirMsg;

class qirShortHeader {
public:
    // The line never holds more than this many characters.
    enum { LineLimit = 999 };

    // Reads the columns once (up to the first child that is missing, has no
    // kind or no decimal width); a null node gives no columns.
    explicit qirShortHeader(const qirConfiguration* columns);

    // The summary line of the message, every column exactly its width (the
    // widths clamped so that the line stays within LineLimit); a null string
    // for a null message or when there was no node.
    qirString Format(const qirMsg* message) const;

    // The text of a message's row in its list: the summary line without
    // trailing blanks, tabs, CR and LF; without the node, the first sender
    // as "name <mailbox>", or "" when the message has none.
    qirString RowText(const qirMsg* message) const;

    // The text of a date column before it is cut or padded: the system's
    // own codes (not strftime's), a newline starting the column afresh.
    static std::string FormatDate(const char* format, const struct tm& when);
    // The AM/PM text for the hour (0-23): catalogue text 400 or 401 used as
    // a printf format given the hour on the 12-hour clock; a text that
    // would take any other argument gives the built-in "AM" or "PM".
    static std::string Meridiem(int hour);
    // 1 when the format takes at most one int conversion (flags, width and
    // precision as digits only) besides "%%", else 0.
    static int IsSafeIntFormat(const char* format);

    int IsDefined() const { return defined_; }
    int ColumnCount() const { return int(columns_.size()); }

private:
    struct Column {
        std::string kind;
        int width;
        qirString argument;
    };
    std::vector<Column> columns_;
    int defined_ = 0;
};

// The summary line of the message by the given columns into *result (a null
// string without columns or message).
void qir_format_short_header(qirString* result, const qirConfiguration* columns, const qirMsg* message);

#endif
