#include <gtest/gtest.h>

#include <string>

#include "qirProgress.h"
#include "qirString.h"

namespace {

// Records what a window would show, to check the base keeps the four values.
class Recorder : public qirProgress {
public:
    void Set(uint32_t current) override
    {
        current_ = current;
        log += "S" + std::to_string(current);
    }
    void End() override { log += "E"; }
    std::string log;
};

TEST(qirProgress, BeginStoresAndMayStartAgainAfterEnd)
{
    EXPECT_EQ(qirProgressReporter, nullptr); // nothing shown until start-up sets one

    Recorder r;
    qirProgressReporter = &r;
    qirList lines;
    qirString line("Fetching mail");
    lines.Append(&line);

    qirProgressReporter->Begin(10, 0, 1, &lines);
    EXPECT_EQ(r.Total(), 10u);
    EXPECT_EQ(r.Current(), 0u);
    EXPECT_EQ(r.PercentMode(), 1);
    EXPECT_EQ(r.Lines(), &lines);
    qirProgressReporter->Set(4);
    qirProgressReporter->Set(10);
    qirProgressReporter->End();

    qirProgressReporter->Begin(3, 1, 0, nullptr);
    EXPECT_EQ(r.Total(), 3u);
    EXPECT_EQ(r.Current(), 1u);
    EXPECT_EQ(r.PercentMode(), 0);
    EXPECT_EQ(r.Lines(), nullptr);
    qirProgressReporter->End();
    EXPECT_EQ(r.log, "S4S10EE");

    lines.Unlink(&line); // the reporter never owned the lines
    qirProgressReporter = nullptr;
}

} // namespace
