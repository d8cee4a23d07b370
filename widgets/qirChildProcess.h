// Child processes of the window process (external editors, mailcap
// viewers) and the signals that must reach the event loop.
//
// The signal handlers only write a byte into a non-blocking, close-on-exec
// pipe; the pipe's read end is watched by the InterViews dispatcher, so
// every effect (reaping, log lines, reloading a window, quitting) happens
// in the event loop.  Only children recorded in qirChildList are reaped,
// each by its own pid without blocking: the exit status of commands run
// through system() or popen stays with their callers, and the toolkit's
// own child handling (which waits for any child) is never used.
#ifndef QIR_CHILD_PROCESS_H
#define QIR_CHILD_PROCESS_H

#include "qirString.h"

// Told, from the event loop and never inside a posted dialog, when its
// recorded child has ended.  An owner going away calls Disown first.
class qirChildOwner {
public:
    virtual void ChildEnded(int pid) = 0;

protected:
    ~qirChildOwner() = default;
};

class qirChildProcess {
public:
    // Installs the SIGCHLD, SIGTERM and SIGHUP handling: 0, or -1 when the
    // pipe cannot be made.  Once per process; later calls answer 0.
    static int Install();

    // Runs "/bin/sh -c command" in a process group of its own, with args
    // (argCount words, may be null) as the shell's $1, $2, ...: text from
    // mail or a page travels there, never inside the command.  The child
    // is recorded in qirChildList with owner (null: nobody is told).
    // Answers the pid, or -1 when fork fails ("Could not fork the program"
    // and the system's reason on standard error; nothing is recorded).
    static int Start(const qirString& command, const char* const* args, int argCount,
                     qirChildOwner* owner);

    // 1 while pid is a recorded child not yet reaped.
    static int IsRunning(int pid);
    // Sends SIGTERM to the whole process group of a recorded, running
    // child: 0, or -1 when pid is not such a child.
    static int Terminate(int pid);
    // The owner goes away: its records stay, without owner, so that their
    // exits are still reaped and logged; nothing more is told to it.
    static void Disown(qirChildOwner* owner);

    // Reaps every recorded child that has ended, logs it and tells its
    // owner (after the current event).  The pipe's handler runs this.
    static void ReapNow();

    // What a SIGTERM or SIGHUP does, in the event loop.  The default ends
    // the session loop, after which the quit's saves run.
    static void (*TerminateRequest)();
    // The read end of the pipe, -1 before Install (tests).
    static int PipeFd();
};

#endif
