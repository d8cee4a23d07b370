// What the compose window makes of its four text fields: the addresses of
// To, Cc and Bcc, address-book aliases replaced by the entry's address, and
// the subject.  Display-free, so that the rules are tested without a window.
//
// A field is the truth: what it holds when the letter is sent or saved is
// what the message gets, an empty Cc or Bcc field included.  No CR or LF of
// a field ever reaches a header.
#ifndef QIR_COMPOSE_FIELDS_H
#define QIR_COMPOSE_FIELDS_H

#include <functional>

#include "qirList.h"
#include "qirString.h"

class qirAddrBook;
class qirAddrBookEntry;
class qirAddress;

class qirComposeFields {
public:
    // The field's text with every CR and LF made a blank and the blanks and
    // tabs at both ends taken away (the field's padding).
    static qirString Clean(const char* text);

    // Parses an address field into list (of qirAddress, owned by the list)
    // through the header scanner, as a "TO:" field.  An empty field gives an
    // empty list.  0; -1 with *error set to the report text, the list then
    // left empty.
    static int ParseAddresses(const char* text, qirList* list, qirString* error);

    // The question asked before an alias is replaced: 1 to replace it.
    typedef std::function<int(const qirAddress& typed, const qirAddrBookEntry& entry)> AskAlias;

    // Each address whose mailbox is an alias of the book is offered for
    // replacement; an accepted one becomes the entry's address as
    // qirAddrBookEntry::ToAddress gives it (its CompuServe and FidoNet forms
    // converted).  0; -1 with *error set when an accepted entry holds no
    // address that converts (that address is then left as typed).
    static int ReplaceAliases(qirList* list, const qirAddrBook* book, const AskAlias& ask, qirString* error);

    // The lines of the alias question: catalogue text 262 filled with the
    // typed mailbox, the entry's full name twice, its address and the typed
    // mailbox again, cut into lines of at most 40 characters.  A text 262
    // that does not take exactly five strings gives an English one.
    // The caller empties and deletes the list.
    static qirList* AliasQuestion(const qirAddress& typed, const qirAddrBookEntry& entry, const char* format);
};

#endif
