// The address book: aliases for addresses, kept in one file under a lock
// file ("<path>.LOCK") held for as long as the book object lives.
//
// File: one record of five lines per entry, in list order (see
// qirAddrBookEntry::Read); no header, no separator.
#ifndef QIR_ADDR_BOOK_H
#define QIR_ADDR_BOOK_H

#include "qirAddrBookEntry.h"
#include "qirList.h"
#include "qirLock.h"
#include "qirString.h"

class qirMsg;

class qirAddrBook : public qirList {
public:
    // Makes the lock and tries to take it; a book that did not get it can
    // neither load nor save (-19).
    explicit qirAddrBook(qirString path);
    // Unlocks and deletes the lock and the entries.
    ~qirAddrBook() override;

    // Appends the file's records: 0 (also for a missing or empty file);
    // -19 not holding the lock; -7 the file cannot be opened; -13 a record
    // cannot be read (the complete records before it stay).  After a -7 or
    // -13 the book refuses to save, so the file it could not read is kept.
    int Load();
    // Replaces the file through a temporary file renamed over it: 0; -19 not
    // holding the lock; -13 an earlier Load failed; -8 the temporary file
    // cannot be made; -12 a write, the close or the rename failed.  On any
    // failure the old file is left as it was, and the reason is put in
    // *failure when given (the caller shows it), else written to the log at
    // level 1.
    int Save(qirString* failure = nullptr);
    // The first entry whose alias equals this one exactly (case counts).
    qirAddrBookEntry* Find(qirString alias) const;
    // Appends an entry for the sender of each message, in order (see
    // qirAddrBookEntry(const qirMsg&)).  While an alias is taken, " (n)" is
    // appended to it, n from one counter for the whole call that starts at
    // 1: two messages from x, with x taken, give "x (1)" and "x (2)".  Not
    // saved.  Answers the number of entries appended.
    int AddSenders(const qirMsg* const* messages, int n);

    const qirString& Path() const { return path_; }
    int IsLocked() const { return lock_ && lock_->IsLocked(); }

    qirAddrBookEntry* First() const { return static_cast<qirAddrBookEntry*>(qirList::First()); }
    qirAddrBookEntry* Last() const { return static_cast<qirAddrBookEntry*>(qirList::Last()); }
    static qirAddrBookEntry* Next(const qirAddrBookEntry* e) { return static_cast<qirAddrBookEntry*>(qirList::Next(e)); }
    static qirAddrBookEntry* Prev(const qirAddrBookEntry* e) { return static_cast<qirAddrBookEntry*>(qirList::Prev(e)); }

private:
    qirAddrBook(const qirAddrBook&) = delete;
    qirAddrBook& operator=(const qirAddrBook&) = delete;

    qirString path_;
    qirLock* lock_ = nullptr; // owned
    int loadFailed_ = 0;      // the file on disk was not read whole
};

#endif
