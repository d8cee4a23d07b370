// The description of a body or body part: MIME type, transfer encoding,
// boundary, part name, character set and the Content-* text built from them.
#ifndef QIR_CONTENT_TYPE_H
#define QIR_CONTENT_TYPE_H

#include "qirCoder.h"
#include "qirObject.h"
#include "qirString.h"

// Transfer-encoding names and their codes, searched in this order.
struct qirEncodingName {
    const char* name;
    int code;
};
extern const qirEncodingName qirEncodingTable[];
extern const int qirEncodingTableSize;
// The code of the first row whose name equals name exactly, or -1.
int qirEncodingCode(const char* name);

class qirContentType : public qirObject {
public:
    // text/plain, code 5, "8bit", everything else null.
    qirContentType();
    qirContentType(const qirContentType& other);
    qirContentType& operator=(const qirContentType& other);
    ~qirContentType() override;

    int IsText() const;      // type "text", ignoring case
    int IsMultipart() const; // type "multipart", ignoring case
    int IsEnriched() const;  // text/richtext or text/enriched, ignoring case

    // Rebuilds header: Content-Type (with the charset and the name when
    // there are, and for multipart a fresh boundary stored in boundary),
    // Content-Disposition and Content-Description when there is a part
    // name, and Content-Transfer-Encoding, each line ending in a line feed.
    // A multipart body gets neither charset nor name nor disposition.
    void BuildHeader();
    // The name becomes encodingName; the code changes only when the table
    // has that name exactly.  Then BuildHeader.
    void SetEncoding(const char* name);

    qirString type;         // "text"
    qirString subtype;      // "plain"
    int encoding;           // code, 5
    qirString encodingName; // as written in the header, "8bit"
    qirString boundary;
    qirString partName;     // the name as received; not a file name
    qirString charset;
    qirString header;       // the built Content-* text
};

#endif
