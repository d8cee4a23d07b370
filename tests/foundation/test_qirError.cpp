#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "qirError.h"

namespace {

class qirErrorLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/qirLogXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ + "/QIR.log";
    }
    void TearDown() override { (void)system(("rm -rf '" + dir_ + "'").c_str()); }
    std::vector<std::string> Lines()
    {
        std::ifstream in(path_);
        std::vector<std::string> lines;
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        return lines;
    }
    std::string dir_, path_;
};

TEST_F(qirErrorLog, WritesBannerAndLevelLetters)
{
    qirError log;
    EXPECT_EQ(log.IsOpen(), 0);
    ASSERT_EQ(log.Open(path_.c_str(), 3, -1), 0);
    EXPECT_EQ(log.IsOpen(), 1);
    for (int level = 1; level <= 5; ++level) log.Report(level, "entry %d", level);
    // A source file is named without its directory and extension.
    log.Debug("here", "/work/checkout/app/qirNewMail.cpp", 42);
    // Out of range: a placeholder letter, no read past the table, no exit.
    log.Write(6, "six");
    log.Write(-1, "minus");
    log.Write(1000000, "far");
    EXPECT_EQ(log.Open(path_.c_str(), 5, 10), -20); // no second banner
    EXPECT_EQ(log.Close(), 0);
    EXPECT_EQ(log.Close(), -6);

    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1].rfind("---> QIR Session from ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2], "E entry 1");
    EXPECT_EQ(lines[3], "W entry 2");
    EXPECT_EQ(lines[4], "S entry 3");
    EXPECT_EQ(lines[5], "I entry 4");
    EXPECT_EQ(lines[6], "D entry 5");
    EXPECT_EQ(lines[7], "D here at qirNewMail:42");
    EXPECT_EQ(lines[8], "? six");
    EXPECT_EQ(lines[9], "? minus");
    EXPECT_EQ(lines[10], "? far");

    EXPECT_EQ(qirLogLevelLetter(0), 'C');
    EXPECT_STREQ(qirLogLevelName(3), "Statistics");
    EXPECT_STREQ(qirLogLevelName(-2), "Unknown");

    // Reopened without a limit: a fresh file.
    ASSERT_EQ(log.Open(path_.c_str(), 3, 0), 0);
    log.Write(2, "again");
    log.Close();
    lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "W again");
}

TEST_F(qirErrorLog, LongReportIsBounded)
{
    qirError log;
    ASSERT_EQ(log.Open(path_.c_str(), 5, -1), 0);
    std::string big(20000, 'x');
    log.Report(1, "%s%s", big.c_str(), "tail");
    log.Close();
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].size(), 2u + qirReportBufferSize - 1);
    EXPECT_EQ(lines[2].substr(0, 3), "E x");
}

TEST_F(qirErrorLog, LineLimitKeepsLastLines)
{
    {
        std::ofstream out(path_);
        for (int i = 1; i <= 100; ++i) out << "old " << i << "\n";
    }
    qirError log;
    ASSERT_EQ(log.Open(path_.c_str(), 5, 50), 0);
    EXPECT_EQ(log.Close(), 0);
    std::vector<std::string> lines = Lines();
    // 100 counted lines: the last 51 stay, the banner's two among them.
    ASSERT_EQ(lines.size(), 51u);
    EXPECT_EQ(lines[0], "old 52");
    EXPECT_EQ(lines[48], "old 100");
    EXPECT_EQ(lines[49], "");
    EXPECT_EQ(lines[50].rfind("---> QIR Session from ", 0), 0u);

    // Under the limit nothing is cut, and the session is appended.
    ASSERT_EQ(log.Open(path_.c_str(), 5, 500), 0);
    log.Write(4, "kept");
    log.Close();
    lines = Lines();
    ASSERT_EQ(lines.size(), 54u);
    EXPECT_EQ(lines[0], "old 52");
    EXPECT_EQ(lines[53], "I kept");
}

TEST_F(qirErrorLog, TakeOverLeavesOtherClosed)
{
    qirError first;
    ASSERT_EQ(first.Open(path_.c_str(), 4, -1), 0);
    qirError second(&first);
    EXPECT_EQ(first.IsOpen(), 0);
    EXPECT_EQ(first.Close(), -6);
    EXPECT_EQ(second.IsOpen(), 1);
    EXPECT_EQ(second.Level(), 4);
    EXPECT_STREQ(second.Path().Text(), path_.c_str());
    second.Write(2, "by second");
    EXPECT_EQ(second.Close(), 0);
    EXPECT_EQ(Lines().back(), "W by second");

    qirError fromNull(nullptr);
    EXPECT_EQ(fromNull.IsOpen(), 0);
}

TEST_F(qirErrorLog, UnopenableFileIsReported)
{
    qirError log;
    std::string bad = dir_ + "/missing/QIR.log";
    testing::internal::CaptureStderr();
    EXPECT_EQ(log.Open(bad.c_str(), 5, 10), -7);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Can't open LOG file: <" + bad + ">\nYou may want to remove it!\n");
    EXPECT_EQ(log.IsOpen(), 0);
    log.Write(1, "nowhere"); // harmless while closed
    EXPECT_STREQ(log.Path().Text(), "");
}

// Reports about the content of received messages: held per message while
// a stretch is open and written under a line naming the message, written
// at once outside one.
class RecordingLog : public qirError {
public:
    void Write(int level, const char* text) override
    {
        lines.push_back((writingContent_ ? "held " : "") + std::to_string(level) + " " + text);
    }
    std::vector<std::string> lines;
};

TEST(qirErrorReceived, ContentReportsAreHeldPerMessageAndCounted)
{
    RecordingLog log;
    log.ReportContent(1, "bad %s", "alone");
    EXPECT_EQ(log.EndReceived(), 0); // none open
    log.BeginReceived();
    log.ReportContent(1, "bad %d", 1);
    log.Report(1, "disk full");      // not about content: at once
    log.ReportContent(1, "bad %d", 2);
    log.EndReceivedMessage("stored as M1");
    log.EndReceivedMessage("stored as M2"); // nothing held: nothing written
    log.BeginReceived();             // a fetch inside a mail check
    log.ReportContent(1, "bad %d", 3);
    log.EndReceivedMessage("stored as M3");
    EXPECT_EQ(log.EndReceived(), 2);
    EXPECT_TRUE(log.InReceived());
    log.ReportContent(2, "bad %d", 4); // no message end claims it
    EXPECT_EQ(log.EndReceived(), 3);
    EXPECT_FALSE(log.InReceived());
    const char* heading = " has fields or parts that could not be read:";
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             "1 bad alone", "1 disk full",
                             std::string("held 2 The received message stored as M1") + heading, "held 1 bad 1",
                             "held 1 bad 2", std::string("held 2 The received message stored as M3") + heading,
                             "held 1 bad 3", std::string("held 2 The received message that was not stored") + heading,
                             "held 2 bad 4"}));
    // The next stretch counts from nothing.
    log.BeginReceived();
    EXPECT_EQ(log.EndReceived(), 0);
}

TEST_F(qirErrorLog, CriticalReportEndsProcess)
{
    EXPECT_EXIT(
        {
            qirError log;
            log.Open(path_.c_str(), 5, -1);
            log.Report(0, "disk %s", "gone");
        },
        testing::ExitedWithCode(1), "Critical error: disk gone");
    EXPECT_EQ(Lines().back(), "C disk gone");
    EXPECT_EXIT(
        {
            qirError closed;
            closed.Write(0, "closed too");
        },
        testing::ExitedWithCode(1), "Critical error: closed too");
}

} // namespace
