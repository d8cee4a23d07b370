#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>
#include <vector>

#include "qirError.h"
#include "qirLock.h"
#include "qirStatus.h"

namespace {

// Keeps the reports instead of writing a file.
class RecordingLog : public qirError {
public:
    void Write(int level, const char* text) override { lines.push_back(std::to_string(level) + " " + text); }
    std::vector<std::string> lines;
};

std::string ReadFile(const std::string& path)
{
    std::string text;
    if (FILE* f = fopen(path.c_str(), "r")) {
        char buf[256];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            text.append(buf, n);
        fclose(f);
    }
    return text;
}

void WriteFile(const std::string& path, const std::string& text)
{
    FILE* f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs(text.c_str(), f);
    fclose(f);
}

std::string PidLine(int pid) { return std::to_string(pid) + "\n"; }

int EndedPid()
{
    pid_t pid = fork();
    if (pid == 0)
        _exit(0);
    waitpid(pid, nullptr, 0);
    return pid;
}

class qirLockTest : public testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/qir-lock-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        path_ = dir_ + "/LOCK";
        savedLog_ = qirLog;
        qirLog = &log_;
        savedBoot_ = qirBootTime;
    }
    void TearDown() override
    {
        qirLog = savedLog_;
        qirBootTime = savedBoot_;
        std::string cmd = "rm -rf '" + dir_ + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    int Exists() const { return access(path_.c_str(), F_OK) == 0; }

    std::string dir_, path_;
    RecordingLog log_;
    qirError* savedLog_ = nullptr;
    long savedBoot_ = -1;
};

