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
        if (!home.empty())
            qirRemoveTree(home);
    }
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
    // Starts qir titled title; env is set over what every run gets.
    void Start(const std::vector<std::pair<std::string, std::string>>& env = {}) {
        // Window ids come again in a later run: each run has a log of its own.
        unlink(DrawLogPath().c_str());
        draw = qirDrawLog(DrawLogPath());
        std::vector<std::pair<std::string, std::string>> all = {
            {"QIR_TEST_HOME", home},
            {"LD_PRELOAD", QIR_FAKEHOME " " QIR_DRAWLOG},
            {"QIR_TEST_DRAWLOG", DrawLogPath()},
            {"ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0"}};
        all.insert(all.end(), env.begin(), env.end());
        ASSERT_TRUE(qir.Start(QIR_BINARY, {"-title", title}, all));
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
    // The mapped window titled exactly name that this program draws, or 0.
    unsigned long Window(const std::string& name) {
        std::string out = qirShell("xdotool search --onlyvisible --name '^" + name + "$' 2>/dev/null");
        for (size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1) {
            unsigned long id = std::stoul(out.substr(at, nl - at));
            if (draw.CopiedTo(id))
                return id;
        }
        return 0;
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
    // Clicks at a point of the window (pixels), count times in a row.
    void Click(unsigned long window, int x, int y, int button = 1, int count = 1) {
        qirShell("xdotool mousemove --window " + std::to_string(window) + " " + std::to_string(x) + " " +
                 std::to_string(y) + " click --repeat " + std::to_string(count) + " --delay 80 " +
                 std::to_string(button));
    }
    // Clicks the word the window draws (a button's label): false when it is
    // not drawn within ms.
    bool ClickWord(unsigned long window, const std::string& word, int button = 1, int count = 1, int ms = 5000) {
        qirDrawnLine found{0, 0, ""};
        WaitFor([&] {
            for (const qirDrawnLine& t : draw.Words(window))
                if (t.text == word) {
                    found = t;
                    return true;
                }
            return false;
        }, ms);
        if (found.text.empty())
            return false;
        Click(window, found.x + 3, found.y - 4, button, count);
        return true;
    }
    // Pulls down the menu bar entry of the window labelled menu and lets go
    // over its item labelled item (the pulldown is a window of its own):
    // false when either is not drawn.
    bool Menu(unsigned long window, const std::string& menu, const std::string& item) {
        draw.Update();
        qirDrawnLine entry{0, 0, ""};
        for (const qirDrawnLine& t : draw.Words(window))
            if (t.text == menu && (entry.text.empty() || t.y < entry.y))
                entry = t;
        if (entry.text.empty())
            return false;
        qirShell("xdotool mousemove --window " + std::to_string(window) + " " + std::to_string(entry.x + 5) + " " +
                 std::to_string(entry.y - 4) + " mousedown 1");
        int x = 0, y = 0;
        auto position = [](unsigned long w, int* px, int* py) {
            std::string out = qirShell("xdotool getwindowgeometry " + std::to_string(w) + " 2>/dev/null | grep Position");
            return sscanf(out.c_str(), " Position: %d,%d", px, py) == 2;
        };
        bool shown = WaitFor([&] {
            for (unsigned long d : draw.Drawables())
                for (const qirDrawnLine& l : draw.Lines(d))
                    if (l.text == item && position(d, &x, &y)) {
                        x += l.x + 5;
                        y += l.y - 4;
                        return true;
                    }
            return false;
        }, 3000);
        if (shown)
            qirShell("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " sleep 0.2");
        qirShell("xdotool mouseup 1");
        return shown;
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

    std::string home;
    std::string title = "Quorvane " + std::to_string(getpid());
    qirBackgroundProgram qir;
    qirDrawLog draw{""};
};

#endif
