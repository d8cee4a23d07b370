// A test of the real qir run beside it on the test X server: a home of the
// test's own, the user configuration written there, the program started
// with the home and drawlog shims, and polling that reads what it drew.
// The test process opens no InterViews session, so the server's,
// xdotool's and the program's children are its own.
#ifndef QIR_PROGRAM_TEST_H
#define QIR_PROGRAM_TEST_H

#include <gtest/gtest.h>

#include "qirDrawLog.h"
#include "qirTestProgram.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class qirProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(QIR_DATA_PREFIX "/QIR.cfg", R_OK) != 0)
            GTEST_SKIP() << "no " QIR_DATA_PREFIX "/QIR.cfg";
        home = qirMakeTempDir("qirhome");
        mkdir(Dir().c_str(), 0700);
    }
    void TearDown() override {
        qir.Stop();
        StopOwnDisplay();
        if (!home.empty())
            qirRemoveTree(home);
    }
    // An X server of this test's own, for a display the test takes away
    // from the program: the program started after this runs on it, and
    // the user's moves (xdotool) go to it.  False when none could start.
    bool OwnDisplay() {
        std::string pidfile = home + "/xvfb.pid";
        for (int n = 900 + getpid() % 90; !ownDisplay && n < 1000; n++)
            if (system((Xvfb() + "start " + std::to_string(n) + " " + pidfile + " 2>/dev/null").c_str()) == 0)
                ownDisplay = n;
        if (!ownDisplay)
            return false;
        const char* was = getenv("DISPLAY");
        testDisplay = was ? was : "";
        setenv("DISPLAY", (":" + std::to_string(ownDisplay)).c_str(), 1);
        return true;
    }
    // Stops that server: the program loses its display.
    void StopOwnDisplay() {
        if (!ownDisplay)
            return;
        system((Xvfb() + "stop " + std::to_string(ownDisplay) + " " + home + "/xvfb.pid").c_str());
        ownDisplay = 0;
        setenv("DISPLAY", testDisplay.c_str(), 1);
    }
    static std::string Xvfb() { return std::string("sh ") + QIR_SOURCE_DIR + "/tests/xvfb.sh "; }
    std::string Dir() const { return home + "/.QIR"; }
    // The end of the program's log, for failure messages.
    std::string LogTail() const {
        std::string log = qirReadFile(Dir() + "/QIR.log");
        return log.substr(log.size() > 800 ? log.size() - 800 : 0);
    }
    void WriteConfig(const std::string& text) {
        FILE* f = fopen((Dir() + "/user.cfg").c_str(), "w");
        ASSERT_NE(f, nullptr);
        fputs(text.c_str(), f);
        fclose(f);
    }
    std::string DrawLogPath() const { return home + "/draw.log"; }
    // Starts qir titled title; env is set over what every run gets, args
    // follow the title on the command line.
    void Start(const std::vector<std::pair<std::string, std::string>>& env = {},
               const std::vector<std::string>& args = {}) {
        // Window ids come again in a later run: each run has a log of its own.
        unlink(DrawLogPath().c_str());
        draw = qirDrawLog(DrawLogPath());
        std::vector<std::pair<std::string, std::string>> all = {
            {"QIR_TEST_HOME", home},
            {"LD_PRELOAD", QIR_FAKEHOME " " QIR_DRAWLOG},
            {"QIR_TEST_DRAWLOG", DrawLogPath()}};
        all.insert(all.end(), env.begin(), env.end());
        std::vector<std::string> words = {"-title", title};
        words.insert(words.end(), args.begin(), args.end());
        ASSERT_TRUE(qir.Start(QIR_BINARY, words, all));
    }
    // Starts qir as Start does and opens Incoming from its main window, as
    // a user does first: the list window, 0 when either did not come (a
    // failure is added then).  main, when given, gets the main window.
    unsigned long StartOnIncoming(const std::vector<std::pair<std::string, std::string>>& env,
                                  unsigned long* main = nullptr) {
        Start(env);
        if (::testing::Test::HasFatalFailure())
            return 0;
        unsigned long m = MainWindow();
        if (main)
            *main = m;
        return m ? OpenFolder(m, "Incoming") : 0;
    }
    // Polls (reading the draw log) until done() holds: false after ms
    // milliseconds or when the program has ended.
    bool WaitFor(const std::function<bool()>& done, int ms) {
        for (int waited = 0; waited <= ms; waited += 10) {
            draw.Update();
            if (done())
                return true;
            int status;
            if (qir.Ended(&status)) {
                ADD_FAILURE() << "qir ended: " << status << "\n" << LogTail();
                return false;
            }
            usleep(10000);
        }
        return false;
    }
    // The first line of the window that starts with prefix, waiting up to ms
    // for it; a line with empty text when there is none.
    qirDrawnLine WaitLine(unsigned long window, const std::string& prefix, int ms = 5000) {
        qirDrawnLine found{0, 0, ""};
        WaitFor([&] {
            for (const qirDrawnLine& l : draw.Lines(window))
                if (l.text.compare(0, prefix.size(), prefix) == 0) {
                    found = l;
                    return true;
                }
            return false;
        }, ms);
        return found;
    }
    // Clicks at a point of the window (pixels) with the button, count
    // times in a row (2: a double click).
    void Clicks(unsigned long window, int x, int y, int button, int count) {
        qirShell("xdotool mousemove --window " + std::to_string(window) + " " + std::to_string(x) + " " +
                 std::to_string(y) + " click --repeat " + std::to_string(count) + " --delay 80 " +
                 std::to_string(button));
    }
    // The pixels of a rectangle of the window as the screen shows it, three
    // bytes (red, green, blue) each, row by row; "" when it cannot be read.
    std::string Pixels(unsigned long window, int x, int y, int width, int height) const {
        std::string file = home + "/pixels.rgb";
        unlink(file.c_str());
        char crop[64];
        snprintf(crop, sizeof crop, "%dx%d+%d+%d", width, height, x, y);
        qirShell("import -window " + std::to_string(window) + " -crop " + crop + " +repage -depth 8 rgb:" + file +
                 " 2>/dev/null");
        std::string bytes = qirReadFile(file);
        return bytes.size() == size_t(width) * height * 3 ? bytes : "";
    }
    // The status face of a message row as the screen shows it (the shipped
    // pictures, left of the row's tick): "U" the closed yellow envelope
    // (unread), "D" the red cross (deleted), "R" otherwise (read); row is
    // the row's drawn line.  "" when the pixels cannot be read.
    std::string StatusFace(unsigned long list, const qirDrawnLine& row) const {
        std::string px = Pixels(list, 2, row.y - 22, 26, 28);
        if (px.empty())
            return "";
        int red = 0, yellow = 0;
        for (size_t i = 0; i + 2 < px.size(); i += 3) {
            unsigned char r = px[i], g = px[i + 1], b = px[i + 2];
            red += r > 170 && g < 90 && b < 90;
            yellow += r > 230 && g > 215 && b > 140 && b < 215;
        }
        return red > 5 ? "D" : yellow > 5 ? "U" : "R";
    }
    // For tests/screenshots.sh: announces name.ready in QIR_SHOT_DIR and
    // waits (ten seconds at most) until the script has taken name.png; a
    // later shot of the same name replaces it.
    void Shot(const char* name) {
        const char* dir = getenv("QIR_SHOT_DIR");
        if (!dir)
            return;
        std::string base = std::string(dir) + "/" + name;
        unlink((base + ".png").c_str());
        if (FILE* f = fopen((base + ".ready").c_str(), "w"))
            fclose(f);
        for (int i = 0; i < 1000 && access((base + ".png").c_str(), F_OK) != 0; i++)
            usleep(10000);
    }

    // ---- Using the program as a user does (xdotool), reading back what
    // it drew.

    // The main window, which maps once start-up (a check for mail
    // included) is done: 0 when qir ended or a minute passed.
    unsigned long MainWindow() {
        for (int i = 0; i < 60; i++) {
            int status;
            if (qir.Ended(&status)) {
                ADD_FAILURE() << "qir ended early: " << status << "\n" << LogTail();
                return 0;
            }
            std::string w = qirFindWindow(title, 1);
            if (!w.empty())
                return std::stoul(w);
        }
        return 0;
    }
    // The mapped window titled name that this program draws into, or 0.
    unsigned long Window(const std::string& name) {
        std::string out = qirShell("xdotool search --onlyvisible --name '^" + name + "$' 2>/dev/null");
        draw.Update();
        for (size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1) {
            unsigned long id = std::stoul(out.substr(at, nl - at));
            if (draw.CopiedTo(id))
                return id;
        }
        return 0;
    }
    // Raises the main window and double-clicks the folder's name where it
    // draws it, as a user opens a folder: the folder's list window, or 0.
    unsigned long OpenFolder(unsigned long main, const std::string& name) {
        qirShell("xdotool windowraise " + std::to_string(main));
        qirDrawnLine row{0, 0, ""};
        if (!WaitFor([&] {
                for (const qirDrawnLine& l : draw.Lines(main))
                    if (l.text == name)
                        row = l;
                return !row.text.empty();
            }, 10000)) {
            ADD_FAILURE() << "the main window shows no " << name;
            return 0;
        }
        // Synthetic clicks are now and then lost: a second double click on
        // an open folder does nothing.
        for (int attempt = 0; attempt < 3; attempt++) {
            qirShell("xdotool mousemove --window " + std::to_string(main) + " " + std::to_string(row.x + 10) + " " +
                     std::to_string(row.y - 4) + " click --repeat 2 --delay 80 1");
            unsigned long list = 0;
            int polls = 0;
            if (WaitFor([&] { return ++polls % 5 == 0 && (list = Window(name)) != 0; }, 3000))
                return list;
        }
        ADD_FAILURE() << "no " << name << " window after three double clicks";
        return 0;
    }
    // Raises window w, pulls down its menu bar entry bar and lets go over
    // item: false when the item did not show.  With shot, the open menu is
    // photographed first; with pulldown, the menu's window is told.
    bool ChooseMenu(unsigned long w, const std::string& bar, const std::string& item, const char* shot = nullptr,
                    unsigned long* pulldown = nullptr) {
        draw.Update();
        qirDrawnLine entry{0, INT_MAX, ""};
        for (const qirDrawnLine& word : draw.Words(w))
            if (word.text == bar && word.y < entry.y)
                entry = word;
        if (entry.text.empty())
            return false;
        // Without a window manager the last window mapped covers the others.
        qirShell("xdotool windowraise " + std::to_string(w) + " sleep 0.1");
        for (int attempt = 0; attempt < 3; attempt++) {
            qirShell("xdotool mousemove --window " + std::to_string(w) + " " + std::to_string(entry.x + 4) + " " +
                     std::to_string(entry.y - 4) + " mousedown 1");
            // The pulldown: a window of the program, mapped now, that shows
            // the item.
            unsigned long menu = 0;
            qirDrawnLine at{0, 0, ""};
            int polls = 0;
            bool shown = WaitFor([&] {
                if (++polls % 5)
                    return false;
                for (unsigned long id : draw.Windows())
                    for (const qirDrawnLine& l : id == w ? std::vector<qirDrawnLine>() : draw.Lines(id))
                        if (l.text == item &&
                            qirShell("xwininfo -id " + std::to_string(id)).find("IsViewable") != std::string::npos) {
                            menu = id;
                            at = l;
                            return true;
                        }
                return false;
            }, 3000);
            int x = 0, y = 0;
            if (!shown || sscanf(qirShell("xdotool getwindowgeometry " + std::to_string(menu) + " | grep Position").c_str(),
                                 " Position: %d,%d", &x, &y) != 2) {
                qirShell("xdotool mouseup 1");
                continue;
            }
            if (shot)
                Shot(shot);
            if (pulldown)
                *pulldown = menu;
            qirShell("xdotool mousemove " + std::to_string(x + at.x + 10) + " " + std::to_string(y + at.y - 4) +
                     " sleep 0.2 mouseup 1");
            return true;
        }
        return false;
    }
    // A click at (x, y) of window w, with Control held when asked; far
    // enough from the last press that no two make a double click.
    void Click(unsigned long w, int x, int y, bool control = false) {
        std::string move = "xdotool sleep 0.3 mousemove --window " + std::to_string(w) + " " + std::to_string(x) + " " +
                           std::to_string(y) + " sleep 0.05";
        qirShell(move + (control ? " keydown ctrl mousedown 1 mouseup 1 keyup ctrl" : " mousedown 1 mouseup 1"));
    }
    // Clicks the first drawn word of window w that is word.
    bool ClickWord(unsigned long w, const std::string& word) {
        qirDrawnLine found{0, 0, ""};
        if (!WaitFor([&] {
                for (const qirDrawnLine& l : draw.Words(w))
                    if (l.text == word) {
                        found = l;
                        return true;
                    }
                return false;
            }, 3000))
            return false;
        Click(w, found.x + 3, found.y - 4);
        return true;
    }
    // "Quit" from the main menu: the exit status within 30 s, or -1.
    int Quit(unsigned long main) {
        qirMainMenu(std::to_string(main), 142);
        return qir.Wait(30000);
    }

    std::string home;
    int ownDisplay = 0;          // the number of the test's own X server
    std::string testDisplay;     // DISPLAY before it
    std::string title = "Quorvane " + std::to_string(getpid());
    qirBackgroundProgram qir;
    qirDrawLog draw{""};
};

#endif
