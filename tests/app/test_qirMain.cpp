// The real qir binary: options, exit statuses, first run and the log.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "qirTestProgram.h"

namespace {

class QirBinary : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The program reads its global file from the data prefix it was
        // built with; a build for the installed prefix has nothing there yet.
        if (access(QIR_DATA_PREFIX "/QIR.cfg", R_OK) != 0) GTEST_SKIP() << "no " QIR_DATA_PREFIX "/QIR.cfg";
        home = qirMakeTempDir("qirhome");
    }
    void TearDown() override { qirRemoveTree(home); }

    qirTestRun Run(const std::vector<std::string>& args, std::vector<std::pair<std::string, std::string>> env = {})
    {
        env.insert(env.begin(), {{"QIR_TEST_HOME", home},
                                 {"LD_PRELOAD", QIR_FAKEHOME},
                                 {"MAIL", home + "/spool"},
                                 {"-DISPLAY", ""}});
        return qirRunProgram(QIR_BINARY, args, env);
    }
    std::string Dir() const { return home + "/.QIR"; }

    std::string home;
};

TEST_F(QirBinary, VersionAndUsageNeedNoDisplay)
{
    for (const char* word : {"-version", "--version", "-V", "-v"}) {
        qirTestRun r = Run({word});
        EXPECT_EQ(r.status, 0) << word;
        EXPECT_EQ(r.err, "Quorvane. version 1.0 Beta3\n") << word;
    }
    qirTestRun r = Run({"-HELP"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err.rfind(std::string("Usage: ") + QIR_BINARY + " [arguments]\nArguments:\n", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("\t-title <title> - session's default title bar name\n"), std::string::npos);

    r = Run({"-version", "-help"});
    EXPECT_EQ(r.err.find("Quorvane. version 1.0 Beta3\nUsage: "), 0u) << r.err;
}

TEST_F(QirBinary, UnknownOptionsAreReportedAndOptionArgumentsSkipped)
{
    qirTestRun r = Run({"-bogus", "-fn", "-version", "-title", "-zap", "-v"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("Unknown option: '-bogus'\n"), std::string::npos);
    // The words after -fn and -title are their arguments, never options.
    EXPECT_EQ(r.err.find("Unknown option: '-zap'"), std::string::npos);
    EXPECT_EQ(r.err.find("Unknown option: '-version'"), std::string::npos);
    EXPECT_NE(r.err.find("Quorvane. version 1.0 Beta3"), std::string::npos);
}

TEST_F(QirBinary, NoReadableConfigurationExitsOne)
{
    std::string global = QIR_DATA_PREFIX "/QIR.cfg";
    qirTestRun r = Run({"-version"}, {{"QIR_TEST_HIDE", global}});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "QIR Warning: Can't read user config from file: " + Dir() + "/user.cfg\n");

    // One readable file is enough, and the missing global one is not reported.
    mkdir(Dir().c_str(), 0700);
    FILE* f = fopen((Dir() + "/user.cfg").c_str(), "w");
    fputs("SystemFont fixed\n", f);
    fclose(f);
    r = Run({"-v"}, {{"QIR_TEST_HIDE", global}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Quorvane. version 1.0 Beta3\n");
}

TEST_F(QirBinary, FirstRunMakesFolderDirectoryRecordsMailboxAndLogs)
{
    qirTestRun r = Run({"-v"});
    ASSERT_EQ(r.status, 0) << r.err;
    struct stat st;
    ASSERT_EQ(stat(Dir().c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(qirReadFile(Dir() + "/user.cfg"),
              "MailBox {\nFileName " + home + "/spool\nLeaveInMailBox Yes\n\n}");

    std::string log = qirReadFile(Dir() + "/QIR.log");
    EXPECT_EQ(log.rfind("\n---> QIR Session from ", 0), 0u) << log;
    EXPECT_NE(log.find("\nD No one backgound deliver agent started\n"), std::string::npos) << log;

    // The next start is not a first run: the user file is left as it was,
    // and the recorded mailbox reads back from it.
    r = Run({"-v"}, {{"MAIL", "/elsewhere"}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(qirReadFile(Dir() + "/user.cfg"),
              "MailBox {\nFileName " + home + "/spool\nLeaveInMailBox Yes\n\n}");
    log = qirReadFile(Dir() + "/QIR.log");
    EXPECT_NE(log.find("---> QIR Session from "), log.rfind("---> QIR Session from ")) << log;
}

TEST_F(QirBinary, DeliveryProcessStopsWithTheWindowProcess)
{
    mkdir(Dir().c_str(), 0700);
    FILE* f = fopen((Dir() + "/user.cfg").c_str(), "w");
    fputs("UseBackgroundDeliverAgent yes\n", f);
    fclose(f);
    qirTestRun r = Run({"-v"});
    EXPECT_EQ(r.status, 0);
    // The delivery process writes its own log and ends on the stop byte.
    for (int i = 0; i < 100 && qirReadFile(Dir() + "/QIR-server.log").empty(); ++i) usleep(50000);
    EXPECT_NE(qirReadFile(Dir() + "/QIR-server.log").find("---> QIR Session from "), std::string::npos);
    EXPECT_EQ(qirReadFile(Dir() + "/QIR.log").find("No one backgound deliver agent started"), std::string::npos);
}

} // namespace
