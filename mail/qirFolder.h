// A folder: a directory of message directories "Message0", "Message1", ...
// kept without gaps.  Message objects are loaded on demand; new mail is
// fetched into the folder from a POP3 server or a local mailbox.
//
// The message list window derives from the folder and overrides NewMessage,
// Unload, Flush and CopyIn to keep its rows current; everybody else sees
// only qirFolder.
#ifndef QIR_FOLDER_H
#define QIR_FOLDER_H

#include <fcntl.h>
#include <memory>
#include <string>
#include <vector>

#include "qirError.h"
#include "qirFetchProof.h"
#include "qirList.h"
#include "qirMsg.h"
#include "qirPath.h"
#include "qirString.h"

class qirHistory;

class qirSyncBatch;

class qirFolder : public qirList {
public:
    // Binds the folder to its directory (created with mode 0700 when
    // missing), reads "Name.txt", chooses the icon and renumbers the message
    // directories on disk.  A directory that cannot be made leaves an empty
    // folder with no directory.
    explicit qirFolder(const qirPath& directory);
    // Deletes the loaded message objects; never touches the disk.
    ~qirFolder() override;

    // The loaded messages (the list owns them).
    virtual qirMsg* First() const;
    virtual qirMsg* Last() const;
    virtual qirMsg* Next(const qirMsg* message) const;
    virtual qirMsg* Prev(const qirMsg* message) const;

    // Saves every loaded message, in the order they were loaded: 0; -6 when
    // noDirectoryOk is 0 and there is no directory; -1 at the first failure
    // (the rest are not saved).
    virtual int SaveAll(int noDirectoryOk);
    // Appends a message object for every message directory of the given
    // directory (the folder's own when null): 0; -6 no directory; -1 it
    // cannot be made or opened.  Lists them by the numbers they carry.  A
    // directory that does not load (a crash left it without its files, or
    // with empty ones) is no message: it is kept on disk as it is, keeps
    // its place in the numbering, and all such are told in one report.
    // What killed copies and removals left behind is cleared away.
    virtual int Load(const qirDirectory* directory = nullptr);
    // Deletes every loaded message and counts the directories on disk again.
    virtual void Unload();
    // Removes every message and the folder directory: 0; -6; -1 a message
    // could not be removed; -11 the directory could not be removed.
    virtual int Destroy();
    // Copies the message's directory into this folder as a new message
    // directory, then flushes: 0, or -1.  A message changed since it was
    // loaded (its flags) is saved first, so the copy is what the user sees;
    // the copy is never marked deleted.
    virtual int CopyIn(qirMsg* message);
    // Saves, removes the messages marked removed, renumbers: 0, or -1 when a
    // removal or the renumbering failed (failed saves are only reported).
    virtual int Flush();
    // Moves every loaded message to a new directory (which must not exist)
    // and removes the old one: 0; -1; -8 the new directory cannot be made.
    virtual int MoveTo(const qirPath& newDirectory);
    // A new message object for the message directory path; null asks for the
    // next free one (NextMessagePath).  The caller appends it to the list.
    virtual qirMsg* NewMessage(const qirPath* path);

    // The loaded messages in the order they were made (about the order they
    // lie in memory), for passes over a large folder that need no order:
    // the list's order after a sort would visit memory at random.  They
    // come and go only through the folder's own operations, and only
    // Reorder changes the list's order.
    const std::vector<qirMsg*>& LoadedMessages() const { return arrival_; }
    // For each of them, by the same index, its place in the list's order
    // (places compare as the list orders the messages).
    const std::vector<int>& ListPlaces() const { return places_; }
    // Puts the list in the given order of indices into LoadedMessages (each
    // once): 0, or -9 for an order that is not one.
    int Reorder(const std::vector<int>& order);

    // Copies several messages in with a single flush at the end: the number
    // copied, or -1 at once, without a flush, when none could be.  Each
    // message's changed flags are saved first, so that the copy shows what
    // the user sees.  copied, when given, gets n entries: 1 for each
    // message copied, 0 for each left out (failures are reported once).
    // share 1 is for a move, whose originals are removed soon: the copies'
    // files are second links to the originals' where the disk allows (a
    // message's files are only ever replaced, never written in place).
    int CopyIn(qirMsg* const* messages, int n, int* copied = nullptr, int share = 0);

    // Moves messages of source (a different folder, whose list holds them)
    // into this folder, each directory by one rename into the next free
    // number, so that it is in exactly one of the two at every instant;
    // across file systems by a copy, the original leaving once the copy is
    // on disk.  Changed flags go along; a deletion mark does not.  Every
    // message that left source is released from it (its object deleted);
    // moved, when given, gets n entries: 1 moved and released, 2 copied
    // but the original kept there marked deleted (saved), 0 not moved
    // (failures are reported once).  Then one flush of this folder.  The
    // number that arrived here, or -1 when none could.
    int MoveIn(qirFolder* source, qirMsg* const* messages, int n, int* moved = nullptr);
    // Takes messages of this folder out of its list and deletes them,
    // touching no directory: they are elsewhere now (a move).
    virtual void Release(qirMsg* const* messages, int n);

    // Closes the gaps: "Message" 0, 1, 2, ... in the order of the numbers the
    // directories carry (each moved by its real name, so odd spellings such
    // as "message4" or "Message010" keep their contents): 0, or -1 when the
    // directory cannot be read.  Failed moves are reported and skipped.
    int Renumber();
    // Counts the message directories on disk into count: the count (0 when
    // the directory cannot be opened).
    int CountOnDisk();
    // The folder directory "/Message" count; the count is taken from the disk
    // first when the loaded list disagrees with it.
    qirDirectory* NextMessagePath();

