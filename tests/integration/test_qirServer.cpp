// The background delivery server as a real forked process, draining a
// queue directory into aiosmtpd.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "qirAddress.h"
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirLock.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirQueueAgent.h"
#include "qirSMTPSink.h"
#include "qirScratchDir.h"
#include "qirServer.h"
#include "qirStatus.h"

// Directories that cannot be removed, and the points at which the
// delivery process is killed: calls of the library reach this rmdir and
// rename first.
static std::string failingRmdir; // a path prefix
static std::string killAtRmdir, killAtRename;
static bool Starts(const char* path, const std::string& prefix)
{
    return !prefix.empty() && path && strncmp(path, prefix.c_str(), prefix.size()) == 0;
}
extern "C" int rmdir(const char* path)
{
    if (Starts(path, killAtRmdir)) raise(SIGKILL);
    if (Starts(path, failingRmdir)) {
        errno = EBUSY;
        return -1;
    }
    static int (*real)(const char*) = (int (*)(const char*))dlsym(RTLD_NEXT, "rmdir");
    return real(path);
}
extern "C" int rename(const char* from, const char* to)
{
    if (Starts(to, killAtRename)) raise(SIGKILL);
    static int (*real)(const char*, const char*) = (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
    return real(from, to);
}

// A log that kills its process when a chosen line is written.
struct qirKillingLog : qirError {
    std::string at;
    void Write(int level, const char* text) override
    {
        if (!at.empty() && text && strstr(text, at.c_str())) raise(SIGKILL);
        qirError::Write(level, text);
    }
};

#include "qirMailTestText.h"

namespace {

int Exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

struct ServerTest : ::testing::Test {
    qirScratchDir scratch;
    std::string queue;
    int stop[2] = {-1, -1};

    void SetUp() override
    {
        if (!qirSMTPSink::Available()) GTEST_SKIP() << "no aiosmtpd for /usr/bin/python3";
        queue = scratch.File("queue");
        qirConfig.Remove(nullptr);
        qirConfig.Set("QueueDir", queue.c_str());
        qirConfig.Set("DeliverAgent", "smtp");
        qirConfig.Set("SMTP.Host", "127.0.0.1");
        ASSERT_EQ(pipe(stop), 0);
        for (int fd : stop) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    void TearDown() override
    {
        for (int fd : stop)
            if (fd >= 0) close(fd);
        qirConfig.Remove(nullptr);
        failingRmdir.clear();
        killAtRmdir.clear();
        killAtRename.clear();
    }
    std::string Log() { return qirScratchDir::ReadFile(scratch.File("QIR-server.log")); }

    // The delivery process: the server with a short scan interval.  It is
    // killed when it writes the log line killAtLine.
    pid_t StartServer(const std::string& undeletable = "", const std::string& killAtLine = "")
    {
        fflush(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            close(stop[1]);
            failingRmdir = undeletable;
            qirKillingLog* log = new qirKillingLog;
            log->at = killAtLine;
            qirLog = log;
            qirLog->Open(scratch.File("QIR-server.log").c_str(), qirLogDebug, 0);
            qirServerInstance = new qirServer(stop[0], 100);
            int r = qirServerInstance->Run();
            delete qirServerInstance;
            delete qirLog;
            _exit(r);
        }
        return pid;
    }
    int StopServer(pid_t pid)
    {
        char byte = 1;
        EXPECT_EQ(write(stop[1], &byte, 1), 1);
        int status = -1;
        for (int i = 0; i < 500; ++i) {
            if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
            usleep(10000);
        }
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    void Queue(const char* subject, const char* to = "ann@example.org")
    {
        qirMsg m(qirPath(scratch.File(subject).c_str()));
        qirScratchDir::WriteFile(m.Body()->Path().Text(), std::string("body of ") + subject + "\n");
        qirAddress joe("joe@example.org", nullptr), a(to, nullptr);
        m.AddFrom(&joe);
        m.AddTo(&a);
        qirString s(subject);
        m.SetSubject(&s);
        qirQueueAgent agent;
        ASSERT_EQ(m.Send(&agent), qirOK);
    }
    void WaitUntil(const std::function<bool()>& done)
    {
        for (int i = 0; i < 500 && !done(); ++i) usleep(10000);
    }
};

TEST_F(ServerTest, DeliversTheQueueSkipsLockedEntriesAndStopsOnTheByte)
{
    qirSMTPSink sink;
    ASSERT_TRUE(sink.Running());
    qirConfig.Set("SMTP.Port", sink.PortText().c_str());
    mkdir(queue.c_str(), 0700);
    for (const char* s : {"one", "two", "three"}) Queue(s);
    mkdir((queue + "/.hidden").c_str(), 0700);
    // An entry still being written: its lock is held by this process.
    Queue("four");
    std::vector<std::string> names = Entries(queue);
    std::string held;
    {
        for (const std::string& n : names) {
            qirMsg m(qirPath((queue + "/" + n).c_str()), nullptr);
            if (n[0] != '.' && m.Load() == qirOK && std::string(m.Subject()->Text()) == "four") held = n;
        }
    }
    ASSERT_FALSE(held.empty());
    qirLock* lock = new qirLock(qirPath((queue + "/" + held + ".LCK").c_str()));
    ASSERT_EQ(lock->Lock(), qirOK);

    pid_t server = StartServer();
    std::vector<qirSinkMessage> got = sink.WaitFor(3, 10);
    ASSERT_EQ(got.size(), 3u) << Log();
    WaitUntil([&] { return Log().find("Message is locked. Skipping.") != std::string::npos; });
    EXPECT_NE(Log().find("W Message is locked. Skipping."), std::string::npos);
    delete lock; // written: delivered at the next scan
    got = sink.WaitFor(4, 10);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_NE(got[3].text.find("Subject: four\n"), std::string::npos);
    WaitUntil([&] { return Entries(queue) == std::vector<std::string>{".hidden", "LOCK"}; });
    EXPECT_EQ(Entries(queue), (std::vector<std::string>{".hidden", "LOCK"}));

    EXPECT_EQ(StopServer(server), 0);
    EXPECT_FALSE(Exists(queue + "/LOCK"));
    EXPECT_NE(Log().find("D Server done."), std::string::npos);
    EXPECT_EQ(Log().find("E "), std::string::npos) << Log();
}

TEST_F(ServerTest, RefusedMessagesGoAsideAndBrokenEntriesAreReportedOnce)
{
    qirSMTPSink sink({"--refuse", "nobody@example.org"});
    ASSERT_TRUE(sink.Running());
    qirConfig.Set("SMTP.Port", sink.PortText().c_str());
    mkdir(queue.c_str(), 0700);
    Queue("refused", "nobody@example.org");
    mkdir((queue + "/Msg_broken").c_str(), 0700); // no message in it
    pid_t server = StartServer();
    WaitUntil([&] { return Exists(queue + "/.refused") && Log().find("Processing") != Log().rfind("Processing"); });
    usleep(300000); // a few more scans
    EXPECT_EQ(StopServer(server), 0);
    std::string log = Log();
    EXPECT_NE(log.find("E Deliver Error:SMTP: 550 5.1.1 <nobody@example.org>: no such user"), std::string::npos) << log;
    EXPECT_EQ(log.find("Deliver Error:SMTP"), log.rfind("Deliver Error:SMTP")) << "refused once only";
    EXPECT_EQ(Entries(queue + "/.refused").size(), 1u);
    EXPECT_NE(log.find("E Deliver Error:cannot load " + queue + "/Msg_broken"), std::string::npos) << log;
    EXPECT_EQ(log.find("cannot load"), log.rfind("cannot load"));
    EXPECT_TRUE(Exists(queue + "/Msg_broken"));
}

TEST_F(ServerTest, ADeliveredEntryThatCannotBeRemovedIsNotSentAgain)
{
    qirSMTPSink sink;
    ASSERT_TRUE(sink.Running());
    qirConfig.Set("SMTP.Port", sink.PortText().c_str());
    mkdir(queue.c_str(), 0700);
    Queue("stuck");
    pid_t server = StartServer(queue + "/.delivered-");
    ASSERT_EQ(sink.WaitFor(1, 10).size(), 1u);
    usleep(400000); // several scans
    EXPECT_EQ(StopServer(server), 0);
    EXPECT_EQ(sink.Messages().size(), 1u);
    std::vector<std::string> left = Entries(queue);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].rfind(".delivered-Msg_", 0), 0u) << left[0];
    std::string log = Log();
    EXPECT_NE(log.find("E qirServer: delivered message " + queue + "/.delivered-Msg_"), std::string::npos) << log;
    EXPECT_EQ(log.find("cannot be removed"), log.rfind("cannot be removed")) << "reported once";
}

// The delivery process killed at chosen points of a delivery, then started
// again: a letter the server had not taken yet is sent once, one it had
// taken is never sent again once it is marked.  The moment between the
// server's reply and the mark is the one place where a kill sends twice.
TEST_F(ServerTest, KilledAtAnyPointTheProcessSendsEachLetterOnceMarked)
{
    struct Case {
        const char* point;
        std::string line;   // killed at this log line,
        std::string rename; // or at the rename to this prefix,
        std::string rmdir;  // or at the removal of this prefix
        size_t sent;
    } cases[] = {
        {"before the text", "SMTP: CMD=DATA", "", "", 1},
        {"just before the mark", "", "/.delivered-", "", 2},
        {"at the first line after the reply", "SMTP: RSP=250 OK queued", "", "", 1},
        {"at the report of the delivery", "Message Deliver OK.", "", "", 1},
        {"while removing the marked entry", "", "", "/.delivered-", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.point);
        qirSMTPSink sink;
        ASSERT_TRUE(sink.Running());
        qirConfig.Set("SMTP.Port", sink.PortText().c_str());
        queue = scratch.File((std::string("queue-") + std::to_string(&c - cases)).c_str());
        qirConfig.Set("QueueDir", queue.c_str());
        mkdir(queue.c_str(), 0700);
        Queue(("letter" + std::to_string(&c - cases)).c_str());
        killAtRename = c.rename.empty() ? "" : queue + c.rename;
        killAtRmdir = c.rmdir.empty() ? "" : queue + c.rmdir;
        pid_t killed = StartServer("", c.line);
        killAtRename.clear();
        killAtRmdir.clear();
        int status = 0;
        for (int i = 0; i < 1000 && waitpid(killed, &status, WNOHANG) != killed; ++i) usleep(10000);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status << Log();

        pid_t server = StartServer();
        WaitUntil([&] { return sink.Messages().size() >= c.sent && Entries(queue) == std::vector<std::string>{"LOCK"}; });
        usleep(300000); // several scans more
        EXPECT_EQ(StopServer(server), 0);
        EXPECT_EQ(sink.Messages().size(), c.sent) << Log();
        EXPECT_EQ(Entries(queue), std::vector<std::string>{});
    }
}

TEST_F(ServerTest, ALostParentEndsTheServerWithStatusOne)
{
    qirConfig.Set("SMTP.Port", "1");
    // This process adopts the server once its parent is killed.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    fflush(nullptr);
    pid_t parent = fork();
    if (parent == 0) {
        pid_t server = StartServer();
        if (write(report[1], &server, sizeof server) != sizeof server) _exit(2);
        pause();
        _exit(0);
    }
    pid_t server = 0;
    ASSERT_EQ(read(report[0], &server, sizeof server), (ssize_t)sizeof server);
    WaitUntil([&] { return Exists(queue + "/LOCK"); });
    kill(parent, SIGKILL);
    waitpid(parent, nullptr, 0);
    int status = -1;
    for (int i = 0; i < 500 && waitpid(server, &status, WNOHANG) != server; ++i) usleep(10000);
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    close(report[0]);
    close(report[1]);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(Log().find("E qirServer: parent process is lost. Exit."), std::string::npos) << Log();
    EXPECT_FALSE(Exists(queue + "/LOCK"));
}

} // namespace
