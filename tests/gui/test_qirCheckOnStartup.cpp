// The real qir with CheckMailOnStartup "yes" against a private Dovecot:
// it fetches a few hundred messages at start, its display goes away, and
// every message is on disk exactly once.  This process opens no
// InterViews session, so the server's and the program's children are its own.
#include <gtest/gtest.h>

#include "qirFolder.h"
#include "qirMsg.h"
#include "qirTestProgram.h"

static std::string SubjectOf(const qirMsg* m) { return m->Subject() && m->Subject()->Data() ? m->Subject()->Data() : ""; }

#include "qirDovecot.h"
#include "qirXTest.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

struct Child {
    pid_t pid = -1;
    int status = -1;
    // Waits up to seconds for the end: 1 ended.
    int Wait(int seconds) {
        for (int i = 0; i < seconds * 20; i++) {
            if (waitpid(pid, &status, WNOHANG) == pid)
                return 1;
            usleep(50000);
        }
        return 0;
    }
    ~Child() {
        if (pid > 0 && waitpid(pid, &status, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
    }
};

std::vector<qirx::XWin> TopWindows() {
    qirx::XDisplay* dpy = qirx::Connection();
    qirx::XWin root = DefaultRootWindow(dpy), parent, *kids = nullptr;
    unsigned int n = 0;
    std::vector<qirx::XWin> out;
    XSync(dpy, False);
    if (XQueryTree(dpy, root, &root, &parent, &kids, &n)) {
        for (unsigned int i = 0; i < n; i++) {
            XWindowAttributes wa;
            if (XGetWindowAttributes(dpy, kids[i], &wa) && wa.map_state == IsViewable)
                out.push_back(kids[i]);
        }
        XFree(kids);
    }
    return out;
}

TEST(QirCheckOnStartup, FetchesFromDovecotAndKeepsEveryMessageOnceAfterQuit) {
    if (access(QIR_DATA_PREFIX "/QIR.cfg", R_OK) != 0)
        GTEST_SKIP() << "no " QIR_DATA_PREFIX "/QIR.cfg";
    ASSERT_NE(qirx::Connection(), nullptr);
    const int n = 250;
    std::vector<std::string> mails, expected;
    for (int i = 0; i < n; i++) {
        std::string s = "startup " + std::to_string(i);
        mails.push_back("From: Sender <s" + std::to_string(i % 9) + "@example.org>\nTo: qir@example.org\n"
                        "Subject: " + s + "\nMessage-Id: <st" + std::to_string(i) + "@example.org>\n\n"
                        "Text " + std::to_string(i) + "\n");
        expected.push_back(s);
    }
    std::sort(expected.begin(), expected.end());
    qirDovecot dovecot(mails);
    if (!dovecot.Error().empty())
        GTEST_SKIP() << dovecot.Error();

    std::string home = qirMakeTempDir("qirhome");
    std::string dir = home + "/.QIR";
    mkdir(dir.c_str(), 0700);
    FILE* f = fopen((dir + "/user.cfg").c_str(), "w");
    ASSERT_NE(f, nullptr);
    fprintf(f, "CheckMailOnStartup yes\nUsePOP Yes\nPop3 {\n    Server %s\n    Service %s\n    User %s\n"
               "    Passwd %s\n}\n",
            dovecot.Host(), dovecot.Port(), dovecot.User(), dovecot.Password());
    fclose(f);

    std::vector<qirx::XWin> before = TopWindows();
    Child qir;
    qir.pid = fork();
    if (qir.pid == 0) {
        setenv("QIR_TEST_HOME", home.c_str(), 1);
        setenv("LD_PRELOAD", QIR_FAKEHOME, 1);
        setenv("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0", 1);
        setenv("MAIL", (home + "/spool").c_str(), 1);
        execl(QIR_BINARY, QIR_BINARY, (char*)nullptr);
        _exit(127);
    }
    ASSERT_GT(qir.pid, 0);

    // The check runs before the main window maps.
    qirx::XWin main = 0;
    for (int i = 0; i < 600 && !main; i++) {
        usleep(100000);
        for (qirx::XWin w : TopWindows())
            if (std::find(before.begin(), before.end(), w) == before.end()) {
                char* name = nullptr;
                if (XFetchName(qirx::Connection(), w, &name) && name) {
                    if (std::string(name) == "Quorvane")
                        main = w;
                    XFree(name);
                }
            }
        ASSERT_EQ(waitpid(qir.pid, &qir.status, WNOHANG), 0)
            << "qir ended early: " << qir.status << "\n" << qirReadFile(dir + "/QIR.log").substr(qirReadFile(dir + "/QIR.log").size() > 600 ? qirReadFile(dir + "/QIR.log").size() - 600 : 0);
    }
    ASSERT_NE(main, 0u);
    EXPECT_NE(qirReadFile(dir + "/QIR.log").find("Mail retreiving done"), std::string::npos);

    // The session ends by losing its display (its connection is killed):
    // the program saves what it holds and exits 1.
    XKillClient(qirx::Connection(), main);
    XSync(qirx::Connection(), False);
    ASSERT_TRUE(qir.Wait(30)) << "qir did not end";
    EXPECT_TRUE(WIFEXITED(qir.status) && WEXITSTATUS(qir.status) == 1) << qir.status;

    qirFolder incoming{qirPath((dir + "/Incoming.QIR").c_str())};
    incoming.Load();
    std::vector<std::string> got;
    for (qirMsg* m = incoming.First(); m; m = incoming.Next(m))
        got.push_back(SubjectOf(m));
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected);
    qirRemoveTree(home);
}

}  // namespace
