// The background delivery server, run in the forked delivery process: it
// holds the queue directory's "LOCK", delivers every queued entry through
// an agent made for each scan (`DeliverAgent` "Sendmail" or "SMTP"),
// removes delivered entries and keeps failed ones for the next scan, five
// seconds later.  It ends when a byte arrives on the stop pipe, and with
// status 1 when the window process has gone.
//
// An entry is sent at least once, and once only unless the process is
// killed in the moment between the receiver's acceptance and the rename
// that marks the entry ".delivered-..." (made before anything else, even a
// log line); marked entries are never sent and are removed after the scan.
//
// What is never retried: a message the server refused for good (5xx) or
// delivered to only some of its recipients is moved into ".refused" in the
// queue directory and reported; a delivered entry that cannot be marked or
// removed is remembered and never sent again.
#ifndef QIR_SERVER_H
#define QIR_SERVER_H

#include <set>
#include <string>

#include "qirObject.h"
#include "qirPath.h"

class qirLock;
class qirMailAgent;

class qirServer : public qirObject {
public:
    // pipe: the read end of the stop pipe (non-blocking).  Reads `QueueDir`
    // and makes it (mode 0700) when missing.  interval: milliseconds
    // between scans.
    explicit qirServer(int pipe, int interval = 5000);
    ~qirServer() override;

    // The server's life: 0 after the stop byte, 1 when the parent is gone.
    int Run();
    // Delivers one entry: the agent's result; -20 the entry is locked;
    // -13 it cannot be loaded.
    int DeliverOne(const qirPath& entry);

    // The agent for DeliverOne (owned); Run makes one per scan.
    void SetAgent(qirMailAgent* agent);

private:
    qirServer(const qirServer&) = delete;
    qirServer& operator=(const qirServer&) = delete;
    int StopRequested();
    int ParentGone() const;
    int Wait(int milliseconds);
    int Lost();
    // Moves what is at path (the entry, or its marked name) into ".refused".
    void SetAside(const std::string& path, const qirPath& entry, const char* why);
    // The entry's new name, or "" when it cannot be renamed.
    std::string MarkDelivered(const qirPath& entry);
    void RemoveDelivered();

    qirMailAgent* agent_ = nullptr; // owned, null between scans
    int pipe_;
    int parent_;
    qirLock* queueLock_;            // owned
    qirDirectory* queue_;           // owned
    int interval_;
    std::set<std::string> delivered_; // delivered, could not be removed
    std::set<std::string> unloadable_; // reported once
    std::set<std::string> unremovable_; // marked delivered, removal failed: reported once
};

// The delivery process's one server.
extern qirServer* qirServerInstance;

#endif
