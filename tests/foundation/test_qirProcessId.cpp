#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "qirProcessId.h"

namespace {

// The id of a process that has ended and been reaped.
int EndedPid()
{
    pid_t pid = fork();
    if (pid == 0)
        _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

TEST(qirProcessId, AliveTest)
{
    EXPECT_EQ(qirProcessId(getpid()).IsAlive(), 1); // no tracing: itself counts
    EXPECT_EQ(qirProcessId(getppid()).IsAlive(), 1);
    EXPECT_EQ(qirProcessId(1).IsAlive(), 1);         // not ours to signal as a user, still alive
    EXPECT_EQ(qirProcessId(EndedPid()).IsAlive(), 0);
    EXPECT_EQ(qirProcessId(0).IsAlive(), 0);         // a process group, not a process
    EXPECT_EQ(qirProcessId(-1).IsAlive(), 0);

    // A live process is not disturbed by the test: a child blocked on a pipe
    // stays running (not stopped as a tracee would be) and then ends normally.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    if (child == 0) {
        char c;
        close(fds[1]);
        _exit(read(fds[0], &c, 1) == 1 ? 7 : 1);
    }
    close(fds[0]);
    EXPECT_EQ(qirProcessId(child).IsAlive(), 1);
    int status = 0;
    EXPECT_EQ(waitpid(child, &status, WNOHANG | WUNTRACED), 0);
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7);
    close(fds[1]);
}

TEST(qirProcessId, ReadAndWrite)
{
    const struct {
        const char* text;
        int rc;
        int pid;
    } cases[] = {
        {"1234\n", 0, 1234}, {"  42", 0, 42}, {"-7\n", 0, -7}, {"abc\n", -3, 99}, {"", -3, 99}, {"99999999999\n", -3, 99},
    };
    for (const auto& c : cases) {
        char path[] = "/tmp/qir-pid-XXXXXX";
        int fd = mkstemp(path);
        ASSERT_EQ(write(fd, c.text, strlen(c.text)), (ssize_t)strlen(c.text));
        qirProcessId byFd(99);
        EXPECT_EQ(byFd.ReadFrom(fd), c.rc) << c.text; // reads from the start whatever the offset
        EXPECT_EQ(byFd.Pid(), c.pid) << c.text;
        if (c.rc == 0 || !*c.text) { // out of range is the one reading "%d" has no rule for
            FILE* f = fopen(path, "r");
            qirProcessId byStream(99);
            EXPECT_EQ(byStream.Read(f), c.rc) << c.text;
            EXPECT_EQ(byStream.Pid(), c.pid) << c.text;
            fclose(f);
        }
        close(fd);
        unlink(path);
    }

    char path[] = "/tmp/qir-pid-XXXXXX";
    int fd = mkstemp(path);
    EXPECT_EQ(qirProcessId(31337).WriteTo(fd), 0);
    FILE* f = fdopen(dup(fd), "a");
    EXPECT_EQ(qirProcessId(-2).Print(f), 0);
    fclose(f);
    char text[64] = {0};
    EXPECT_EQ(pread(fd, text, sizeof text - 1, 0), 9);
    EXPECT_STREQ(text, "31337\n-2\n");
    close(fd);
    unlink(path);
    EXPECT_EQ(qirProcessId(5).WriteTo(-1), -12);
}

TEST(qirProcessId, CopyDropsTheOwner)
{
    int window;
    qirProcessId editor(123, &window);
    EXPECT_EQ(editor.Owner(), &window);
    qirProcessId copy(editor);
    EXPECT_EQ(copy.Pid(), 123);
    EXPECT_EQ(copy.Owner(), nullptr);
    EXPECT_EQ(copy.ClassId(), 34);
}

} // namespace
