#include "qirContentType.h"

#include "qirClock.h"

#include <cstring>
#include <ctime>
#include <unistd.h>

const qirEncodingName qirEncodingTable[] = {
    {"base64", qirEncBase64},
    {"7bit", qirEnc7bit},
    {"quoted-printable", qirEncQuotedPrintable},
    {"uue", qirEncUUEncode},
    {"uuencode", qirEncUUEncode},
    {"x-uue", qirEncUUEncode},
    {"x-uuencode", qirEncUUEncode},
    {"x-btoa", qirEncBTOA},
    {"8bit", qirEnc8bit},
    {"binary", qirEncBinary},
};
const int qirEncodingTableSize = sizeof qirEncodingTable / sizeof qirEncodingTable[0];

int qirEncodingCode(const char* name)
{
    if (!name) return -1;
    for (int i = 0; i < qirEncodingTableSize; ++i)
        if (!strcmp(qirEncodingTable[i].name, name)) return qirEncodingTable[i].code;
    return -1;
}

qirContentType::qirContentType()
    : qirObject(57), type("text"), subtype("plain"), encoding(qirEnc8bit), encodingName("8bit") {}

qirContentType::qirContentType(const qirContentType& other)
    : qirObject(57), type(other.type), subtype(other.subtype), encoding(other.encoding),
      encodingName(other.encodingName), boundary(other.boundary), partName(other.partName),
      charset(other.charset), header(other.header) {}

qirContentType& qirContentType::operator=(const qirContentType& other)
{
    if (this == &other) return *this;
    type = other.type;
    subtype = other.subtype;
    encoding = other.encoding;
    encodingName = other.encodingName;
    boundary = other.boundary;
    partName = other.partName;
    charset = other.charset;
    header = other.header;
    return *this;
}

qirContentType::~qirContentType() {}

int qirContentType::IsText() const { return type.EqualsIgnoreCase("text"); }

int qirContentType::IsMultipart() const { return type.EqualsIgnoreCase("multipart"); }

int qirContentType::IsEnriched() const
{
    return IsText() && (subtype.EqualsIgnoreCase("richtext") || subtype.EqualsIgnoreCase("enriched"));
}

static const char* Str(const qirString& s) { return s.Text() ? s.Text() : ""; }

// A name from mail must not end the header line or the quoted string.
static qirString Quoted(const qirString& name, int quote)
{
    qirString out;
    out.Assign("");
    for (const char* p = Str(name); *p; ++p) {
        if (*p == '\r' || *p == '\n') out.Append(' ');
        else {
            if (quote && (*p == '"' || *p == '\\')) out.Append('\\');
            out.Append(*p);
        }
    }
    return out;
}

// A MIME token: written bare; anything else goes in quotes.
static int IsToken(const qirString& value)
{
    const char* s = Str(value);
    if (!*s) return 0;
    for (const unsigned char* p = (const unsigned char*)s; *p; ++p)
        if (*p <= ' ' || *p >= 0x7f || strchr("()<>@,;:\\\"/[]?=", *p)) return 0;
    return 1;
}

void qirContentType::BuildHeader()
{
    // A multipart body is the letter's frame, not a part to save: no name
    // and no disposition, or receivers show the whole letter as a file.
    int named = !partName.IsEmpty() && !IsMultipart();
    qirString quoted = Quoted(partName, 1);
    qirString h("Content-Type: ");
    h.Append(Str(type)).Append('/').Append(Str(subtype));
    // Without its charset 8-bit text is read as US-ASCII.
    if (!charset.IsEmpty() && !IsMultipart()) {
        if (IsToken(charset)) h.Append("; charset=").Append(Str(charset));
        else h.Append("; charset=\"").Append(Quoted(charset, 1)).Append('"');
    }
    if (named) h.Append("; name=\"").Append(quoted).Append('"');
    if (IsMultipart()) {
        // The serial keeps boundaries made in the same second apart.
        int serial = qirNextSerial();
        if (serial == 0)
            boundary.Format("*---*---*---*---Quorvane---*---*---*---*%ld %ld", (long)qirNow(), qirProcessNumber());
        else
            boundary.Format("*---*---*---*---Quorvane---*---*---*---*%ld %ld.%d", (long)qirNow(), qirProcessNumber(),
                            serial);
        h.Append(";\n\tboundary=\"").Append(boundary).Append('"');
    }
    if (named) {
        h.Append("\nContent-Disposition: attachment; filename=\"").Append(quoted).Append('"');
        h.Append("\nContent-Description: ").Append(Quoted(partName, 0));
    }
    h.Append("\nContent-Transfer-Encoding: ").Append(Str(encodingName)).Append('\n');
    header = h;
}

void qirContentType::SetEncoding(const char* name)
{
    encodingName = name;
    int code = qirEncodingCode(name);
    if (code >= 0) encoding = code;
    BuildHeader();
}
