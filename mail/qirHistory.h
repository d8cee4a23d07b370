// The identifiers of the messages already fetched from one source (a POP3
// server or the local mailbox), kept in a history file between sessions so
// that mail left at the source is not fetched again.
//
// File: one identifier per line, each ended by a line feed, the most
// recently added first.  An identifier may be followed by a TAB and its
// proof ("L" and a size, then " D" and a digest); a line without one, as
// older versions wrote them, means the identifier alone.
#ifndef QIR_HISTORY_H
#define QIR_HISTORY_H

#include <string>
#include <unordered_map>
#include <vector>

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

    // What a fetch learns of a message at its source from Match.
    enum {
        matchDiffers = -1, // known, but only with other proofs: another message
        matchUnknown = 0,
        matchKnown = 1,    // known from a history that kept no proof
        matchSize = 2,     // the sizes agree; no digest could be compared
        matchSame = 3,     // size and digest agree: the message stored before
    };
    // Starts a fetch: what it records from now on is no evidence for its own
    // lookups, so that two messages of one fetch that share an identifier
    // are both stored.
    void BeginFetch();
    // Looks the identifier up among the entries from before this fetch and
    // marks the best match seen (an unseen one first).
    int Match(const char* id, const qirFetchProof& proof);
    // Adds the identifier with its proof as seen; the line is written by
    // WritePending.  Nothing for an identifier left empty.
    void Record(const char* id, const qirFetchProof& proof);
    // Appends the lines recorded since the last call to the file and syncs
    // it, so that a fetch killed later never fetches those messages again
    // (the next Save rewrites the file in its usual order): 0; when the
    // lines cannot be appended, the whole file is saved instead and a
    // failure of that is returned.  Call it only once the messages it names
    // are on stable storage.
    int WritePending();
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

    qirHistoryEntry* Insert(std::string id, int seen);
    int AppendLines(const std::string& lines);
    void CloseJournal();

    char* path_;  // owned
    int limit_;
    int journal_ = -1; // the file open for appending, between Saves
    int generation_ = 0;
    std::string pending_; // lines recorded, not yet written
    // The entries of each identifier in file order, so that a fetch looks
    // each message up in constant time however long the history is.
    std::unordered_map<std::string, std::vector<qirHistoryEntry*>> index_;
};

#endif
