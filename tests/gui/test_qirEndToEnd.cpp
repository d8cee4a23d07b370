// The real qir binary on the test X server, driven as a user would with
// xdotool: a folder made and the program quit through the menu.  This test
// process opens no InterViews session, so it may run child processes.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "qirTestProgram.h"

namespace {

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    return out;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(QIR_DATA_PREFIX "/QIR.cfg", R_OK) != 0)
            GTEST_SKIP() << "no " QIR_DATA_PREFIX "/QIR.cfg";
        home = qirMakeTempDir("qire2e");
    }
    void TearDown() override {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        qirRemoveTree(home);
    }
    std::vector<std::pair<std::string, std::string>> Env() const {
        return {{"QIR_TEST_HOME", home}, {"LD_PRELOAD", QIR_FAKEHOME},
                {"ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0"}, {"MAIL", home + "/spool"}};
    }
    void Start() {
        pid = fork();
        if (pid == 0) {
            for (auto& kv : Env())
                setenv(kv.first.c_str(), kv.second.c_str(), 1);
            freopen("/dev/null", "w", stdout);
            execl(QIR_BINARY, QIR_BINARY, "-title", title.c_str(), (char*)nullptr);
            _exit(127);
        }
    }
    // Exit status after at most five seconds, or -1.
    int Wait() {
        for (int i = 0; i < 500; i++) {
            int status;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10000);
        }
        return -1;
    }
    // The window of the title, waiting up to five seconds.
    std::string Find(const std::string& name) {
        std::string out = Shell("timeout 5 xdotool search --sync --name '^" + name + "$' 2>/dev/null | head -1");
        while (!out.empty() && out.back() == '\n')
            out.pop_back();
        return out;
    }
    // Pulls down the main menu and releases over the item at height y.
    void Menu(const std::string& w, int y) {
        Shell("xdotool mousemove --window " + w + " 30 12 mousedown 1 sleep 0.3 mousemove --window " + w +
            " 40 " + std::to_string(y) + " sleep 0.3 mouseup 1");
    }
    std::string Dir() const { return home + "/.QIR"; }

    std::string home;
    std::string title = "Quorvane test " + std::to_string(getpid());
    pid_t pid = -1;
};

TEST_F(EndToEnd, NewFolderThroughTheMenuThenQuit) {
    auto begin = std::chrono::steady_clock::now();
    Start();
    std::string w = Find(title);
    ASSERT_FALSE(w.empty()) << "no main window";
    auto mapped = std::chrono::steady_clock::now();
    fprintf(stderr, "main window mapped after %lld ms\n",
            (long long)std::chrono::duration_cast<std::chrono::milliseconds>(mapped - begin).count());

    // A second window process on the same folder directory is refused.
    qirTestRun second = qirRunProgram(QIR_BINARY, {}, Env());
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("another QIR is already running on the folder directory " + Dir()), std::string::npos)
        << second.err;

    Menu(w, 36); // "New folder..."
    std::string d = Find("New folder");
    ASSERT_FALSE(d.empty()) << "no folder dialog";
    Shell("xdotool type --window " + d + " Letters");
    Shell("xdotool key --window " + d + " Return");
    for (int i = 0; i < 200 && qirReadFile(Dir() + "/Folder_0.QIR/Name.txt").empty(); i++)
        usleep(10000);
    EXPECT_EQ(qirReadFile(Dir() + "/Folder_0.QIR/Name.txt"), "Letters");

    Menu(w, 142); // "Quit"
    EXPECT_EQ(Wait(), 0);
    struct stat st;
    EXPECT_EQ(stat((Dir() + "/layout").c_str(), &st), 0);
    EXPECT_EQ(stat((Dir() + "/Incoming.QIR").c_str(), &st), 0);
    EXPECT_EQ(stat((Dir() + "/Outgoing.QIR").c_str(), &st), 0);
    // The window lock is given back.
    EXPECT_NE(stat((Dir() + "/QIR.LOCK").c_str(), &st), 0);
    EXPECT_NE(qirReadFile(Dir() + "/QIR.log").find("S QIR Startting"), std::string::npos);
}

}  // namespace
