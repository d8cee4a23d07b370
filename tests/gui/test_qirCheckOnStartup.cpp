// The real qir with CheckMailOnStartup "yes", fetching a few hundred
// messages at start from a private Dovecot or from a local mailbox spool;
// then, as a user would with xdotool, Incoming opened from the folder list
// and its message list window read row by row, and the program quit through
// its menu with that window open: it exits 0 and every message is on disk
// exactly once.  The windows are read through the drawlog shim.  This
// process opens no InterViews session, so the server's, xdotool's and the
// program's children are its own.
#include <gtest/gtest.h>

#include "qirFolder.h"
#include "qirMsg.h"
#include "qirTestProgram.h"

static std::string SubjectOf(const qirMsg* m) { return m->Subject() && m->Subject()->Data() ? m->Subject()->Data() : ""; }

#include "qirDovecot.h"
#include "qirProgramTest.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

// Messages with distinct subjects, and those subjects sorted; each with
// the row the list window shows for it under the shipped summary layout
// (date in UTC, From mailbox, subject), its words joined by single blanks.
struct Mails {
    std::vector<std::string> texts, subjects;
    std::map<std::string, std::string> rows; // by subject
    Mails(const char* tag, int n) {
        for (int i = 0; i < n; i++) {
            std::string s = std::string(tag) + " " + std::to_string(i);
            std::string from = "s" + std::to_string(i % 9) + "@example.org";
            char time[8];
            snprintf(time, sizeof time, "%02d:%02d", 10 + i / 60 % 14, i % 60);
            texts.push_back("From: Sender <" + from + ">\nTo: qir@example.org\nDate: Mon, 01 Jan 2024 " + time +
                            ":00 +0000\nSubject: " + s + "\nMessage-Id: <" + tag + std::to_string(i) +
                            "@example.org>\n\nText " + std::to_string(i) + "\n");
            subjects.push_back(s);
            rows[s] = std::string("01 Jan 24 ") + time + " " + from + " " + s;
        }
        std::sort(subjects.begin(), subjects.end());
    }
};

// The message list window as drawn now.
struct ListPage {
    std::vector<std::string> rows; // top to bottom
    std::string total;             // the total counter
    int column = INT_MAX;          // left end of the counters' labels
    int lastRow = 0;               // baseline of the lowest row
};

class CheckOnStartup : public qirProgramTest {
protected:
    std::string Spool() const { return home + "/spool"; }
    void WriteConfig(const std::string& text) { qirProgramTest::WriteConfig("CheckMailOnStartup yes\n" + text); }
    void Start() { qirProgramTest::Start({{"MAIL", Spool()}, {"TZ", "UTC"}}); }
    // One run of the program: started, checked, Incoming's window read when
    // the messages are given, quit through the menu.
    void Run(const Mails* listed = nullptr) {
        Start();
        unsigned long w = MainWindow();
        ASSERT_NE(w, 0u) << "no main window\n" << LogTail();
        EXPECT_NE(qirReadFile(Dir() + "/QIR.log").find("Mail retreiving done"), std::string::npos);
        if (listed)
            ReadIncomingWindow(w, *listed);
        EXPECT_EQ(Quit(w), 0) << LogTail();
    }

    // The rows are the words left of the counters' column, one line per
    // baseline, below the menu bar (its labels' baseline is higher than
    // this); the status faces, drawn as a letter of their own when their
    // image is missing, are left out.  "Total" is the English label of the
    // total counter.
    static const int menuBar = 25;
    ListPage Read(unsigned long list) {
        ListPage page;
        std::vector<qirDrawnLine> words = draw.Words(list);
        for (size_t i = 0; i + 1 < words.size(); i++)
            if (words[i].text == "Total" && words[i + 1].y == words[i].y) {
                page.column = words[i].x;
                page.total = words[i + 1].text;
            }
        std::vector<qirDrawnLine> lines;
        for (const qirDrawnLine& w : words) {
            if (w.x >= page.column || w.y <= menuBar)
                continue;
            if (!lines.empty() && lines.back().y == w.y)
                lines.back().text += " " + w.text;
            else
                lines.push_back(w);
        }
        for (const qirDrawnLine& l : lines)
            if (l.text.size() > 1) {
                page.rows.push_back(l.text);
                page.lastRow = l.y;
            }
        return page;
    }

