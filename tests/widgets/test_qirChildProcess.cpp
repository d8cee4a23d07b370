// Children of the window process: reaped from the event loop by their own
// pids only, their owners told after the event, their whole group ended on
// request; SIGTERM and SIGHUP reach the loop as a request to quit.
#include <gtest/gtest.h>

#include "qirGuiTest.h"
#include "qirTestProgram.h"

#include "qirChildProcess.h"
#include "qirDispatch.h"
#include "qirError.h"
#include "qirProcessId.h"
#include "qirUtilities.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Owner : qirChildOwner {
    void ChildEnded(int pid) override { ended.push_back(pid); }
    std::vector<int> ended;
};

// Turns the event loop until done() holds or five seconds have passed.
bool TurnUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 250 && !done(); i++) {
        long sec = 0, usec = 20000;
        Dispatcher::instance().dispatch(sec, usec);
    }
    return done();
}

bool Reaped(int pid) { return waitpid(pid, nullptr, WNOHANG) < 0 && errno == ECHILD; }

class ChildProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        qirgui::TheSession();
        dir = qirMakeTempDir("qirchild");
        qirLog = new qirError();
        qirLog->Open((dir + "/QIR.log").c_str(), 5, -1);
        ASSERT_EQ(qirChildProcess::Install(), 0);
    }
    void TearDown() override {
        TurnUntil([] { return qirChildList.First() == nullptr; });
        delete qirLog;
        qirLog = nullptr;
        qirRemoveTree(dir);
    }
    std::string Log() const { return qirReadFile(dir + "/QIR.log"); }
    std::string dir;
};

TEST_F(ChildProcessTest, EndedChildrenAreReapedLoggedAndTheirOwnersToldOnce) {
    Owner editor;
    int a = qirChildProcess::Start("exit 3", nullptr, 0, &editor);
    int b = qirChildProcess::Start("exit 0", nullptr, 0, nullptr);
    // Fails inside the shell at once: handled all the same.
    int c = qirChildProcess::Start("/nonexistent/editor", nullptr, 0, &editor);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    ASSERT_GT(c, 0);
    EXPECT_TRUE(qirChildProcess::IsRunning(a));
    // The signal context only writes the byte: nothing happens before
    // the loop turns.
    usleep(200000);
    EXPECT_TRUE(editor.ended.empty());
    ASSERT_TRUE(TurnUntil([&] { return editor.ended.size() == 2 && qirChildList.First() == nullptr; }));
    EXPECT_TRUE(Reaped(a) && Reaped(b) && Reaped(c)) << "a zombie was left";
    std::sort(editor.ended.begin(), editor.ended.end());
    EXPECT_EQ(editor.ended, (std::vector<int>{std::min(a, c), std::max(a, c)}));
    std::string log = Log();
    EXPECT_NE(log.find("The Editor process (PID:" + std::to_string(a) + ") terminated!"), std::string::npos);
    EXPECT_NE(log.find("The child process (PID:" + std::to_string(b) + ") terminated!"), std::string::npos);
    EXPECT_FALSE(qirChildProcess::IsRunning(a));
    EXPECT_EQ(qirChildProcess::Terminate(a), -1);
}

TEST_F(ChildProcessTest, ArgumentsReachTheCommandAsWordsNeverAsCommandText) {
    std::string out = dir + "/out";
    std::string marker = dir + "/ran";
    std::string hostile = "a b'; touch " + marker + "; echo \"$(touch " + marker + ")\" `touch " + marker + "`";
    const char* args[] = {hostile.c_str(), out.c_str()};
    int pid = qirChildProcess::Start("printf '%s' \"$1\" > \"$2\"", args, 2, nullptr);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(TurnUntil([&] { return !qirChildProcess::IsRunning(pid); }));
    EXPECT_EQ(qirReadFile(out), hostile);
    struct stat st;
    EXPECT_NE(stat(marker.c_str(), &st), 0) << "text of an argument was run";
}

TEST_F(ChildProcessTest, OtherChildrenKeepTheirExitStatus) {
    Owner editor;
    int pid = qirChildProcess::Start("sleep 0.3", nullptr, 0, &editor);
    ASSERT_GT(pid, 0);
    // system() waits for its own child; the loop reaps only recorded pids.
    int status = system("exit 7");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 7);
    FILE* p = popen("exit 5", "r");
    ASSERT_NE(p, nullptr);
    long sec = 0, usec = 50000;
    Dispatcher::instance().dispatch(sec, usec);
    status = pclose(p);
    EXPECT_EQ(WEXITSTATUS(status), 5);
    ASSERT_TRUE(TurnUntil([&] { return editor.ended.size() == 1; }));
    EXPECT_EQ(editor.ended[0], pid);
}

TEST_F(ChildProcessTest, TerminateEndsTheWholeGroupAndADisownedOwnerHearsNothing) {
    Owner editor;
    std::string pidFile = dir + "/grandchild";
    const char* args[] = {pidFile.c_str()};
    // The shell starts a grandchild that would outlive a signal to the
    // shell alone.
    int pid = qirChildProcess::Start("sleep 30 & echo $! > \"$1\"; wait", args, 1, &editor);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(TurnUntil([&] { return qirReadFile(pidFile).size() > 1; }));
    int grandchild = atoi(qirReadFile(pidFile).c_str());
    ASSERT_GT(grandchild, 0);
    qirChildProcess::Disown(&editor);
    EXPECT_EQ(qirChildProcess::Terminate(pid), 0);
    ASSERT_TRUE(TurnUntil([&] { return !qirChildProcess::IsRunning(pid); }));
    EXPECT_TRUE(editor.ended.empty()) << "a disowned owner was told";
    EXPECT_NE(Log().find("The child process (PID:" + std::to_string(pid) + ") terminated!"), std::string::npos);
    // The grandchild is reparented away from us; it must be gone.
    EXPECT_TRUE(TurnUntil([&] { return kill(grandchild, 0) != 0; })) << "the command's group survived";
}

TEST_F(ChildProcessTest, TermAndHupReachTheLoopAsAQuitRequest) {
    static int requests = 0;
    requests = 0;
    void (*saved)() = qirChildProcess::TerminateRequest;
    qirChildProcess::TerminateRequest = [] { requests++; };
    raise(SIGTERM);
    EXPECT_EQ(requests, 0) << "acted on inside the signal handler";
    EXPECT_TRUE(TurnUntil([] { return requests == 1; }));
    raise(SIGHUP);
    EXPECT_TRUE(TurnUntil([] { return requests == 2; }));
    qirChildProcess::TerminateRequest = saved;
}

}  // namespace
