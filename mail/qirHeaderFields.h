// The RFC 822 header fields of a message or of a body part, in order: each
// pair is the field name with its colon, as it was read ("Subject:"), and
// the value without leading blanks, continuation lines unfolded.
#ifndef QIR_HEADER_FIELDS_H
#define QIR_HEADER_FIELDS_H

#include <cstdio>

#include "qirList.h"
#include "qirString.h"

class qirHeaderFields : public qirPairList {
public:
    qirHeaderFields() {}
    qirHeaderFields(const qirHeaderFields& other) : qirPairList(other) {}
    qirHeaderFields& operator=(const qirHeaderFields& other);
    ~qirHeaderFields() override {}

    // Reads a header block up to and including the empty line that ends it,
    // leaving the stream at the first byte of the body; appends the fields.
    // A line without a colon is no field: on a seekable stream it ends the
    // block and stays in the stream as the body's first line; on a pipe it
    // is kept as a field of that name with an empty value.  A first line
    // "From " whose next word holds no colon (a mailbox envelope) is
    // dropped, and so are lines starting with ">".  CR before LF is
    // dropped.  0, or -1 when the stream is null.
    int Read(FILE* stream);
    // Name, value and LF per field: 0, or -12 when a write fails.
    int Write(FILE* stream) const;
    // Removes a field of exactly this name (case-sensitive) and appends the
    // new one at the end: 0; -1 for a null name.
    int Add(const char* name, const char* value);
    int Add(const qirString& name, const qirString& value) { return Add(name.Text(), value.Text()); }
    // The first two blank-separated words of the line as name and value.
    int AddLine(const char* line);
    // Value of the first field of exactly this name, or null.
    const qirString* FindValue(const char* name) const;
};

#endif
