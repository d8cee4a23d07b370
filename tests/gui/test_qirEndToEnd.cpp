// The real qir binary on the test X server, driven as a user would with
// xdotool: a folder made and the program quit through the menu, which
// renumbers every folder.  This test
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

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(QIR_DATA_PREFIX "/QIR.cfg", R_OK) != 0)
            GTEST_SKIP() << "no " QIR_DATA_PREFIX "/QIR.cfg";
        home = qirMakeTempDir("qire2e");
    }
    void TearDown() override {
        qir.Stop();
        qirRemoveTree(home);
    }
    std::vector<std::pair<std::string, std::string>> Env() const {
        return {{"QIR_TEST_HOME", home}, {"LD_PRELOAD", QIR_FAKEHOME}, {"MAIL", home + "/spool"}};
    }
    void Start() { qir.Start(QIR_BINARY, {"-title", title}, Env()); }
    std::string Dir() const { return home + "/.QIR"; }

    std::string home;
    std::string title = "Quorvane test " + std::to_string(getpid());
    qirBackgroundProgram qir;
};

TEST_F(EndToEnd, NewFolderThroughTheMenuThenQuit) {
    // A folder never opened in the session, with a gap made in its numbers
    // meanwhile: the quit renumbers it all the same.
    std::string work = Dir() + "/Work.QIR";
    ASSERT_EQ(qirShell("mkdir -p " + work + "/Message0 " + work + "/Message1 && echo -n 1 > " + work +
                       "/Message1/marker"), "");
    auto begin = std::chrono::steady_clock::now();
    Start();
    std::string w = qirFindWindow(title, 5);
    ASSERT_FALSE(w.empty()) << "no main window";
    ASSERT_EQ(rename((work + "/Message1").c_str(), (work + "/Message7").c_str()), 0);
    auto mapped = std::chrono::steady_clock::now();
    fprintf(stderr, "main window mapped after %lld ms\n",
            (long long)std::chrono::duration_cast<std::chrono::milliseconds>(mapped - begin).count());

    // A second window process on the same folder directory is refused.
    qirTestRun second = qirRunProgram(QIR_BINARY, {}, Env());
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("another QIR is already running on the folder directory " + Dir()), std::string::npos)
        << second.err;

    qirMainMenu(w, 36); // "New folder..."
    std::string d = qirFindWindow("New folder", 5);
    ASSERT_FALSE(d.empty()) << "no folder dialog";
    qirShell("xdotool type --window " + d + " Letters");
    qirShell("xdotool key --window " + d + " Return");
    for (int i = 0; i < 200 && qirReadFile(Dir() + "/Folder_0.QIR/Name.txt").empty(); i++)
        usleep(10000);
    EXPECT_EQ(qirReadFile(Dir() + "/Folder_0.QIR/Name.txt"), "Letters");

    qirMainMenu(w, 142); // "Quit"
    EXPECT_EQ(qir.Wait(5000), 0);
    struct stat st;
    EXPECT_EQ(stat((Dir() + "/layout").c_str(), &st), 0);
    EXPECT_EQ(stat((Dir() + "/Incoming.QIR").c_str(), &st), 0);
    EXPECT_EQ(stat((Dir() + "/Outgoing.QIR").c_str(), &st), 0);
    // The window lock is given back.
    EXPECT_NE(stat((Dir() + "/QIR.LOCK").c_str(), &st), 0);
    EXPECT_NE(qirReadFile(Dir() + "/QIR.log").find("S QIR Startting"), std::string::npos);
    EXPECT_EQ(qirReadFile(work + "/Message1/marker"), "1");
    EXPECT_NE(stat((work + "/Message7").c_str(), &st), 0);
}

// A logout or a shutdown ends the program by signal: the quit's saves run
// all the same, also while a dialog waits for an answer.
TEST_F(EndToEnd, TermAndHupRunTheQuitSaves) {
    for (int sig : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig == SIGTERM ? "SIGTERM" : "SIGHUP");
        qirRemoveTree(home);
        home = qirMakeTempDir("qire2e");
        Start();
        std::string w = qirFindWindow(title, 5);
        ASSERT_FALSE(w.empty()) << "no main window";
        if (sig == SIGHUP) {
            qirMainMenu(w, 36); // "New folder...", left open
            ASSERT_FALSE(qirFindWindow("New folder", 5).empty()) << "no folder dialog";
        }
        struct stat st;
        ASSERT_NE(stat((Dir() + "/layout").c_str(), &st), 0);
        qir.Signal(sig);
        EXPECT_EQ(qir.Wait(5000), 0);
        EXPECT_EQ(stat((Dir() + "/layout").c_str(), &st), 0) << "the layout was not saved";
        EXPECT_NE(stat((Dir() + "/QIR.LOCK").c_str(), &st), 0) << "the window lock was kept";
        EXPECT_NE(qirReadFile(Dir() + "/QIR.log").find("Asked to end: saving and quitting"), std::string::npos);
        qir.Stop();
    }
}

}  // namespace