    // Fetches new mail from a POP3 server (see qirFolder.cpp): 0; the
    // connection's status (-4, -5) when login or listing failed; -12 when
    // the final flush failed.  Messages are stored in rounds: each round's
    // files reach the disk before they enter the folder, and the folder
    // before the history names them.  DELE is sent only when keep is 0, at
    // the end, for messages this client holds: stored now, or stored before
    // and proved the same (identifier, listed size and text).  A message
    // far longer than listed or arriving too slowly is left on the server.
    int FetchPOP3(qirString server, qirString service, qirString user, qirString password,
                  qirHistory* history, int keep);

    // Fetches the messages of a local mailbox spool: 0; the mailbox's status
    // when it cannot be opened (-6, -7, -9, -20); -12 when the final flush
    // failed.  Stored in rounds as for POP3; with keep 0 the letters this
    // client holds (stored now, or before with the same length and text)
    // leave the spool, after they and the history are on disk.
    int FetchMailbox(const qirPath& spool, qirHistory* history, int keep);

    // Test hook: called at each step of a fetch ("staged" after each
    // message staged, "synced", "published" and "recorded" after each round,
    // "deleting" before anything is deleted at the source) with a count.
    static void (*fetchStep)(const char* step, int count);
    // How long a fetch may take and how far a message may outgrow its
    // listed size: seconds plus its size over bytesPerSecond for each
    // message, checkSeconds plus the size of all that is to be fetched over
    // bytesPerSecond for the whole check; twice the listed size plus margin,
    // or ceiling when the server listed none.  Messages are stored in rounds
    // of at most roundMessages (or 16 MB): one round of syncs each.
    struct FetchPace {
        size_t roundMessages = 64;
        double seconds = 120;
        double checkSeconds = 300;
        double bytesPerSecond = 4096;
        long long margin = 1 << 20;
        long long ceiling = 256LL << 20;
    };
    static FetchPace fetchPace;

    const qirDirectory* Directory() const { return directory_; }
    const qirString& Name() const { return name_; }
    const qirPath& Icon() const { return icon_; }
    int Count() const { return count_; }
    int IsIncoming() const { return incoming_; }
    int IsOutgoing() const { return outgoing_; }
    int IsLoaded() const { return loaded_; }

    // The order key of a message directory name ("Message" and a number):
    // the number read with the C library's automatic base ("Message010" 8),
    // or in decimal when only that reads the whole rest ("Message08" 8);
    // names without a number sort after every number.  A directory a
    // renumbering put aside ("Message7-aside-<pid>-<n>") keeps its number.
    static unsigned long long NumberKey(const char* baseName);
    // 1 when the base name counts as a message directory name ("Message*",
    // case ignored).
    static int IsMessageName(const char* baseName);

protected:
    // A fresh message directory of this folder made by fill, which is given
    // a path that does not exist yet and must create the directory there
    // (an import and save, or a copy); published under the first free
    // "Message" N at or above the count, never over an existing entry.  A
    // failure removes whatever was made.  The path, or "" on failure (status
    // in *status).
    qirPath StoreNew(int (*fill)(const char* directory, void* context), void* context, int* status);
    // The two halves of StoreNew: a directory made by fill in this process's
    // staging area ("" on failure), and its move into the folder.
    std::string Stage(int (*fill)(const char* directory, void* context), void* context, int* status);
    qirPath Publish(const std::string& staged, int* status, int stagingFd = AT_FDCWD, int folderFd = AT_FDCWD);
    // Renames the directory from into the first free "Message" N at or
    // above the count, never over an entry: the new path, or "" with
    // errno telling why (from is then where it was).  With open
    // directories given, from is taken by its name in stagingFd and the
    // new name made in folderFd (this folder's directory).
    qirPath Place(const std::string& from, int* status, int stagingFd = AT_FDCWD, int folderFd = AT_FDCWD);
    int EnsureStaging();
    void DropStaging(); // when empty
    // Directories under the folder left by fetches whose process is gone.
    void RemoveStaleStaging();

    qirDirectory* directory_ = nullptr; // owned; null when it cannot be made
    qirString name_;
    qirPath icon_;
    int count_ = 0;
    int incoming_ = 0;
    int outgoing_ = 0;
    int loaded_ = 0;

private:
    qirFolder(const qirFolder&) = delete;
    qirFolder& operator=(const qirFolder&) = delete;
    int RenumberLoaded();
    void DeleteMessages();
    void AddLoaded(qirMsg* message);
    int FlushFetched(const char* reportEnd);
    // A fetched message waiting in the staging area for its round.
    struct Staged {
        std::string work; // its directory there
        std::string id;   // for the history; "" for none
        qirFetchProof proof;
        int source;       // its index or number at the source
        qirError::HeldReports reports; // what could not be read of it
    };
    int StageFetched(FILE* text, const char* id, const qirFetchProof& proof, int source, std::vector<Staged>* round);
    int PublishRound(std::vector<Staged>* round, qirHistory* history, std::vector<int>* published);
    int RenumberDisk();
    int MessageNames(const char* dir, std::vector<std::string>* names,
                     std::vector<std::string>* leftovers = nullptr) const;
    std::string staging_; // this process's private staging directory, or ""
    // The syncs of the round being staged, started message by message so
    // that the disk works while the next message comes in.
    std::unique_ptr<qirSyncBatch> roundSync_;
    std::vector<qirMsg*> arrival_; // the loaded messages (the list owns them)
    std::vector<int> places_;      // see ListPlaces
    // Base names of the message directories of the loaded folder that did
    // not load: they keep their places in the numbering, as they are.
    std::vector<std::string> broken_;
    int nextPlace_ = 0;            // past every place given
};

#endif
