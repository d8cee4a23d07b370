// One entry of the address book: a short alias for an address, which may be
// a plain mailbox or a CompuServe or FidoNet form converted when used.
#ifndef QIR_ADDR_BOOK_ENTRY_H
#define QIR_ADDR_BOOK_ENTRY_H

#include <cstdio>

#include "qirAddress.h"
#include "qirObject.h"
#include "qirString.h"

class qirMsg;

class qirAddrBookEntry : public qirObject {
public:
    enum Kind { Mailbox = 0, CompuServe = 1, FidoNet = 2 };

    // Empty texts, every number 0.
    qirAddrBookEntry();
    qirAddrBookEntry(const qirAddrBookEntry& other);
    // From a message's sender: its first Reply-To address, else its first
    // From address, and its organisation field (see SetFromSender).
    explicit qirAddrBookEntry(const qirMsg& msg);
    ~qirAddrBookEntry() override;

    virtual void Assign(const qirAddrBookEntry& other);
    qirAddrBookEntry& operator=(const qirAddrBookEntry& other) { Assign(other); return *this; }

    // Reads one record of exactly five lines (alias, full name, organisation,
    // address, then "kind first second third"): 0; -13 when the input ends
    // before the number line or that line does not hold four numbers.
    // Lines of any length are read whole, so a record never spills into the
    // next one.  1 when nothing but blank lines is left: the end of the file.
    int Read(FILE* stream);
    // Writes the five lines; a line feed or CR inside a text is written as a
    // blank, so a record always stays five lines: 0, or -12 when a write fails.
    int Write(FILE* stream) const;

    // A new address (the caller owns it) with the entry's full name and its
    // mailbox, converted from the CompuServe or FidoNet form by kind; an
    // address that does not convert gives an empty mailbox.
    qirAddress* ToAddress() const;

    // The entry for a sender: full name and mailbox from the address, the
    // given organisation, the alias the mailbox before its "@" ("nobody"
    // without one); kind and numbers 0.  Trailing white space is cut.
    void SetFromSender(const qirAddress& sender, const qirString& organisation);

    qirString Alias() const { return alias_; }
    qirString FullName() const { return fullName_; }
    qirString Organisation() const { return organisation_; }
    qirString Address() const { return address_; }
    int AddressKind() const { return kind_; }
    unsigned int FirstNumber() const { return first_; }
    long SecondNumber() const { return second_; }
    long ThirdNumber() const { return third_; }

    void SetAlias(const qirString& s) { alias_ = s; }
    void SetFullName(const qirString& s) { fullName_ = s; }
    void SetOrganisation(const qirString& s) { organisation_ = s; }
    void SetAddress(const qirString& s) { address_ = s; }
    void SetAddressKind(int kind) { kind_ = kind; }
    void SetNumbers(unsigned int first, long second, long third)
    {
        first_ = first;
        second_ = second;
        third_ = third;
    }

private:
    qirString alias_;
    qirString fullName_;
    qirString organisation_;
    qirString address_;
    int kind_ = 0;
    unsigned int first_ = 0; // the next three are kept for the window, unread here
    long second_ = 0;
    long third_ = 0;
};

#endif
