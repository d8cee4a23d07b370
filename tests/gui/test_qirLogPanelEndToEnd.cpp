// The real qir with its log panel (Debug.Window "Yes"), driven as a user
// would with xdotool: the start-up entries in the panel, the level
// switches of the Log menu kept across a restart, an error box read and
// closed, a failed mail check that leaves the program running, a fetch of
// mail with fields that do not read, a lost display.  The windows are read
// through the drawlog shim.
#include <gtest/gtest.h>

#include "qirDovecot.h"
#include "qirFolder.h"
#include "qirMailTestText.h"
#include "qirProgramTest.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The editor draws its text a character at a time, so the drawn lines come
// with blanks between the characters: lines are compared without blanks.
std::string Squeezed(const std::string& s) {
    std::string out;
    for (char c : s)
        if (c != ' ')
            out += c;
    return out;
}

// Heights of the main menu's items, below its bar (File, Books, Log).
const int checkMailItem = 116, quitItem = 142;
const int infoItem = 108, showAllItem = 152;

class LogPanelEndToEnd : public qirProgramTest {
protected:
    std::string Log() const { return qirReadFile(Dir() + "/QIR.log"); }
    // The entries the panel at the bottom of the main window shows, top to
    // bottom, each without blanks ("Sts:QIRStartting"): a line that begins
    // with a level's prefix starts one, the lines below it that do not
    // continue it (a long entry is wrapped).
    std::vector<std::string> Panel(const std::string& w) {
        std::vector<std::string> entries;
        for (const qirDrawnLine& l : draw.Lines(std::stoul(w))) {
            std::string s = Squeezed(l.text);
            bool starts = false;
            for (const char* prefix : {"Crl:", "Err:", "Wrn:", "Sts:", "Inf:", "Dbg:"})
                starts = starts || s.compare(0, 4, prefix) == 0;
            if (starts)
                entries.push_back(s);
            else if (!entries.empty())
                entries.back() += s;
        }
        return entries;
    }
    bool PanelHas(const std::string& w, const std::string& entry, int ms = 10000) {
        std::string want = Squeezed(entry);
        return WaitFor([&] {
            std::vector<std::string> p = Panel(w);
            return std::find(p.begin(), p.end(), want) != p.end();
        }, ms);
    }
    // Picks an item of the Log menu as a user does: press on the menu's
    // title, let go over the item.
    void LogMenu(const std::string& w, int y) {
        int x = -1;
        WaitFor([&] {
            for (const qirDrawnLine& word : draw.Words(std::stoul(w)))
                if (word.text == "Log" && word.y < 30)
                    x = word.x;
            return x >= 0;
        }, 5000);
        qirPullDown(w, x, y);
    }
    // The box titled title ("Error", "Warning") that comes up within
    // seconds: its text, its words joined by blanks, one string per line
    // ("" when none came).
    std::string ErrorBox(int seconds, std::string* id, const char* title = "Error") {
        *id = qirFindWindow(title, seconds);
        if (id->empty())
            return "";
        std::string text;
        WaitFor([&] {
            text.clear();
            for (const qirDrawnLine& l : draw.Lines(std::stoul(*id)))
                text += l.text + "\n";
            return text.find("OK") != std::string::npos;
        }, 5000);
        return text;
    }
    // Return in the box, as a user closes it; true once it is gone.
    bool CloseBox(const std::string& id, const char* title = "Error") {
        qirShell("xdotool key --window " + id + " Return 2>/dev/null");
        for (int i = 0; i < 100; i++) {
            if (qirShell(std::string("xdotool search --name '^") + title + "$' 2>/dev/null").find(id) ==
                std::string::npos)
                return true;
            usleep(50000);
        }
        return false;
    }
};

