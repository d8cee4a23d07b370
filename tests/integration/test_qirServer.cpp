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

// A directory that cannot be removed, for the delivered-entry case: calls
// of the library reach this rmdir first.
static std::string failingRmdir;
extern "C" int rmdir(const char* path)
{
    if (!failingRmdir.empty() && failingRmdir == path) {
        errno = EBUSY;
        return -1;
    }
    static int (*real)(const char*) = (int (*)(const char*))dlsym(RTLD_NEXT, "rmdir");
    return real(path);
}

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
    }
    std::string Log() { return qirScratchDir::ReadFile(scratch.File("QIR-server.log")); }

    // The delivery process: the server with a short scan interval.
    pid_t StartServer(const std::string& undeletable = "")
    {
        fflush(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            close(stop[1]);
            failingRmdir = undeletable;
            qirLog = new qirError;
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
    std::string entry;
    for (const std::string& n : Entries(queue))
        if (n.rfind("Msg_", 0) == 0 && n.find(".LCK") == std::string::npos) entry = queue + "/" + n;
    pid_t server = StartServer(entry);
    ASSERT_EQ(sink.WaitFor(1, 10).size(), 1u);
    usleep(400000); // several scans
    EXPECT_EQ(StopServer(server), 0);
    EXPECT_EQ(sink.Messages().size(), 1u);
    EXPECT_FALSE(Exists(entry));
    EXPECT_NE(Log().find("cannot be removed; kept as " + queue + "/.delivered-"), std::string::npos) << Log();
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