TEST_F(qirLockTest, LockHoldsThePidAndUnlockRemovesIt)
{
    mode_t oldMask = umask(0);
    {
        qirLock lock(path_.c_str());
        EXPECT_STREQ(lock.Path().Text(), path_.c_str());
        EXPECT_EQ(lock.IsLocked(), 0);
        ASSERT_EQ(lock.Lock(), 0);
        EXPECT_EQ(lock.IsLocked(), 1);
        EXPECT_EQ(ReadFile(path_), PidLine(getpid()));
        struct stat st;
        ASSERT_EQ(stat(path_.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        EXPECT_EQ(log_.lines, std::vector<std::string>{"5 qirLock: Ok"});

        // Twice through the same object: refused, the file untouched.
        EXPECT_EQ(lock.Lock(), qirAlreadyOpen);
        struct stat again;
        ASSERT_EQ(stat(path_.c_str(), &again), 0);
        EXPECT_EQ(again.st_ino, st.st_ino);
        EXPECT_EQ(ReadFile(path_), PidLine(getpid()));

        EXPECT_EQ(lock.Unlock(), 0);
        EXPECT_EQ(lock.IsLocked(), 0);
        EXPECT_FALSE(Exists());

        // Not held: answers -19 and removes nobody else's file.
        WriteFile(path_, "1\n");
        EXPECT_EQ(lock.Unlock(), qirLockNotHeld);
        EXPECT_TRUE(Exists());
        unlink(path_.c_str());

        ASSERT_EQ(lock.Lock(), 0);
    }
    umask(oldMask);
    EXPECT_FALSE(Exists()); // the destructor unlocked
}

TEST_F(qirLockTest, TakesOverCorruptedAncientAndStaleLocks)
{
    const struct {
        std::string content;
        bool rebootedSince;
        const char* warning;
    } cases[] = {
        {"abc\n", false, "2 qirLock: Corrupted Lock file - Ignoring"},
        {"", false, "2 qirLock: Corrupted Lock file - Ignoring"},
        {PidLine(EndedPid()), false, "2 qirLock: Stale lock - ignoring."},
        // An earlier process that had our id: without its flock it is a leftover.
        {PidLine(getpid()), false, "2 qirLock: Stale lock - ignoring."},
        // Written before the last boot: ancient, although the id is alive now.
        {PidLine(getppid()), true, "2 qirLock: Ancient lock - ignoring."},
    };
    for (const auto& c : cases) {
        WriteFile(path_, c.content);
        qirBootTime = c.rebootedSince ? time(nullptr) + 1000 : 0;
        log_.lines.clear();
        qirLock lock(path_.c_str());
        EXPECT_EQ(lock.Lock(), 0) << c.warning;
        ASSERT_FALSE(log_.lines.empty());
        EXPECT_EQ(log_.lines.front(), c.warning);
        EXPECT_EQ(ReadFile(path_), PidLine(getpid()));
        struct stat st;
        ASSERT_EQ(stat(path_.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        EXPECT_EQ(lock.Unlock(), 0);
    }
}

// Shared with other programs: a dead owner's file goes at once, one whose
// owner cannot be tested only once it is old; a live owner's never.
TEST_F(qirLockTest, UntestedAgeGuardsLocksWithoutAnOwner)
{
    qirBootTime = 0;
    const struct {
        std::string content;
        long age;
        bool taken;
    } cases[] = {
        {"", 10, false},
        {"0\n", 10, false},
        {"mail\n", 10, false},
        {"", 600, true},
        {PidLine(EndedPid()), 0, true},
        {PidLine(getppid()), 3600, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.content) + " aged " + std::to_string(c.age));
        WriteFile(path_, c.content);
        struct timeval old[2] = {{time(nullptr) - c.age, 0}, {time(nullptr) - c.age, 0}};
        ASSERT_EQ(utimes(path_.c_str(), old), 0);
        qirLock lock(path_.c_str());
        lock.SetUntestedAge(300);
        EXPECT_EQ(lock.Lock(), c.taken ? 0 : qirLockHeld);
        EXPECT_EQ(ReadFile(path_), c.taken ? PidLine(getpid()) : c.content);
        if (c.taken) {
            EXPECT_EQ(lock.Unlock(), 0);
        }
    }
}

TEST_F(qirLockTest, LiveOwnerKeepsTheLock)
{
    qirBootTime = 0;
    // A live process's id in the file: refused, the file left as it was.
    WriteFile(path_, PidLine(getppid()));
    qirLock lock(path_.c_str());
    int rc = lock.Lock();
    EXPECT_NE(rc, 0);
    EXPECT_NE(rc, qirAlreadyOpen);
    EXPECT_EQ(lock.IsLocked(), 0);
    EXPECT_EQ(ReadFile(path_), PidLine(getppid()));
    unlink(path_.c_str());

    // Held by another object of this process: refused as well.
    qirLock first(path_.c_str()), second(path_.c_str());
    ASSERT_EQ(first.Lock(), 0);
    EXPECT_EQ(second.Lock(), qirLockHeld);
    EXPECT_EQ(ReadFile(path_), PidLine(getpid()));
    EXPECT_EQ(first.Unlock(), 0);
    EXPECT_EQ(second.Lock(), 0);
}

TEST_F(qirLockTest, HeldByAnotherProcessUntilItEnds)
{
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    pid_t child = fork();
    if (child == 0) {
        qirLog = nullptr;
        qirLock lock(path_.c_str());
        char c = lock.Lock() == 0 ? 'L' : 'F';
        if (write(ready[1], &c, 1) != 1 || read(release[0], &c, 1) != 1)
            _exit(2);
        _exit(lock.Unlock() == 0 ? 0 : 1);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'L');
    qirLock lock(path_.c_str());
    EXPECT_EQ(lock.Lock(), qirLockHeld);
    ASSERT_EQ(write(release[1], "x", 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(Exists());
    EXPECT_EQ(lock.Lock(), 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        close(fd);
}

// A forked copy of a held lock (the delivery process is forked from the
// window process) must not remove the parent's lock file when it ends.
TEST_F(qirLockTest, ForkedCopyLeavesTheParentsLock)
{
    qirLock lock(path_.c_str());
    ASSERT_EQ(lock.Lock(), 0);
    pid_t child = fork();
    if (child == 0) {
        qirLog = nullptr;
        _exit(lock.Unlock() == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadFile(path_), PidLine(getpid()));
    qirLock other(path_.c_str());
    EXPECT_EQ(other.Lock(), qirLockHeld);
}

// Real processes race for one lock file: exactly one may win, whether the
// file is absent or a stale one that each of them wants to take over.
TEST_F(qirLockTest, RacingProcessesLeaveOneWinner)
{
    const int racers = 8;
    for (int round = 0; round < 12; ++round) {
        qirBootTime = 0;
        unlink(path_.c_str());
        if (round % 3 == 1)
            WriteFile(path_, PidLine(EndedPid()));
        else if (round % 3 == 2)
            WriteFile(path_, "garbage");
        int start[2], results[2], finish[2];
        ASSERT_EQ(pipe(start), 0);
        ASSERT_EQ(pipe(results), 0);
        ASSERT_EQ(pipe(finish), 0);
        std::vector<pid_t> children;
        for (int i = 0; i < racers; ++i) {
            pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                qirLog = nullptr;
                close(start[1]);
                close(finish[1]);
                char c;
                (void)!read(start[0], &c, 1); // all start when the pipe closes
                qirLock lock(path_.c_str());
                int rc = lock.Lock();
                c = rc == 0 ? 'W' : rc == qirLockHeld ? 'L' : 'E';
                (void)!write(results[1], &c, 1);
                (void)!read(finish[0], &c, 1); // hold until every racer has tried
                _exit(rc == 0 && lock.Unlock() != 0 ? 1 : 0);
            }
            children.push_back(pid);
        }
        close(start[0]);
        close(finish[0]);
        close(results[1]);
        close(start[1]);
        std::string outcome;
        char c;
        while (outcome.size() < (size_t)racers && read(results[0], &c, 1) == 1)
            outcome += c;
        int winners = 0, losers = 0;
        for (char r : outcome)
            winners += r == 'W', losers += r == 'L';
        EXPECT_EQ(winners, 1) << "round " << round << ": " << outcome;
        EXPECT_EQ(losers, racers - 1) << "round " << round << ": " << outcome;
        // The file names the winner.
        std::string content = ReadFile(path_);
        bool namesARacer = false;
        for (pid_t pid : children)
            namesARacer |= content == PidLine(pid);
        EXPECT_TRUE(namesARacer) << content;
        close(finish[1]);
        close(results[0]);
        for (pid_t pid : children)
            waitpid(pid, nullptr, 0);
        EXPECT_FALSE(Exists());
    }
}

TEST_F(qirLockTest, MissingDirectoryFails)
{
    qirLock lock((dir_ + "/no/such/dir/LOCK").c_str());
    EXPECT_EQ(lock.Lock(), qirCannotOpen);
    EXPECT_EQ(lock.IsLocked(), 0);
    qirLock empty("");
    EXPECT_EQ(empty.Lock(), qirCannotOpen);
}

TEST_F(qirLockTest, BootTimeFromLoginRecordsElseKernel)
{
    std::string wtmp = dir_ + "/wtmp", stat = dir_ + "/stat";
    auto records = [&](std::vector<std::pair<short, long>> list) {
        FILE* f = fopen(wtmp.c_str(), "wb");
        for (auto& r : list) {
            struct utmp u;
            memset(&u, 0, sizeof u);
            u.ut_type = r.first;
            u.ut_tv.tv_sec = static_cast<int32_t>(r.second);
            fwrite(&u, sizeof u, 1, f);
        }
        fclose(f);
    };
    std::string longLine = "intr 1";
    for (int i = 0; i < 2000; ++i)
        longLine += " 0";
    WriteFile(stat, "cpu  1 2 3\n" + longLine + "\nctxt 5\nbtime 1700000000\nprocesses 9\n");

    records({{USER_PROCESS, 100}, {BOOT_TIME, 1600000000}, {USER_PROCESS, 200}, {BOOT_TIME, 1650000000}});
    EXPECT_EQ(qirLock::ReadBootTime(wtmp.c_str(), stat.c_str()), 1650000000); // the last record
    records({{USER_PROCESS, 100}, {DEAD_PROCESS, 300}});
    EXPECT_EQ(qirLock::ReadBootTime(wtmp.c_str(), stat.c_str()), 1700000000);
    EXPECT_EQ(qirLock::ReadBootTime((dir_ + "/none").c_str(), stat.c_str()), 1700000000);
    EXPECT_EQ(qirLock::ReadBootTime((dir_ + "/none").c_str(), (dir_ + "/none").c_str()), 0);

    // The first lock of the process reads the machine's own boot time.
    qirBootTime = -1;
    qirLock lock(path_.c_str());
    EXPECT_GT(qirBootTime, 0);
    EXPECT_LE(qirBootTime, time(nullptr));
}

} // namespace
