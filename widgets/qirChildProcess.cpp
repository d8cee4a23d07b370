#include "qirChildProcess.h"

#include "qirAfterEvent.h"
#include "qirDispatch.h"
#include "qirError.h"
#include "qirList.h"
#include "qirProcessId.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <InterViews/session.h>

namespace {

int pipeFds[2] = {-1, -1};

const char childByte = 'C';
const char terminateByte = 'T';

void Notify(char byte) {
    int saved = errno;
    // A full pipe already holds a wake-up: nothing is lost by dropping.
    ssize_t ignored = write(pipeFds[1], &byte, 1);
    (void)ignored;
    errno = saved;
}

void OnChild(int) { Notify(childByte); }
void OnTerminate(int) { Notify(terminateByte); }

void QuitSession() {
    if (Session* s = Session::instance())
        s->quit();
}

// Ended children whose owners are still to be told.
struct Ended {
    qirChildOwner* owner;
    int pid;
};
std::vector<Ended>& EndedList() {
    static std::vector<Ended> list;
    return list;
}

void TellOwners(void*) {
    std::vector<Ended> ended;
    ended.swap(EndedList());
    for (const Ended& e : ended)
        e.owner->ChildEnded(e.pid);
}

class PipeHandler : public IOHandler {
public:
    int inputReady(int fd) override {
        char bytes[64];
        bool terminate = false;
        ssize_t n;
        while ((n = read(fd, bytes, sizeof bytes)) > 0)
            for (ssize_t i = 0; i < n; i++)
                if (bytes[i] == terminateByte)
                    terminate = true;
        qirChildProcess::ReapNow();
        if (terminate && qirChildProcess::TerminateRequest) {
            if (qirLog)
                qirLog->Write(qirLogInfo, "Asked to end: saving and quitting");
            qirChildProcess::TerminateRequest();
        }
        return 0;
    }
};

qirProcessId* Record(int pid) {
    for (qirObject* n = qirChildList.First(); n; n = qirList::Next(n)) {
        qirProcessId* p = static_cast<qirProcessId*>(n);
        if (p->Pid() == pid)
            return p;
    }
    return nullptr;
}

void SetFlags(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

}  // namespace

void (*qirChildProcess::TerminateRequest)() = QuitSession;

int qirChildProcess::PipeFd() { return pipeFds[0]; }

int qirChildProcess::Install() {
    if (pipeFds[0] >= 0)
        return 0;
    if (pipe(pipeFds) != 0) {
        pipeFds[0] = pipeFds[1] = -1;
        return -1;
    }
    SetFlags(pipeFds[0]);
    SetFlags(pipeFds[1]);
    static PipeHandler handler;
    Dispatcher::instance().link(pipeFds[0], Dispatcher::ReadMask, &handler);

    struct sigaction sa = {};
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sa.sa_handler = OnChild;
    sigaction(SIGCHLD, &sa, nullptr);
    sa.sa_flags = SA_RESTART;
    sa.sa_handler = OnTerminate;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    return 0;
}

int qirChildProcess::Start(const qirString& command, const char* const* args, int argCount,
                           qirChildOwner* owner) {
    Install();
    std::vector<const char*> argv = {"/bin/sh", "-c", command.Data() ? command.Data() : "", "sh"};
    for (int i = 0; i < argCount; i++)
        argv.push_back(args[i] ? args[i] : "");
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) {
        perror("Could not fork the program");
        return -1;
    }
    if (pid == 0) {
        qirPrepareChild();
        execv("/bin/sh", const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    setpgid(pid, pid);
    // Appended before control returns to the event loop, so an exit that
    // came at once is still handled there.
    qirChildList.Append(new qirProcessId(pid, owner));
    return pid;
}

int qirChildProcess::IsRunning(int pid) { return pid > 0 && Record(pid) != nullptr; }

int qirChildProcess::Terminate(int pid) {
    if (!IsRunning(pid))
        return -1;
    if (kill(-pid, SIGTERM) != 0)
        kill(pid, SIGTERM);
    return 0;
}

void qirChildProcess::Disown(qirChildOwner* owner) {
    if (!owner)
        return;
    // Same pid, no owner: the exit is logged like a viewer's.
    for (qirObject* n = qirChildList.First(); n; n = qirList::Next(n)) {
        qirProcessId* p = static_cast<qirProcessId*>(n);
        if (p->Owner() == owner)
            p->SetOwner(nullptr);
    }
    std::vector<Ended>& ended = EndedList();
    for (auto it = ended.begin(); it != ended.end();)
        it = it->owner == owner ? ended.erase(it) : it + 1;
}

void qirChildProcess::ReapNow() {
    bool told = false;
    for (qirObject* n = qirChildList.First(); n;) {
        qirProcessId* p = static_cast<qirProcessId*>(n);
        n = qirList::Next(n);
        int status;
        pid_t r = waitpid(p->Pid(), &status, WNOHANG);
        // ECHILD: someone else reaped it; it is gone all the same.
        if (r == 0 || (r < 0 && errno != ECHILD))
            continue;
        qirChildOwner* owner = static_cast<qirChildOwner*>(p->Owner());
        if (owner) {
            if (qirLog)
                qirLog->Report(qirLogInfo, "The Editor process (PID:%d) terminated!", p->Pid());
            EndedList().push_back(Ended{owner, p->Pid()});
            told = true;
        } else if (qirLog) {
            qirLog->Report(qirLogInfo, "The child process (PID:%ld) terminated!\n", static_cast<long>(p->Pid()));
        }
        qirChildList.Unlink(p);
        delete p;
    }
    if (told)
        qirAfterEvent::Run(TellOwners, nullptr);
}