// A mail check from a spool whose directory is missing and named with
// "<": the error box and the panel show the name as it is; the Info
// entries the user switched off stay out of the panel, also after a
// restart.
TEST_F(LogPanelEndToEnd, EntriesAndSwitchesOfThePanelAcrossARestart) {
    std::string spool = home + "/<spool>/box";
    WriteConfig("Debug {\n    Window Yes\n}\nUsePOP No\nMailBox {\n    FileName \"" + spool + "\"\n}\n");
    std::string missing = Squeezed("Err: Mail spool directory " + home + "/<spool> not found. Check path in "
                                   "~/.QIR/user.cfg file");
    for (int run = 0; run < 2; run++) {
        SCOPED_TRACE(run ? "after the restart" : "first start");
        Start();
        std::string w = qirFindWindow(title, 10);
        ASSERT_FALSE(w.empty()) << "no main window\n" << Log();
        ASSERT_TRUE(PanelHas(w, "Sts: QIR Startting")) << "the panel shows no start-up entry";
        if (run == 0) {
            // Every switch is on at the first start, "show all" included.
            LogMenu(w, showAllItem);
            LogMenu(w, infoItem);
        }
        qirMainMenu(w, checkMailItem);
        std::string box;
        std::string text = ErrorBox(20, &box);
        ASSERT_FALSE(box.empty()) << "no error box\n" << Log();
        EXPECT_NE(Squeezed(text).find(Squeezed(home + "/<spool>")), std::string::npos) << text;
        if (run == 0)
            Shot("log-error-box");
        ASSERT_TRUE(CloseBox(box));
        // The error is the panel's last entry: the Info entry reported
        // after it ("Mail retreiving done") stays out.
        std::vector<std::string> panel;
        ASSERT_TRUE(WaitFor([&] {
            panel = Panel(w);
            return !panel.empty() && panel.back() == missing;
        }, 10000)) << "panel: " << ::testing::PrintToString(panel);
        EXPECT_NE(Log().find("I Mail retreiving done"), std::string::npos);
        usleep(300000);
        draw.Update();
        panel = Panel(w);
        ASSERT_FALSE(panel.empty());
        EXPECT_EQ(panel.back(), missing);
        for (const std::string& e : panel)
            EXPECT_NE(e.rfind("Inf:", 0), 0u) << e;
        if (run == 0)
            Shot("main-window-log-panel");
        qirMainMenu(w, quitItem);
        ASSERT_EQ(qir.Wait(10000), 0) << Log();
    }
}

// A POP3 server that refuses the password: the check shows the "Error"
// box, the entry is in the log file, and the program runs on once the
// box is closed.
TEST_F(LogPanelEndToEnd, ARefusedPasswordShowsTheErrorBoxAndTheProgramRunsOn) {
    qirDovecot dovecot({"From: a@example.org\nSubject: waiting\n\nText\n"});
    if (!dovecot.Error().empty())
        GTEST_SKIP() << dovecot.Error();
    WriteConfig("CheckMailOnStartup yes\n" + dovecot.Config(std::string("not-the-") + dovecot.Password()));
    Start();
    std::string box;
    std::string text = ErrorBox(30, &box);
    ASSERT_FALSE(box.empty()) << "no error box\n" << Log();
    EXPECT_NE(text.find("POP: Error establishing connection"), std::string::npos) << text;
    EXPECT_NE(Log().find("\nE POP: Error establishing connection\n"), std::string::npos) << Log();
    EXPECT_FALSE(qir.Ended());
    ASSERT_TRUE(CloseBox(box));
    std::string w = qirFindWindow(title, 10);
    ASSERT_FALSE(w.empty()) << "no main window after the box\n" << Log();
    qirMainMenu(w, quitItem);
    EXPECT_EQ(qir.Wait(10000), 0) << Log();
    struct stat st;
    EXPECT_NE(stat((Dir() + "/Incoming.QIR/Message0").c_str(), &st), 0) << "fetched with a wrong password";
}

