// A message bound to its message directory: five address lists, subject,
// date, sender picture, RFC 822 header fields, content type and body.
//
// The directory holds "Header.822" (the fields, one per line), "Body.PARSED"
// (the parsed summary in configuration syntax), "XFace.pbm" when there is a
// picture, and the body: one file or one multipart directory, named by the
// key "MsgBody.NAME".  Every file is replaced through a temporary file, so a
// failed save leaves the old message readable.  A directory is a message once
// its "Body.PARSED" is there: in a directory this object has just made, the
// other files are written in place, and "Body.PARSED" comes last.
#ifndef QIR_MSG_H
#define QIR_MSG_H

#include <cstdio>
#include <ctime>

#include "qirContentType.h"
#include "qirHeaderFields.h"
#include "qirList.h"
#include "qirPath.h"
#include "qirString.h"
#include "qirXFace.h"

class qirAddress;
class qirConfiguration;
class qirMsgComponent;

class qirMsg : public qirObject {
public:
    // Binds the message to the directory.  A directory that cannot be
    // written is created (mode 0700) and gets an empty body "MsgBody.txt";
    // an existing one is loaded (a failure is reported at level 1).
    explicit qirMsg(const qirPath& path);
    // For an import: creates the directory, which must not exist yet, with
    // no body; IsFresh() tells whether it was made.
    struct Blank {};
    qirMsg(const qirPath& path, Blank);
    // For queue entries: creates the directory when missing and copies the
    // source (when given) into it.  Not saved.
    qirMsg(const qirPath& path, const qirMsg* source);
    // For the messages of a loaded folder, which are listed and sorted by a
    // few values only: reads the sender, subject, date and flags from
    // "Body.PARSED", and the body's size, and nothing else.  Whatever else is asked for (header
    // fields, the other address lists, the picture, the content type, the
    // body) is read when it is first needed, so that callers see no
    // difference; until then a save writes the changed flags alone.  A
    // directory whose summary cannot be read is loaded whole at once.
    struct Summary {};
    qirMsg(const qirPath& path, Summary);
    // Deep copy; the body object is copied without touching the disk.
    qirMsg(const qirMsg& other);
    // Never touches the disk.
    ~qirMsg() override;

    // 0; -7 "Header.822" cannot be opened; -1 anything else unreadable.
    // Each file of the message is read once.
    int Load();
    // Reads what a summary has left out (nothing for a message read whole):
    // 0, or the status of the load, which is reported.  A message whose
    // rest cannot be read keeps what it has; it is not read again, and its
    // saves write only its flags, so what could not be read stays on disk.
    int Complete();
    // The same for callers holding a const message: 0 when the message is
    // read whole.  Whatever needs the whole message (its export, a copy, a
    // reply or a resent copy made from it, the windows' actions) asks this
    // first and does nothing when it fails.
    int Whole() const { return const_cast<qirMsg*>(this)->Complete(); }
    // 1 while only the summary has been read.
    int IsSummary() const { return partial_ == 1; }
    // 1 when a directory made into a summary did not load at all, whole
    // either (a crash left it without its files, or with empty ones): no
    // message, and nothing was reported.
    int IsBroken() const { return broken_; }
    // Writes only when modified: 0; -1 a write failed; -6 without header
    // fields; -8 "Header.822" cannot be made.  The five address
    // groups are replaced; keys the message does not own stay in
    // "Body.PARSED".
    int Save();
    // Copies the source's data and body files into this directory; not saved.
    // -1, nothing changed, when the source cannot be read whole.
    int CopyFrom(const qirMsg* source);
    // 0; -7 no directory; -11 it could not be taken out of its place.  The
    // directory leaves its name in one step first, so that a kill at any
    // point leaves the whole message or nothing a folder loads.
    int RemoveFromDisk();
    // The start of the hidden names a removal puts directories under until
    // their files are gone (see qirPutAside).
    static constexpr const char* removedPrefix = ".QIRgone.";
    // 0; -1 the target exists or the move failed.
    int MoveTo(const qirPath& target);

    // 1 while the directory this object made has not been saved yet.
    int IsFresh() const { return fresh_; }

