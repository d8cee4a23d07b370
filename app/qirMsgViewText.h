// What the message view window and the attachment rows show as text: the
// header lines and the listing of the parts in text/enriched, the values
// of the information bar, the attachment labels, and which parts are shown,
// listed and attached.  Display-free, so the windows and the tests share it.
//
// Mail is untrusted: every text from a message is escaped before it goes
// into an enriched panel, cuts never split an escape or a UTF-8 character,
// and formats from the configuration or the catalogue are used only when
// they take exactly the arguments given.
#ifndef QIR_MSG_VIEW_TEXT_H
#define QIR_MSG_VIEW_TEXT_H

#include <string>
#include <vector>

#include "qirString.h"

class qirContentType;
class qirList;
class qirMsg;
class qirMsgComponent;

class qirMsgViewText {
public:
    // A header line, a listing line or a joined address list holds at most
    // this many bytes.
    enum { LineLimit = 4095 };

    // Text from mail for an enriched panel: "<" doubled, CR and other
    // control bytes a blank, a line feed a blank (or, with keepLines, an
    // enriched line break), a malformed UTF-8 byte "?".  At most limit
    // bytes, cut between two characters.
    static std::string Escape(const char* text, size_t limit = LineLimit, int keepLines = 0);
    // The longest head of an enriched text, at most limit bytes, that ends
    // between two characters: never inside "<<", a tag, a line-break pair
    // or a UTF-8 sequence.
    static size_t CutPoint(const std::string& text, size_t limit);
    // A checked format filled with the arguments (qirFillFormat).  While
    // the line is longer than LineLimit the longest of the cuttable
    // arguments (mask bit i: argument i) is cut between two characters.
    // "" when even that does not fit.
    static std::string FormatLine(const char* format, std::vector<std::string> args, unsigned cuttable);

    // The whole text of the header panel: one line per field by
    // "HeaderViewFormat" (four strings: name colour, name, value colour,
    // value); every stored field, or the "HeaderShow" selection when
    // "ShowHeaderOrFields" says so.  "" without a format.
    static std::string HeaderText(const qirMsg* message);
    // The addresses of the list for an enriched panel, joined with ", ",
    // within LineLimit (whole addresses only, the first one cut if alone).
    static std::string AddressList(const qirList* addresses);

    // The part shown in the body panel: the body, or for a multipart body
    // its first part (the first part of a multipart first part, and so on).
    // "Save body" saves this one.
    static qirMsgComponent* ShownPart(qirMsgComponent* body);
    // The parts listed under the text and given attachment rows: of a
    // multipart body every part after the first when the first is text,
    // else all; of a single body itself when it is not text.
    static std::vector<qirMsgComponent*> AttachedParts(qirMsgComponent* body);
    // What the view lists under the text and gives attachment rows: the
    // single parts in reading order, nested multiparts opened up, without
    // the text part the body panel shows.  A single body that is not text
    // is listed itself.
    static std::vector<qirMsgComponent*> ListedParts(qirMsgComponent* body);
    // The lines appended to the body panel for the listed parts of a
    // multipart body (catalogue text 215 for each), built once; "" for a
    // single body.
    static std::string PartListing(qirMsgComponent* body);

    // Values of the information bar: the folder's name right-aligned in
    // the folder box's width (a name cut to it), the size, the status of
    // the message, and the position "3/12".
    static std::string FolderValue(const qirString& name);
    static std::string SizeValue(long size);
    static std::string StatusValue(int read, int removed);
    static std::string PositionValue(long position, long count);

    // An attachment row's text: "type/subtype name" with the name
    // right-aligned in 20, in 25 characters, then the size in bytes or K.
    // The name is shown with control bytes as "?".
    static std::string AttachLabel(const qirContentType& type, long size);
    // The icon file of a main type ("image" "image.tif"; any other
    // "application.tif").
    static const char* AttachIconFile(const char* mainType);
};

#endif
