// The identifiers of the messages already fetched from one source (a POP3
// server or the local mailbox), kept in a history file between sessions so
// that mail left at the source is not fetched again.
//
// File: one identifier per line, each ended by a line feed, the most
// recently added first.
#ifndef QIR_HISTORY_H
#define QIR_HISTORY_H

#include <string>
#include <unordered_map>

#include "qirHistoryEntry.h"
#include "qirList.h"

class qirHistory : public qirList {
public:
    // The path is copied (null allowed: nothing can then be loaded or saved);
    // Save writes at most limit identifiers.
    qirHistory(const char* path, int limit);
    // Deletes the entries.
    ~qirHistory() override;

    // Appends every non-empty line of the file as an unseen entry: 0; -7 the
    // file cannot be opened (the history stays as it was); -13 a read error
    // (the lines read before it are kept).
    int Load();
    // Marks the first entry of exactly this identifier seen: 1; 0 when there
    // is none.  An empty or null identifier is never looked up (0).
    int FindAndMark(const char* id);
    // Appends an entry.  CR and LF are removed from the identifier, as a
    // line of the file cannot hold them; an identifier left empty is not
    // added.
    void Add(const char* id, int seen);
    // Adds the identifier as seen and appends it to the file as one line at
    // once, so that a fetch killed later never fetches that message again;
    // the file still loads to the right set, and the next Save rewrites it
    // in its usual order.  0; 0 and nothing done for an identifier left
    // empty; when the line cannot be appended, the whole file is saved
    // instead and a failure of that is returned.
    int Record(const char* id);
    // Removes and deletes every entry not seen.
    void PurgeUnmarked();
    // Replaces the file through a temporary file with the last limit entries,
    // newest first: 0; -7 the file cannot be made; -12 a write failed (the
    // old file is left as it was); -29 the file was written but fewer than
    // limit / 100 places were left (the history is overflowing).
    int Save();

    const char* Path() const { return path_; }
    int Limit() const { return limit_; }

    qirHistoryEntry* First() const { return static_cast<qirHistoryEntry*>(qirList::First()); }
    qirHistoryEntry* Last() const { return static_cast<qirHistoryEntry*>(qirList::Last()); }
    static qirHistoryEntry* Next(const qirHistoryEntry* e) { return static_cast<qirHistoryEntry*>(qirList::Next(e)); }
    static qirHistoryEntry* Prev(const qirHistoryEntry* e) { return static_cast<qirHistoryEntry*>(qirList::Prev(e)); }

private:
    qirHistory(const qirHistory&) = delete;
    qirHistory& operator=(const qirHistory&) = delete;
    // Entries change only through the operations above, which keep the index.
    using qirList::Append;
    using qirList::AddLast;
    using qirList::InsertBefore;
    using qirList::Unlink;
    using qirList::Remove;
    using qirList::AppendAll;

    void Insert(std::string id, int seen);
    int AppendLine(const std::string& id);
    void CloseJournal();

    char* path_;  // owned
    int limit_;
    int journal_ = -1; // the file open for appending, between Saves
    // The first entry of each identifier, so that a fetch looks each message
    // up in constant time however long the history is.
    std::unordered_map<std::string, qirHistoryEntry*> index_;
};

#endif
