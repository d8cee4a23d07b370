// Whole fetch cycles into a folder from a real Dovecot: keep on and off,
// twice, and a fetch killed part way and run again; each message must
// arrive exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "qirDovecot.h"
#include "qirFolder.h"
#include "qirHistory.h"
#include "qirScratchDir.h"

namespace {

std::vector<std::string> Messages(int n)
{
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i)
        out.push_back("From: s" + std::to_string(i) + "@example.org\nSubject: m" + std::to_string(i) +
                      "\nMessage-Id: <m" + std::to_string(i) + "@example.org>\n\n.\n..\nFrom here\nbody " +
                      std::to_string(i) + "\n");
    return out;
}

std::vector<std::string> Subjects(const std::string& dir)
{
    std::vector<std::string> out;
    qirFolder folder{qirPath(dir.c_str())};
    folder.Load();
    for (qirMsg* m = folder.First(); m; m = folder.Next(m)) out.push_back(m->Subject()->Text());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> Expected(int n)
{
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back("m" + std::to_string(i));
    std::sort(out.begin(), out.end());
    return out;
}

// Dies at the given step of a fetch, the given time it is reached, as a
// crash, a kill -9 or a power cut at that point would end it.
const char* dieAt = nullptr;
int dieCount = 0;
void DieAtStep(const char* step, int)
{
    if (dieAt && !strcmp(step, dieAt) && --dieCount == 0) raise(SIGKILL);
}

struct Cycle {
    explicit Cycle(qirDovecot& s) : server(s) {}
    qirDovecot& server;
    qirScratchDir scratch;
    std::string dir = scratch.File("Incoming.QIR");
    std::string history = scratch.File("pop_history:127.0.0.1");

    int Fetch(int keep)
    {
        qirHistory h(history.c_str(), 5000);
        h.Load();
        qirFolder folder{qirPath(dir.c_str())};
        folder.Load();
        int r = folder.FetchPOP3(server.Host(), server.Port(), server.User(), server.Password(), &h, keep);
        if (r == 0) {
            h.PurgeUnmarked();
            h.Save();
        }
        return r;
    }
    // The fetch in a child process that is killed at the nth time it
    // reaches the step.
    void FetchKilled(int keep, const char* step, int n)
    {
        pid_t child = fork();
        if (child == 0) {
            dieAt = step;
            dieCount = n;
            qirFolder::fetchStep = DieAtStep;
            qirFolder::fetchPace.roundMessages = 2;
            Fetch(keep);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    }
};

TEST(FolderFetchDovecot, KeepOnTwiceThenKeepOff)
{
    qirDovecot server(Messages(4));
    ASSERT_EQ(server.Error(), "");
    Cycle c(server);
    ASSERT_EQ(c.Fetch(1), 0);
    ASSERT_EQ(c.Fetch(1), 0);
    EXPECT_EQ(Subjects(c.dir), Expected(4));
    EXPECT_NE(server.Mailbox().find("Subject: m3"), std::string::npos);
    // Keep off: nothing new is stored, the kept messages leave the server.
    ASSERT_EQ(c.Fetch(0), 0);
    EXPECT_EQ(Subjects(c.dir), Expected(4));
    EXPECT_EQ(server.Mailbox().find("Subject: m"), std::string::npos);
    ASSERT_EQ(c.Fetch(0), 0);
    EXPECT_EQ(Subjects(c.dir), Expected(4));
    EXPECT_EQ(qirScratchDir::ReadFile(c.history), "");
}

TEST(FolderFetchDovecot, KeepOffTwice)
{
    qirDovecot server(Messages(3));
    ASSERT_EQ(server.Error(), "");
    Cycle c(server);
    ASSERT_EQ(c.Fetch(0), 0);
    EXPECT_EQ(server.Mailbox().find("Subject: m"), std::string::npos);
    ASSERT_EQ(c.Fetch(0), 0);
    EXPECT_EQ(Subjects(c.dir), Expected(3));
}

// Killed at each step of a round: what was synced but not yet in the
// folder is simply fetched again; once in the folder and remembered it is
// never stored twice; between the two it may be (a duplicate, never a loss).
TEST(FolderFetchDovecot, KilledFetchLosesNothing)
{
    const struct {
        const char* step;
        int nth;
        size_t stored;  // in the folder after the kill
        bool twiceOk;   // stored but not remembered: may come twice
    } cases[] = {
        {"staged", 3, 2, false},    // the second round half staged
        {"synced", 2, 2, false},    // on the disk, not yet in the folder
        {"published", 2, 4, true},  // in the folder, not yet remembered
        {"recorded", 2, 4, false},
        {"deleting", 1, 6, false},
    };
    for (const auto& c : cases)
    for (int keep : {1, 0}) {
        SCOPED_TRACE(std::string(c.step) + (keep ? " keep" : " delete"));
        if (keep && !strcmp(c.step, "deleting")) continue; // nothing is
        qirDovecot server(Messages(6));
        ASSERT_EQ(server.Error(), "");
        Cycle cycle(server);
        cycle.FetchKilled(keep, c.step, c.nth);
        EXPECT_EQ(Subjects(cycle.dir).size(), c.stored);
        // Nothing was deleted: the killed session never said QUIT.
        EXPECT_NE(server.Mailbox().find("Subject: m0"), std::string::npos);
        ASSERT_EQ(cycle.Fetch(keep), 0);
        std::vector<std::string> got = Subjects(cycle.dir);
        if (c.twiceOk) {
            got.erase(std::unique(got.begin(), got.end()), got.end());
        }
        EXPECT_EQ(got, Expected(6));
        EXPECT_EQ(server.Mailbox().find("Subject: m") == std::string::npos, keep == 0);
        size_t now = Subjects(cycle.dir).size();
        ASSERT_EQ(cycle.Fetch(keep), 0);
        EXPECT_EQ(Subjects(cycle.dir).size(), now);
    }
}

} // namespace
