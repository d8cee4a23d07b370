// One e-mail address: the mailbox (local part, "@", domain) and a full name.
#ifndef QIR_ADDRESS_H
#define QIR_ADDRESS_H

#include "qirString.h"

// Gateway domains for the two non-Internet forms the address book may hold.
extern const char* const qirFidoNetGateway;   // "fidonet.org"
extern const char* const qirCompuServeGateway; // "compuserve.com"

class qirAddress : public qirObject {
public:
    qirAddress() : qirObject(5) {}
    // A null pointer leaves that string null.
    qirAddress(const char* mailbox, const char* fullName);
    qirAddress(const qirString* mailbox, const qirString* fullName);
    // Keeps only the non-empty strings of the source: "" becomes null.
    qirAddress(const qirAddress& other);
    // Copies both strings exactly, "" included (the address book's copy).
    explicit qirAddress(const qirAddress* other);
    qirAddress& operator=(const qirAddress& other);
    ~qirAddress() override;

    qirString Mailbox() const { return mailbox_; }
    qirString FullName() const { return fullName_; }
    // The same without a copy: "" for none.
    const char* MailboxText() const { return mailbox_.Data() ? mailbox_.Data() : ""; }
    const char* FullNameText() const { return fullName_.Data() ? fullName_.Data() : ""; }
    void SetMailbox(const qirString& s) { mailbox_ = s; }
    void SetMailbox(const char* s) { mailbox_ = s; }
    void SetFullName(const qirString& s) { fullName_ = s; }
    void SetFullName(const char* s) { fullName_ = s; }

    // Header form: "" without a mailbox, the mailbox alone without a name,
    // else the name (quoted when it holds specials) and " <mailbox>".
    // Line breaks are written as blanks so a value cannot start a new header.
    qirString Format() const;
    // For text/enriched: the name unquoted and " <<mailbox>"; every "<" of
    // the name and the mailbox is doubled so neither can start a command.
    qirString FormatEnriched() const;

    // "zone:net/node[.point]" with the user part `user`, else the full name,
    // else "root": 0, -1 when fewer than three numbers read, -6 for null.
    int FromFidoNet(const char* fido, const char* user = nullptr);
    // "number,number": 0, -1 unless two numbers read, -6 for null.
    int FromCompuServe(const char* id);
    static int IsFidoNet(const char* text);
    static int IsCompuServe(const char* text);

private:
    qirString mailbox_;
    qirString fullName_;
};

#endif
