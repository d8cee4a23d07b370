// The user's Unix mailbox: a spool file of messages, each introduced by a
// "From " line at the start of the file or after an empty line.
//
// The spool is held open under a shared lock (flock and fcntl) from
// construction to destruction, so that delivery agents, which lock
// exclusively, do not append while it is read.  Removing deleted messages
// takes the exclusive locks and the "<spool>.lock" dot-lock for the rewrite
// only.
//
// The rewrite is in place (the spool keeps its owner, mode and inode), and
// a journal makes it safe against a kill at any point: the text that is to
// follow the first deleted message is written to "<spool>.QIRjournal" and
// synced before the spool is touched, and opening a spool whose journal is
// still there first finishes that rewrite.
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
#include "qirLock.h"
#include "qirMsgInfo.h"
#include "qirPath.h"

class qirMailBox : public qirMsgInfoList {
public:
    // Opens and locks the spool and finishes an interrupted rewrite (see
    // Recovered); with scan set, also reads every record (Scan).  Status: 0;
    // -6 neither the spool nor its directory exists; -9 the path is a
    // directory; -7 it cannot be opened or is not a regular file, or it is
    // read-only with a rewrite to finish; -20 another process holds an
    // exclusive lock on it (or the dot-lock, while a rewrite is to be
    // finished); -12 finishing the rewrite failed (the journal is kept).  A
    // missing spool in an existing directory is an empty mailbox (status 0).
    // journalDir: where the journal goes when the spool's directory cannot
    // be written (a system spool directory); null: the user's ".QIR".
    explicit qirMailBox(const qirPath& path, int scan = 1, const char* journalDir = nullptr);
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
    // The same text in one piece of the mailbox's memory, valid until the
    // next call: 0; 1 when it is larger than the read-ahead window (use
    // ReadText); the failures of ReadText.  Letters read in spool order
    // cost one read of the spool for many of them.
    int TextOf(int number, const char** text, size_t* length);

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
    // when none is.  The new text from the first deleted message on, mail
    // appended since the spool was read included, is first written to the
    // journal (mode 0600) and synced, then copied over the spool in place,
    // which is cut to its new length only after that copy is synced.  0; -6
    // not open; -7 the spool is read-only; -20 the exclusive locks are not
    // to be had (nothing changed); -1 the spool was replaced or shortened by
    // someone else, or a journal is already there (nothing changed); -18 the
    // journal cannot be made; -12 a write failed: when the spool may have
    // been touched, TempPath() names the journal, which the next opening
    // replays, and the spool is closed; else the spool is unchanged.  On
    // success the records are dropped and the walk starts again.
    int Commit() override;
    // Rewind, then walk every message: 0, or -13 on a read error, -6 when
    // the spool is not open.
    int Scan() override;

    const qirPath& Path() const { return path_; }
    // After a failed Commit that may have touched the spool: the journal
    // holding the text that is to follow the first deleted message's offset;
    // "" otherwise.
    const std::string& TempPath() const { return tempPath_; }
    // What opening found of an interrupted rewrite: 0 none; 1 it was
    // finished; -1 the spool had changed so that its journal no longer
    // fits: the spool was left as it is and the journal renamed aside
    // (AsidePath), its text being messages the user may still want.
    int Recovered() const { return recovered_; }
    const std::string& AsidePath() const { return asidePath_; }
    // Whether the walk digests each letter's text for its proof (the
    // default); without, a proof holds the length alone.  Set before a walk.
    void SetDigests(int on) { digests_ = on ? 1 : 0; }
    // Bytes read from the spool so far, for checking that a walk reads once.
    long BytesRead() const { return bytesRead_; }

    // For tests: called before a rewrite takes its locks (step 0) and after
    // each of its steps that changes a file, and those of finishing one
    // (1, 2, ... in each), so that a test can stop the process dead there.
    static void SetStepHook(void (*hook)(int step));

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
    void CloseSpool();

    // The journal of a rewrite: the spool's text from offset on is to be
    // kept bytes of the journal's text; the spool was size bytes long, and
    // marker is written just past the kept text until the spool is cut.
    struct Journal {
        unsigned long long dev = 0, ino = 0;
        long long offset = 0, kept = 0, size = 0;
        std::string marker;
        long long textAt = 0; // where the text starts in the journal file
    };
    struct Piece {
        int fd;
        long long from, length;
    };
    void JournalPlaces(std::string* beside, std::string* own) const;
    int FindJournal();
    void RemoveUnfinishedJournal();
    int Recover();
    int WriteJournal(Journal* j, const std::vector<Piece>& text, int* jfd);
    int ExtendJournal(int* jfd, Journal* j, long long size);
    int Apply(int* jfd, Journal* j);
    std::string JournalPlace() const;
    void SetJournalAside();
    void Step();

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
    qirLock* dotLock_ = nullptr; // owned, while the rewrite holds it
    std::string journalDir_;     // the fallback place of the journal
    std::string journal_;        // the journal found or being written
    // The digest of the current message's text, fed line by line as the walk
    // passes it; the last two bytes wait, as they may be the empty line that
    // ends the message in the spool and is no part of it.
    struct TextDigest {
        qirDigest digest;
        char hold[2];
        int held = 0;
        int last = -1; // the last byte digested, -1 none
        int lengthOnly = 0; // count the bytes, digest nothing
        long long counted = 0;
        void Add(const char* p, size_t n);
        void Feed(const char* p, size_t n)
        {
            if (lengthOnly) counted += static_cast<long long>(n);
            else digest.Add(p, n);
        }
        void Finish(qirMsgInfo* m);
    };
    TextDigest text_;
    int digests_ = 1;
    int digesting_ = 0;
    std::vector<char> textBuf_; // ReadText's, apart from the walk's buffer
    std::vector<char> window_;  // TextOf's read-ahead: the spool from windowAt_
    long long windowAt_ = 0;
    size_t windowLength_ = 0;
    std::string tempPath_;
    std::string asidePath_;
    int recovered_ = 0;
    int step_ = 0;
};

#endif
