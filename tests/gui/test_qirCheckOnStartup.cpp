// The real qir with CheckMailOnStartup "yes", fetching a few hundred
// messages at start from a private Dovecot or from a local mailbox spool,
// then quit through its menu with xdotool as a user would: it exits 0 and
// every message is on disk exactly once.  This process opens no InterViews
// session, so the server's, xdotool's and the program's children are its own.
#include <gtest/gtest.h>

#include "qirFolder.h"
#include "qirMsg.h"
#include "qirTestProgram.h"

static std::string SubjectOf(const qirMsg* m) { return m->Subject() && m->Subject()->Data() ? m->Subject()->Data() : ""; }

#include "qirDovecot.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

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

// Messages with distinct subjects, and those subjects sorted.
struct Mails {
    std::vector<std::string> texts, subjects;
    Mails(const char* tag, int n) {
        for (int i = 0; i < n; i++) {
            std::string s = std::string(tag) + " " + std::to_string(i);
            texts.push_back("From: Sender <s" + std::to_string(i % 9) + "@example.org>\nTo: qir@example.org\n"
                            "Subject: " + s + "\nMessage-Id: <" + tag + std::to_string(i) + "@example.org>\n\n"
                            "Text " + std::to_string(i) + "\n");
            subjects.push_back(s);
        }
        std::sort(subjects.begin(), subjects.end());
    }
};

class CheckOnStartup : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(QIR_DATA_PREFIX "/QIR.cfg", R_OK) != 0)
            GTEST_SKIP() << "no " QIR_DATA_PREFIX "/QIR.cfg";
        home = qirMakeTempDir("qirhome");
        mkdir(Dir().c_str(), 0700);
    }
    void TearDown() override {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (!home.empty())
            qirRemoveTree(home);
    }
    std::string Dir() const { return home + "/.QIR"; }
    std::string Spool() const { return home + "/spool"; }
    std::string LogTail() const {
        std::string log = qirReadFile(Dir() + "/QIR.log");
        return log.substr(log.size() > 800 ? log.size() - 800 : 0);
    }
    void WriteConfig(const std::string& text) {
        FILE* f = fopen((Dir() + "/user.cfg").c_str(), "w");
        ASSERT_NE(f, nullptr);
        fputs(("CheckMailOnStartup yes\n" + text).c_str(), f);
        fclose(f);
    }
    void Start() {
        pid = fork();
        if (pid == 0) {
            setenv("QIR_TEST_HOME", home.c_str(), 1);
            setenv("LD_PRELOAD", QIR_FAKEHOME, 1);
            setenv("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0", 1);
            setenv("MAIL", Spool().c_str(), 1);
            freopen("/dev/null", "w", stdout);
            execl(QIR_BINARY, QIR_BINARY, "-title", title.c_str(), (char*)nullptr);
            _exit(127);
        }
        ASSERT_GT(pid, 0);
    }
    // The main window, which maps once the check is done; "" if qir ended
    // or a minute passed.
    std::string MainWindow() {
        for (int i = 0; i < 60; i++) {
            int status;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                ADD_FAILURE() << "qir ended early: " << status << "\n" << LogTail();
                return "";
            }
            std::string out = Shell("timeout 1 xdotool search --sync --name '^" + title + "$' 2>/dev/null | head -1");
            while (!out.empty() && out.back() == '\n')
                out.pop_back();
            if (!out.empty())
                return out;
        }
        return "";
    }
    // "Quit" from the main menu; the exit status after at most 30 s, or -1.
    int Quit(const std::string& w) {
        Shell("xdotool mousemove --window " + w + " 30 12 mousedown 1 sleep 0.3 mousemove --window " + w +
              " 40 142 sleep 0.3 mouseup 1");
        for (int i = 0; i < 3000; i++) {
            int status;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10000);
        }
        return -1;
    }
    // One run of the program: started, checked, quit through the menu.
    void Run() {
        Start();
        std::string w = MainWindow();
        ASSERT_FALSE(w.empty()) << "no main window\n" << LogTail();
        EXPECT_NE(qirReadFile(Dir() + "/QIR.log").find("Mail retreiving done"), std::string::npos);
        EXPECT_EQ(Quit(w), 0) << LogTail();
    }
    std::vector<std::string> IncomingSubjects() const {
        qirFolder incoming{qirPath((Dir() + "/Incoming.QIR").c_str())};
        incoming.Load();
        std::vector<std::string> got;
        for (qirMsg* m = incoming.First(); m; m = incoming.Next(m))
            got.push_back(SubjectOf(m));
        std::sort(got.begin(), got.end());
        return got;
    }

    std::string home;
    std::string title = "Quorvane startup " + std::to_string(getpid());
    pid_t pid = -1;
};

TEST_F(CheckOnStartup, FetchesFromDovecotAndKeepsEveryMessageOnceAfterQuit) {
    Mails mails("startup", 250);
    qirDovecot dovecot(mails.texts);
    if (!dovecot.Error().empty())
        GTEST_SKIP() << dovecot.Error();
    char cfg[512];
    snprintf(cfg, sizeof cfg, "UsePOP Yes\nPop3 {\n    Server %s\n    Service %s\n    User %s\n    Passwd %s\n}\n",
             dovecot.Host(), dovecot.Port(), dovecot.User(), dovecot.Password());
    WriteConfig(cfg);
    Run();
    EXPECT_EQ(IncomingSubjects(), mails.subjects);
    // The messages stay on the server; the history keeps a second start
    // from bringing them again.
    Run();
    EXPECT_EQ(IncomingSubjects(), mails.subjects);
}

// The local mailbox: kept as it was, or emptied when LeaveInMailBox is "No";
// either way every message is in Incoming once, also after a second start.
TEST_F(CheckOnStartup, FetchesFromTheSpoolAndLeavesItAsConfigured) {
    Mails mails("spool", 300);
    std::string spool;
    for (auto& m : mails.texts)
        spool += "From sender@example.org Mon Jan  1 10:00:00 2024\n" + m + "\n";
    struct Case {
        const char* usePOP;
        const char* leave;
        bool kept;
    } cases[] = {{"No", "Yes", true}, {"yes", "No", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("UsePOP ") + c.usePOP + ", LeaveInMailBox " + c.leave);
        qirRemoveTree(Dir());
        mkdir(Dir().c_str(), 0700);
        FILE* f = fopen(Spool().c_str(), "w");
        ASSERT_NE(f, nullptr);
        fwrite(spool.data(), 1, spool.size(), f);
        fclose(f);
        // A POP3 section that would fail if it were used.
        WriteConfig(std::string("UsePOP ") + c.usePOP + "\nPop3 {\n    Server 127.0.0.1\n    Service 1\n}\n"
                    "MailBox {\n    FileName " + Spool() + "\n    LeaveInMailBox " + c.leave + "\n}\n");
        Run();
        EXPECT_EQ(IncomingSubjects(), mails.subjects);
        std::string after = qirReadFile(Spool());
        if (c.kept)
            EXPECT_EQ(after, spool);
        else
            EXPECT_EQ(after.find("Subject:"), std::string::npos) << after.substr(0, 300);
        Run();
        EXPECT_EQ(IncomingSubjects(), mails.subjects);
    }
}

}  // namespace
