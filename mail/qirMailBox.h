// The user's Unix mailbox: a spool file of messages, each introduced by a
// "From " line at the start of the file or after an empty line.
//
// The spool is held open under a shared lock (flock and fcntl) from
// construction to destruction, so that delivery agents, which lock
// exclusively, do not append while it is read.  Removing deleted messages
// takes the exclusive locks and the "<spool>.lock" dot-lock for the rewrite
// only.
//
// A fetch walks the spool once, front to back:
//
//     qirMailBox box(path, 0);             // open and lock, no scan yet
//     while (qirMsgInfo* m = box.NextMessage()) {
//         if (history knows m->HistoryId()) continue;   // body skipped
//         FILE* f = box.FetchCurrent();                 // rest of it copied
//         ... import f, fclose(f) ...; box.MarkDeleted(m->Number());
//     }
//     if (box.Status()) ...               // a read error ended the walk
//     if (box.Commit()) ... box.TempPath() ...
//
// Every byte of the spool is then read once (BytesRead() equals the spool's
// size); the rewrite reads again only what lies after the first deleted
// message.
#ifndef QIR_MAIL_BOX_H
#define QIR_MAIL_BOX_H

#include <string>
#include <vector>

#include "qirDigest.h"
#include "qirMsgInfo.h"
#include "qirPath.h"

class qirMailBox : public qirMsgInfoList {
public:
    // Opens and locks the spool; with scan set, also reads every record
    // (Scan).  Status: 0; -6 neither the spool nor its directory exists;
    // -9 the path is a directory; -7 it cannot be opened or is not a regular
    // file; -20 another process holds an exclusive lock on it.  A missing
    // spool in an existing directory is an empty mailbox (status 0).
    explicit qirMailBox(const qirPath& path, int scan = 1);
    // Commits (rewrites only when something is marked deleted), unlocks and
    // closes.  Call Commit first to learn whether the rewrite worked.
    ~qirMailBox() override;

    // The walk.  Deletes the records and goes back to the spool's start.
    void Rewind();
    // Reads on to the next message and through its header, and answers its
    // record (owned by the list; its size is -1 until the walk passes the
    // message's end).  Null at the end of the spool (status 0) or after a
    // read error (status -13).
    qirMsgInfo* NextMessage();
    // The message last answered by NextMessage, without its "From " line and
    // without the empty line that ends it in the spool, copied into a new
    // temporary file positioned at its start; the caller closes it.  Null:
    // -3 no message is pending (none answered yet, or already fetched), -18
    // no temporary file, -12 a write failed (the walk goes on either way).
    FILE* FetchCurrent();

    // Hands the text of a record the walk has passed (its proof's text: no
    // "From " line, no separating empty line) to sink in pieces: 0; -3 an
    // unknown number or one not passed yet; -13 a read came up short; -12
    // the sink answered 0.
    typedef int (*Sink)(void* context, const char* text, int length);
    int ReadText(int number, Sink sink, void* context);

    // 0 without a spool file, -1 when not open, else the spool's size in
    // bytes when it was opened (or last rewritten).
    long TotalSize() override;
    // Any record already passed by the walk, read from its offset: the same
    // text as FetchCurrent.  -3 for an unknown number.
    FILE* Fetch(int number) override;
    // The "From " line and the header lines, without the empty line after
    // them; "" and status -3 for an unknown number.
    qirString HeaderText(int number) override;
    // Removes the messages marked deleted from the spool; nothing is written
    // when none is.  The new text from the first deleted message on is first
    // written to a private temporary file (mode 0600, in $TMPDIR or /tmp),
    // then copied over the spool in place, which is cut to its new length
    // only after that copy succeeded; mail appended since the spool was read
    // is kept.  0; -6 not open; -7 the spool is read-only; -20 the exclusive
    // locks are not to be had (nothing changed); -1 the spool was replaced
    // or shortened by someone else (nothing changed); -18 no temporary file;
    // -12 a write failed: when the spool may have been touched, TempPath()
    // names the kept copy of the new text, else the spool is unchanged.  On
    // success the records are dropped and the walk starts again.
    int Commit() override;
    // Rewind, then walk every message: 0, or -13 on a read error, -6 when
    // the spool is not open.
    int Scan() override;

    const qirPath& Path() const { return path_; }
    // After a failed Commit that may have touched the spool: the temporary
    // file holding the text that should follow the first deleted message's
    // offset; "" otherwise.
    const std::string& TempPath() const { return tempPath_; }
    // Bytes read from the spool so far, for checking that a walk reads once.
    long BytesRead() const { return bytesRead_; }

private:
    qirMailBox(const qirMailBox&) = delete;
    qirMailBox& operator=(const qirMailBox&) = delete;

    // Line reader over the spool, up to limit_.
    int Fill();
    int AtEnd();
    int AtMessageStart();
    long Tell() const { return bufOffset_ + static_cast<long>(pos_); }
    // Consumes one line: kept appended to keep, copied to out.  Answers its
    // length and notes whether it was empty.
    long ConsumeLine(std::string* keep, FILE* out);
    // Consumes lines up to the next message's "From " line or the end.
    void SkipToMessageStart(FILE* out);
    void FinishCurrent();
    void ParseHeader(qirMsgInfo* m);

    int LockExclusive();
    int Rewrite(qirMsgInfo* first);
    void UnlockExclusive();

    qirPath path_;
    int fd_ = -1;
    int writable_ = 0;
    long spoolSize_ = -1;   // -1: no spool file
    long limit_ = 0;        // the walk reads up to here
    char* buf_ = nullptr;   // owned
    size_t pos_ = 0, len_ = 0;
    long bufOffset_ = 0;
    int eof_ = 0;
    int prevEmpty_ = 1;     // the start of the file counts as after an empty line
    qirMsgInfo* current_ = nullptr; // its header read, body not yet
    std::string header_;    // current_'s "From " line and header
    long bytesRead_ = 0;
    int dotLocked_ = 0;
    // The digest of the current message's text, fed line by line as the walk
    // passes it; the last two bytes wait, as they may be the empty line that
    // ends the message in the spool and is no part of it.
    struct TextDigest {
        qirDigest digest;
        char hold[2];
        int held = 0;
        int last = -1; // the last byte digested, -1 none
        void Add(const char* p, size_t n);
        void Finish(qirMsgInfo* m);
    };
    TextDigest text_;
    int digesting_ = 0;
    std::vector<char> textBuf_; // ReadText's, apart from the walk's buffer
    std::string tempPath_;
};

#endif
