// Viewers for body parts, from mailcap files (RFC 1524).  The table is a
// configuration tree: one group per type field as written ("image/gif",
// "image/*"), under it one entry per line ("0", "1", ... in reading order)
// whose values are the line's fields after the type: value 0 the view
// command, then the others as written ("needsterminal", "test=...").
//
// Every value that a command takes from a message (the type, %{name},
// %{charset}, %{boundary}) passes through ShellSafe, and the file path is
// taken only when it is a PlainPath, whatever quotes the mailcap line puts
// around them: no name or parameter in a message can run a command.
#ifndef QIR_MAILCAP_H
#define QIR_MAILCAP_H

#include "qirConfiguration.h"
#include "qirContentType.h"
#include "qirString.h"

class qirMsgComponent;

class qirMailcap : public qirConfiguration {
public:
    // An empty table.
    qirMailcap();
    // An empty table, then LoadFile.
    explicit qirMailcap(const char* path);
    ~qirMailcap() override;

    // Empties the table and loads every file of Mailcap.MailcapFiles in
    // order (a "~user" naming an unknown user is skipped): 0 when at least
    // one file loaded, else -3 (reported at level 1).
    int LoadConfigured();
    // Adds the file's lines: 0; -7 the file cannot be opened; -9 a line of
    // 2,047 characters or more, or a last line without a line feed, which
    // stops the reading (the lines before it stay).
    int LoadFile(const char* path);

    // The command for a body part (its file and content type), or "".
    qirString ViewCommand(const qirMsgComponent& part);
    // The first entry whose test passes, expanded for the file and wrapped
    // in Mailcap.Terminal when it needs one; "" when nothing fits, when an
    // escape is unknown, or when the file path is not a PlainPath.
    qirString Command(const qirContentType& type, const char* file);
    // The group for type/subtype, else type/*; type names are compared
    // ignoring case, and "." is part of a name.  Null when neither exists.
    qirConfiguration* FindType(const char* type, const char* subtype) const;

    // The one quoting function for text put into a shell command: every
    // byte other than a letter, a digit, ".", "_", "+", "-" and "/" becomes
    // "_", and so does a leading "-" (it would read as an option).  The
    // result is inert inside single quotes, double quotes or none.
    static qirString ShellSafe(const char* text);
    // A path a command may hold as it stands: not starting with "-", and
    // every name in it one the store makes for a part
    // (qirMsgComponent::SafeName): letters (those of UTF-8 too), digits and
    // "._-+,@".  None of these means anything to a shell, quoted or not, so
    // every attachment the store holds can be handed to its viewer.
    static int PlainPath(const char* path);
    // The RFC 1524 expansion of a command, as run: "" for an unknown escape.
    static qirString Expand(const char* pattern, const char* file, const qirContentType& type);

private:
    qirMailcap(const qirMailcap&) = delete;
    qirMailcap& operator=(const qirMailcap&) = delete;
    void AddLine(const char* line);
};

#endif
