// Whole fetch cycles into a folder from a real Dovecot: keep on and off,
// twice, and a fetch killed part way and run again; each message must
// arrive exactly once.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
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

// Dies the moment the given number of messages has been stored (and
// recorded), as a crash or a kill -9 would end it.
class DyingFolder : public qirFolder {
public:
    DyingFolder(const qirPath& p, int after) : qirFolder(p), after_(after) {}
    qirMsg* NewMessage(const qirPath* path) override
    {
        if (path && ++stored_ == after_) raise(SIGKILL);
        return qirFolder::NewMessage(path);
    }

private:
    int after_, stored_ = 0;
};

struct Cycle {
    qirDovecot& server;
    qirScratchDir scratch;
    std::string dir = scratch.File("Incoming.QIR");
    std::string history = scratch.File("pop_history:127.0.0.1");

    int Fetch(int keep, int dieAfter = 0)
    {
        qirHistory h(history.c_str(), 5000);
        h.Load();
        DyingFolder folder(qirPath(dir.c_str()), dieAfter);
        folder.Load();
        int r = folder.FetchPOP3(server.Host(), server.Port(), server.User(), server.Password(), &h, keep);
        if (r == 0) {
            h.PurgeUnmarked();
            h.Save();
        }
        return r;
    }
    // The fetch in a child process that is killed after n stored messages.
    void FetchKilled(int keep, int n)
    {
        pid_t child = fork();
        if (child == 0) {
            Fetch(keep, n);
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
    Cycle c{server};
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
    Cycle c{server};
    ASSERT_EQ(c.Fetch(0), 0);
    EXPECT_EQ(server.Mailbox().find("Subject: m"), std::string::npos);
    ASSERT_EQ(c.Fetch(0), 0);
    EXPECT_EQ(Subjects(c.dir), Expected(3));
}

TEST(FolderFetchDovecot, KilledFetchRefetchesNothingStored)
{
    for (int keep : {1, 0}) {
        qirDovecot server(Messages(6));
        ASSERT_EQ(server.Error(), "");
        Cycle c{server};
        c.FetchKilled(keep, 2);
        EXPECT_EQ(Subjects(c.dir).size(), 2u) << "keep " << keep;
        // Nothing was deleted: the killed session never said QUIT.
        EXPECT_NE(server.Mailbox().find("Subject: m0"), std::string::npos);
        c.FetchKilled(keep, 5 - 2); // three more, then killed again
        ASSERT_EQ(c.Fetch(keep), 0);
        EXPECT_EQ(Subjects(c.dir), Expected(6)) << "keep " << keep;
        if (!keep) EXPECT_EQ(server.Mailbox().find("Subject: m"), std::string::npos);
        ASSERT_EQ(c.Fetch(keep), 0);
        EXPECT_EQ(Subjects(c.dir), Expected(6)) << "keep " << keep;
    }
}

} // namespace
