// Runs a function in a forked child whose files cannot grow past a few
// hundred bytes, so that a save meets a failing write on any file system and
// as any user.  Answers the function's result, or -1000 when the child died.
#ifndef QIR_SMALL_FILE_LIMIT_H
#define QIR_SMALL_FILE_LIMIT_H

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

inline int qirRunWithSmallFileLimit(const std::function<int()>& body, rlim_t bytes = 256)
{
    pid_t pid = fork();
    if (pid < 0) return -1000;
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {bytes, bytes};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(body() & 0xff);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1000;
    return static_cast<signed char>(WEXITSTATUS(status));
}

#endif
