// A process id with an alive test; also the record of a running child
// process in qirChildList.
#ifndef QIR_PROCESSID_H
#define QIR_PROCESSID_H

#include <cstdio>

#include "qirList.h"
#include "qirObject.h"

class qirProcessId : public qirObject {
public:
    explicit qirProcessId(int pid);
    // owner: told when the child ends (a compose window for its external
    // editor), or null; never owned.
    qirProcessId(int pid, void* owner);
    // Copies the pid only: the copy has no owner.
    qirProcessId(const qirProcessId& other);
    ~qirProcessId() override;

    int Pid() const { return pid_; }
    void* Owner() const { return owner_; }
    void SetOwner(void* owner) { owner_ = owner; }

    // One decimal integer into the pid: 0, or -3 when none can be read.
    int Read(FILE* file);
    // The same from the start of a descriptor's file, whatever its offset.
    int ReadFrom(int fd);
    // "%d\n": 0, or -12 when the write fails.
    int Print(FILE* file) const;
    // "%d\n" with one write call: 0, or -12 unless every byte was written.
    int WriteTo(int fd) const;

    // 1 when a process with this id exists (kill with signal 0 succeeds or
    // is refused for permission only); ids <= 0 are never alive.
    int IsAlive() const;

private:
    qirProcessId& operator=(const qirProcessId&) = delete;
    int pid_;
    void* owner_ = nullptr;
};

// In a child just forked to run a command: a process group of its own (so
// that ending the group ends the whole command), the signals the window
// process catches or ignores back at their defaults, none blocked.
void qirPrepareChild();

// The running children of the window process (editors, mailcap viewers).
// Defined with the application module's statics; it does not delete its
// records when destroyed.
extern qirList qirChildList;

#endif