    // Presses low in the scroll bar's trough, which pages forward, and
    // drags down: near the end the thumb is under the pointer and goes to
    // the end.  The bar's middle is 24 pixels left of the counters' labels
    // (10 points of space and two frames between).  False when the rows
    // did not change.
    bool NextPage(unsigned long list, ListPage* page) {
        std::vector<std::string> before = page->rows;
        // Not "click": xdotool waits 100 ms after one.
        std::string press = "xdotool mousemove --window " + std::to_string(list) + " " +
                            std::to_string(page->column - 24) + " " + std::to_string(page->lastRow - 8) +
                            " mousedown 1 mousemove_relative 0 40 mouseup 1";
        for (int attempt = 0; attempt < 3; attempt++) {
            qirShell(press);
            if (WaitFor([&] { *page = Read(list); return !page->rows.empty() && page->rows != before; }, 2000))
                return true;
        }
        return false;
    }

    // The rows of Incoming in the order its window lists them: the folder
    // loads its message directories in arrival order, Message0 first.
    std::vector<std::string> ListedRows(const Mails& mails) const {
        std::vector<std::string> rows;
        std::string dir = Dir() + "/Incoming.QIR";
        for (int n = 0;; n++) {
            std::string path = dir + "/Message" + std::to_string(n);
            if (access(path.c_str(), F_OK) != 0)
                break;
            qirMsg m{qirPath(path.c_str())};
            auto row = mails.rows.find(SubjectOf(&m));
            rows.push_back(row != mails.rows.end() ? row->second : "unknown message " + SubjectOf(&m));
        }
        return rows;
    }

    // Opens Incoming from the folder list and reads its window: the total
    // counter, a body within three quarters of the screen, and every row
    // in list order, a page at a time through the scroll bar.
    void ReadIncomingWindow(unsigned long main, const Mails& mails) {
        unsigned long list = OpenFolder(main, "Incoming");
        ASSERT_NE(list, 0u);
        ListPage page;
        ASSERT_TRUE(WaitFor([&] { page = Read(list); return !page.total.empty() && !page.rows.empty(); }, 10000))
            << "the Incoming window shows no rows";
        Shot("incoming-list");
        std::vector<std::string> expected = ListedRows(mails);
        ASSERT_EQ(expected.size(), mails.texts.size());
        EXPECT_EQ(page.total, std::to_string(expected.size()));
        int width = 0, height = 0, screenWidth = 0, screenHeight = 0;
        sscanf(qirShell("xdotool getwindowgeometry " + std::to_string(list) + " | grep Geometry").c_str(),
               " Geometry: %dx%d", &width, &height);
        sscanf(qirShell("xdotool getdisplaygeometry").c_str(), "%d %d", &screenWidth, &screenHeight);
        // The body within three quarters of the screen, the menu bar above
        // it; points round to pixels: one to spare.
        EXPECT_GT(height, 0);
        EXPECT_LE(height, screenHeight * 3 / 4 + 1 + 40);
        size_t seen = 0; // rows shown so far, from the first
        for (;;) {
            auto first = std::find(expected.begin(), expected.end(), page.rows.front());
            ASSERT_NE(first, expected.end()) << "a row of no message: " << page.rows.front();
            size_t at = first - expected.begin();
            ASSERT_LE(at, seen) << "rows " << seen << " to " << at << " never shown";
            ASSERT_LE(at + page.rows.size(), expected.size()) << "more rows than messages";
            EXPECT_EQ(page.rows, std::vector<std::string>(first, first + page.rows.size())) << "rows from " << at;
            ASSERT_GT(at + page.rows.size(), seen) << "the list went back to row " << at;
            seen = at + page.rows.size();
            if (seen == expected.size())
                break;
            ASSERT_TRUE(NextPage(list, &page)) << "the list does not scroll past row " << seen;
        }
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
    Run(&mails);
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
        Run(&mails);
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
