#include "qirProcessId.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <unistd.h>

// The children started from the window process (editors, viewers).
qirList qirChildList;

qirProcessId::qirProcessId(int pid) : qirObject(34), pid_(pid) {}

qirProcessId::qirProcessId(int pid, void* owner) : qirObject(34), pid_(pid), owner_(owner) {}

qirProcessId::qirProcessId(const qirProcessId& other) : qirObject(34), pid_(other.pid_) {}

qirProcessId::~qirProcessId() {}

int qirProcessId::Read(FILE* file)
{
    int pid;
    if (!file || fscanf(file, "%d", &pid) != 1)
        return -3;
    pid_ = pid;
    return 0;
}

int qirProcessId::ReadFrom(int fd)
{
    char text[32];
    ssize_t n;
    do
        n = pread(fd, text, sizeof text - 1, 0);
    while (n < 0 && errno == EINTR);
    if (n <= 0)
        return -3;
    text[n] = '\0';
    // The same reading as "%d": leading blanks, a sign, digits, in range.
    char* end = nullptr;
    errno = 0;
    long pid = strtol(text, &end, 10);
    if (end == text || errno == ERANGE || pid < -2147483647L - 1 || pid > 2147483647L)
        return -3;
    pid_ = static_cast<int>(pid);
    return 0;
}

int qirProcessId::Print(FILE* file) const
{
    return (file && fprintf(file, "%d\n", pid_) > 0) ? 0 : -12;
}

int qirProcessId::WriteTo(int fd) const
{
    char text[24];
    int len = snprintf(text, sizeof text, "%d\n", pid_);
    ssize_t n;
    do
        n = write(fd, text, len);
    while (n < 0 && errno == EINTR);
    return n == len ? 0 : -12;
}

// kill with signal 0 only checks: it neither stops nor disturbs the process,
// and works where tracing is forbidden (containers, other users' processes).
int qirProcessId::IsAlive() const
{
    if (pid_ <= 0)
        return 0; // 0 and negatives name process groups, not one process
    return (kill(pid_, 0) == 0 || errno == EPERM) ? 1 : 0;
}

void qirPrepareChild()
{
    setpgid(0, 0);
    struct sigaction sa = {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGCHLD, SIGTERM, SIGHUP, SIGPIPE, SIGINT, SIGQUIT, SIGFPE})
        sigaction(sig, &sa, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}