// A check that fetches valid mail with MIME fields in every part and a few
// messages with fields that do not read: no box while it fetches, one
// "Warning" box at its end while the folder list already counts every
// message, and the log naming each malformed message by where it is stored.
TEST_F(LogPanelEndToEnd, FieldsThatDoNotReadGoToTheLogAndOneBoxEndsTheFetch) {
    std::vector<std::string> mails;
    for (int i = 1; i <= 60; i++)
        mails.push_back(qirEveryPartMimeMessage(i));
    std::vector<std::string> malformed = qirMalformedMessages();
    for (size_t i = 0; i < malformed.size(); i++)
        mails.insert(mails.begin() + 20 * i + 10, malformed[i]);
    qirDovecot dovecot(mails);
    if (!dovecot.Error().empty())
        GTEST_SKIP() << dovecot.Error();
    WriteConfig("Debug {\n    Window Yes\n}\n" + dovecot.Config());
    Start();
    std::string w = qirFindWindow(title, 10);
    ASSERT_FALSE(w.empty()) << "no main window\n" << Log();
    qirMainMenu(w, checkMailItem);
    // A box during the fetch would hold it until answered: the first box to
    // come is the one at the end.
    std::string box;
    std::string text = ErrorBox(60, &box, "Warning");
    ASSERT_FALSE(box.empty()) << "no box at the end of the fetch\n" << LogTail();
    EXPECT_TRUE(qirFindWindow("Error", 1).empty()) << LogTail();
    EXPECT_NE(Log().find("I Mail retreiving done"), std::string::npos);
    std::string said = Squeezed(text); // its lines run on
    said.erase(std::remove(said.begin(), said.end(), '\n'), said.end());
    EXPECT_NE(said.find(Squeezed("3 of the received messages had fields or parts that could not be read; "
                                           "the session log names them.")),
              std::string::npos)
        << text;
    // The folder list counts every message while the box is up ("Messages:"
    // the English text of its counter).
    std::string count = "Messages:" + std::to_string(mails.size());
    EXPECT_TRUE(WaitFor([&] {
        for (const qirDrawnLine& l : draw.Lines(std::stoul(w)))
            if (Squeezed(l.text) == count)
                return true;
        return false;
    }, 5000)) << "the folder list does not show " << count;
    Shot("fetch-reports-box");
    ASSERT_TRUE(CloseBox(box, "Warning"));
    EXPECT_TRUE(qirFindWindow("Warning", 1).empty()) << "a second box";

    // Each malformed message is named by its directory, once.
    std::string log = Log();
    std::vector<std::string> named;
    const std::string heading = "W The received message stored as ";
    for (size_t at = 0; (at = log.find(heading, at)) != std::string::npos; at += heading.size()) {
        size_t start = at + heading.size();
        std::string path = log.substr(start, log.find(' ', start) - start);
        named.push_back(qirMsg(qirPath(path.c_str())).Subject()->Data());
    }
    EXPECT_EQ(named, (std::vector<std::string>{"malformed 1", "malformed 2", "malformed 3"})) << log;
    qirFolder incoming{qirPath((Dir() + "/Incoming.QIR").c_str())};
    EXPECT_EQ(incoming.CountOnDisk(), (int)mails.size());
    qirMainMenu(w, quitItem);
    EXPECT_EQ(qir.Wait(10000), 0) << LogTail();
}

// The X server goes away under the program (its display is lost): the
// program writes why to its log file, posts nothing, saves the layout and
// ends.  It runs on an X server of this test's own, which the test stops.
TEST_F(LogPanelEndToEnd, ALostDisplayIsLoggedAndTheLayoutSaved) {
    if (!OwnDisplay())
        GTEST_SKIP() << "no free display for an X server of this test's own";
    WriteConfig("Debug {\n    Window Yes\n}\n");
    Start();
    EXPECT_NE(MainWindow(), 0u) << "no main window";
    StopOwnDisplay();
    EXPECT_EQ(qir.Wait(10000), 1) << Log();
    EXPECT_NE(Log().find("\nE The X display is gone: saving and ending\n"), std::string::npos) << Log();
    struct stat st;
    EXPECT_EQ(stat((Dir() + "/layout").c_str(), &st), 0) << "the layout was not saved";
}

}  // namespace
