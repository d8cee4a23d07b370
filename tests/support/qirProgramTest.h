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
