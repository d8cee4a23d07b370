// The real qir on the test X server with a home of the test's own and the
// drawlog shim, as the end-to-end tests drive it: started, polled and read
// back from what it drew.  The test process opens no InterViews session, so
// the program, xdotool and the servers are children of its own.
#ifndef QIR_PROGRAM_TEST_H
#define QIR_PROGRAM_TEST_H

#include <gtest/gtest.h>

#include "qirDrawLog.h"
#include "qirTestProgram.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class qirProgramTest : public ::testing::Test {
protected:
    explicit qirProgramTest(const char* titleBase) : title(std::string(titleBase) + " " + std::to_string(getpid())) {}

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
    std::string LogTail() const {
        std::string log = qirReadFile(Dir() + "/QIR.log");
        return log.substr(log.size() > 1500 ? log.size() - 1500 : 0);
    }
    std::string DrawLogPath() const { return home + "/draw.log"; }

    // Starts qir with its main window titled `title`, the home shim, the
    // draw log and env over the test's environment: false when it could
    // not be started.
    bool StartProgram(const std::vector<std::pair<std::string, std::string>>& env) {
        // Window ids come again in a later run: each run has a log of its own.
        unlink(DrawLogPath().c_str());
        draw = qirDrawLog(DrawLogPath());
        std::vector<std::pair<std::string, std::string>> all = {
            {"QIR_TEST_HOME", home},
            {"LD_PRELOAD", QIR_FAKEHOME " " QIR_DRAWLOG},
            {"QIR_TEST_DRAWLOG", DrawLogPath()},
            {"ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0"}};
        all.insert(all.end(), env.begin(), env.end());
        return qir.Start(QIR_BINARY, {"-title", title}, all);
    }

    // Polls (reading the draw log) until done() holds: false after ms
    // milliseconds or when the program has ended.
    bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
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
    std::string title;
    qirBackgroundProgram qir;
    qirDrawLog draw{""};
};

#endif