    // Import of one RFC 822 / MIME message with LF line ends, positioned at
    // its first header line: 0, or -1.  The message is not saved.
    int ImportRFC822(FILE* in);
    // Parses every header field into the message: 0.
    int ParseFields();
    // One field as the upper-cased name, its colon and the value: 0, the
    // parser's code, or -3 when no rule takes its first token.
    int ParseField(const char* text);

    // Turns a single body into multipart/mixed with the old body as its
    // first part ("QIR.Msg.Body.Mixed" in the message directory): 0 (also
    // when already multipart); -1 when the old body could not be kept, in
    // which case the message is left as it was.  Not saved.
    int MakeMultipart();

    // ---- Outgoing mail (qirMsgOutgoing.cpp)

    // Sets From, Subject, To, CC, BCC, Reply-To, Date, X-Mailer,
    // Mime-Version, the configured "Header.N" fields and X-Face from the
    // message's values, each replacing a field of exactly that name: 0.
    int BuildHeader();
    // The message as MIME text: the header fields (one set of MIME fields:
    // stored Content-* fields are left out, and only one MIME-Version
    // field is written), the built Content-* fields, an empty line and the
    // encoded body, always ending in a line feed.  withBcc 0 leaves out
    // "Bcc:" and "Resent-Bcc:" fields, for the text handed to an agent.
    // 0; -12 a write failed; or the body's export status (reported); or,
    // writing nothing, the load's status when the message cannot be read
    // whole.
    int ExportMIME(FILE* out, int withBcc = 1);
    // "Tue, 5 Mar 2002 14:03:09 +0100 " (a last "(DST)" while daylight
    // saving is in force) for time, or for the message's date when time is 0.
    static qirString FormatDate(const qirMsg* message, time_t time);

    // Fills this message as a reply to the source: recipients, "Re: "
    // subject and, with quote set, the quoted text.  Saved: 0, -6 for a
    // null source, the source's load status when it cannot be read whole
    // (nothing changed), or the save's status (reported).
    int MakeReply(const qirMsg* source, int quote);
    // Fills this message as a resent copy of the source, "  (fwd)" after the
    // subject, with an empty TO list: 0; -6 null source; the source's load
    // status when it cannot be read whole (nothing changed); -1 the copy
    // failed.
    int MakeResend(const qirMsg* source);
    // Writes the source's text, quoted, over this message's text part: 0, -7.
    int QuoteOriginal(const qirMsg* source);
    // "JB" for Joe Bloggs, "Cher", "jb" for jb@host, "<nobody>".
    static qirString SenderInitials(const qirMsg* message);
    // The user's own address when FROM is empty, the current time when the
    // date is 0: 0.
    int FillDefaults();
    // The user's own picture from a binary PBM file: path, else the value
    // of `OwnFaceFile`, else "/.xface.pbm" under the home directory.  0 (the
    // message is then modified); -1 when it cannot be read ("Can't load
    // PBMFile: <%s> " at level 2), the picture then empty.
    int LoadOwnXFace(const char* path = nullptr);
    // Re-encodes 8-bit parts marked 7bit, fills the defaults, builds the
    // header and saves; then hands the message to the agent when there is
    // one: the agent's result, 0 without one, or the save's failure.
    int Send(class qirMailAgent* agent);

    // The body's size in bytes, 0 without a body.
    virtual int Size();

    // What a summary has not read is read by the accessor that needs it.
    qirMsgComponent* Body() const { Need(); return body_; }
    const qirPath& Path() const { return directory_; }
    qirHeaderFields* Fields() const { Need(); return fields_; }
    qirList* To() const { Need(); return to_; }
    qirList* Cc() const { Need(); return cc_; }
    qirList* Bcc() const { Need(); return bcc_; }
    qirList* From() const { return from_; }
    qirList* ReplyTo() const { Need(); return replyTo_; }
    const qirString* Subject() const { return subject_; }
    const qirString* MimeVersion() const { Need(); return mimeVersion_; }
    time_t Date() const { return date_; }
    int IsRead() const { return isRead_; }
    int IsRemoved() const { return isRemoved_; }
    int IsModified() const { return modified_; }
    const qirXFace* Face() const { Need(); return face_; }
    // The 288-byte XBM raster, or null without a picture (a summary reads
    // the picture alone).
    const unsigned char* XFaceBits() const;
    qirContentType& ContentType() { Need(); return *contentType_; }
    const qirContentType& ContentType() const { Need(); return *contentType_; }
    // The number after the first seven characters of the directory's base
    // name ("Message12" 12, "Message0x1A" 26); 0 when there is none.
    int Number() const;
    // N when the directory is named exactly "Message" N, in decimal without
    // a leading zero (the names a folder's numbering gives), else -1.
    int CanonicalNumber() const { return canonical_; }

    // Each setter marks the message modified; a null argument changes
    // nothing more.  List setters copy the addresses.
    void SetTo(const qirList* list);
    void SetCc(const qirList* list);
    void SetBcc(const qirList* list);
    void SetFrom(const qirList* list);
    void SetReplyTo(const qirList* list);
    void AddTo(const qirAddress* a);
    void AddCc(const qirAddress* a);
    void AddBcc(const qirAddress* a);
    void AddFrom(const qirAddress* a);
    void AddReplyTo(const qirAddress* a);
    void SetSubject(const qirString* s);
    void SetFields(const qirHeaderFields* f);
    void SetDate(time_t t);
    void SetRead(int flag);
    void SetRemoved(int flag);
    void SetFace(const qirXFace* face);
    // The body's parts were changed in place (added, replaced, removed):
    // the next Save writes the message again.
    void SetModified() { modified_ = 1; }
    // Removes the old body from disk and takes over the new one (owned):
    // 0; -1 when the old body cannot be removed (it then stays).
    int SetBody(qirMsgComponent* body);

private:
    qirMsg& operator=(const qirMsg&) = delete;
    void Init();
    void AllocateRest();
    void Bound();
    void Open(int summary);
    int LoadSummary();
    int LoadWhole();
    int ReadParsed(const qirConfiguration& tree, int whole);
    int SaveFlags();
    template <class Out>
    void PutSummary(Out& out) const;
    void Need() const
    {
        if (partial_ == 1) const_cast<qirMsg*>(this)->Complete();
    }
    int DropBody(const char* what, int line);
    // direct: written in place (a directory not yet a message).
    int WriteHeader(int direct = 0) const;

private:
    // What a pass over a large folder reads of each message (sorting,
    // counting, flushing) comes first, beside the list links, so that a
    // pass touches as little memory per message as it can.
    // 0 read whole; 1 only the summary; 2 the rest could not be read.
    int partial_ = 0;
    int canonical_ = -1; // see CanonicalNumber
    int broken_ = 0;     // see IsBroken

protected:
    int modified_ = 1;
    int isRead_ = 0;
    int isRemoved_ = 0;
    time_t date_ = 0;

private:
    // Of a summary: the body's size and the flags as stored.
    int size_ = 0;
    int storedRead_ = 0;
    int storedRemoved_ = 0;

protected:
    // The directory was made by this object and has not been saved yet, so
    // it is no message: nobody reads it, and files go in place (Save).
    int fresh_ = 0;
    // A summary holds only from_ and subject_ (and face_ once its picture
    // was asked for); the other pointers are null until Complete.  Members
    // of this class call Need() (or source->Need()) before reading them.
    qirList* from_ = nullptr;      // fromList_
    qirString* subject_ = nullptr; // subjectText_
    qirList* to_ = nullptr;
    qirList* cc_ = nullptr;
    qirList* bcc_ = nullptr;
    qirList* replyTo_ = nullptr;
    qirXFace* face_ = nullptr;
    qirHeaderFields* fields_ = nullptr;
    qirString* mimeVersion_ = nullptr;
    qirMsgComponent* body_ = nullptr;
    qirDirectory directory_;
    qirContentType* contentType_ = nullptr; // owned

private:
    // Held in the message itself: every message has them, a summary too.
    qirList fromList_; // owns its addresses
    qirString subjectText_;

private:
    // Of a summary: whether its picture was looked for.
    int faceRead_ = 0;
};

// Every address of the source list (of qirAddress) copied to the end of the
// target, keeping only non-empty strings.
void qirCopyAddresses(qirList* target, const qirList* source);

#endif
