// Fetching into a folder from a scripted POP3 server and from a local
// mailbox spool: each message stored once, nothing stored from a cut
// message, nothing deleted at the source before it is on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "qirError.h"
#include "qirFakePOP3.h"
#include "qirFolder.h"
#include "qirHistory.h"
#include "qirMailBox.h"
#include "qirMailTestText.h"
#include "qirMsgComponent.h"
#include "qirProgress.h"
#include "qirScratchDir.h"
#include "qirStatus.h"

namespace {

std::string Message(int n, const std::string& body = "")
{
    return "From: s" + std::to_string(n) + "@example.org\nSubject: m" + std::to_string(n) +
           "\nMessage-Id: <id" + std::to_string(n) + "@example.org>\n\n" +
           (body.empty() ? "body " + std::to_string(n) + "\n" : body);
}

// Subject -> body text of every message directory of the folder.
std::multimap<std::string, std::string> Stored(const std::string& dir)
{
    std::multimap<std::string, std::string> out;
    qirFolder folder{qirPath(dir.c_str())};
    folder.Load();
    for (qirMsg* m = folder.First(); m; m = folder.Next(m))
        out.emplace(m->Subject()->Text(), m->Body() ? qirScratchDir::ReadFile(m->Body()->Path().Text()) : "");
    return out;
}

std::vector<std::string> Subjects(const std::string& dir)
{
    std::vector<std::string> out;
    for (auto& p : Stored(dir)) out.push_back(p.first);
    return out;
}

using Scripted = qirScriptedPOP3;

struct Fetcher {
    qirScratchDir scratch;
    std::string dir = scratch.File("Incoming.QIR");
    std::string historyPath = scratch.File("pop_history:test");

    int Pop(const char* port, int keep, const char* password = "secret")
    {
        qirHistory history(historyPath.c_str(), 1000);
        history.Load();
        qirFolder folder{qirPath(dir.c_str())};
        int r = folder.FetchPOP3("127.0.0.1", port, "user", password, &history, keep);
        if (r == 0) {
            history.PurgeUnmarked();
            history.Save();
        }
        return r;
    }
    // The identifiers of the history file, each line's proof left out.
    std::string History()
    {
        std::string out;
        for (char c : qirScratchDir::ReadFile(historyPath)) {
            if (c == '\t') skip = 1;
            if (c == '\n') skip = 0;
            if (!skip) out += c;
        }
        return out;
    }
    int skip = 0;
};

TEST(FolderFetchPOP3, StoresEachMessageAndDeletesOnlyAfterward)
{
    const std::string tricky = "..\n..x\n.\n" + std::string(3000, 'a') + "\n." + std::string(2500, '.') + "\nend\n";
    Scripted s({Message(1), Message(2, tricky), Message(3)});
    Fetcher f;
    ASSERT_EQ(f.Pop(s.server.Port(), 0), 0);
    auto stored = Stored(f.dir);
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored.find("m2")->second, tricky);
    EXPECT_EQ(stored.find("m1")->second, "body 1\n");
    EXPECT_EQ(s.server.Count("DELE"), 3);
    // Every DELE comes after the last RETR: all is stored before anything is
    // removed at the server.
    EXPECT_GT(s.Index("DELE", false), s.Index("RETR", true));
    EXPECT_EQ(s.server.Count("QUIT"), 1);

    // The server forgot them; a second fetch finds nothing and the history
    // drops their identifiers.
    ASSERT_EQ(f.Pop(s.server.Port(), 0), 0);
    EXPECT_EQ(Stored(f.dir).size(), 3u);
    EXPECT_EQ(f.History(), "");
}

TEST(FolderFetchPOP3, KeepOnFetchesEachMessageOnce)
{
    Scripted s({Message(1), Message(2)});
    Fetcher f;
    ASSERT_EQ(f.Pop(s.server.Port(), 1), 0);
    ASSERT_EQ(f.Pop(s.server.Port(), 1), 0);
    EXPECT_EQ(Subjects(f.dir), (std::vector<std::string>{"m1", "m2"}));
    EXPECT_EQ(s.server.Count("DELE"), 0);
    EXPECT_EQ(s.server.Count("RETR"), 2);
    const std::string h = f.History();
    EXPECT_TRUE(h == "uid2\nuid1\n" || h == "uid1\nuid2\n") << h;
    // New mail arrives: only it is fetched.
    s.box.messages.push_back(Message(3));
    ASSERT_EQ(f.Pop(s.server.Port(), 1), 0);
    EXPECT_EQ(Subjects(f.dir), (std::vector<std::string>{"m1", "m2", "m3"}));
}

// A message that ends before its "." line, wherever the line drops.
TEST(FolderFetchPOP3, CutMessageStoresNothingAndDeletesNothing)
{
    const std::string body = "first\n" + std::string(5000, 'x') + "\n..stuffed\nlast\n";
    const std::string stuffed = qirFakeMailbox::Stuff(Message(2, body));
    const struct {
        const char* what;
        size_t keep; // bytes of the stuffed text sent before the drop
        bool reset;
    } cases[] = {
        {"after the header", stuffed.find("\r\n\r\n") + 4, false},
        {"inside a long line", stuffed.find(std::string(100, 'x')) + 3000, false},
        {"before the dot line", stuffed.size() - 3, false},
        {"reset inside the body", stuffed.find("..stuffed"), true},
    };
    for (const auto& c : cases)
    for (bool pipelining : {false, true}) {
        SCOPED_TRACE(pipelining ? "pipelined" : "one command at a time");
        Scripted s({Message(1), Message(2, body), Message(3)});
        s.box.pipelining = pipelining;
        s.override = [&](const std::string& cmd, qirFakeReply* r) {
            if (cmd != "RETR 2") return false;
            *r = {"+OK\r\n" + stuffed.substr(0, c.keep), true, c.reset};
            return true;
        };
        Fetcher f;
        f.Pop(s.server.Port(), 0);
        EXPECT_EQ(Subjects(f.dir), (std::vector<std::string>{"m1"})) << c.what;
        EXPECT_EQ(s.server.Count("DELE"), 0) << c.what;
        EXPECT_EQ(s.server.Count("QUIT"), 0) << c.what;
        // Only the stored message is remembered, so the next fetch takes the
        // rest and not the first again.
        EXPECT_EQ(f.History(), "uid1\n") << c.what;
        s.override = nullptr;
        ASSERT_EQ(f.Pop(s.server.Port(), 0), 0) << c.what;
        EXPECT_EQ(Subjects(f.dir), (std::vector<std::string>{"m1", "m2", "m3"})) << c.what;
        EXPECT_EQ(Stored(f.dir).find("m2")->second, body) << c.what;
        EXPECT_EQ(s.server.Ahead() > 0, pipelining) << c.what;
    }
}

// A server that takes pipelined commands gets the next RETRs before it has
// answered the one before; a refused message in between leaves the
// answers in step: every other message is stored once, in order.
TEST(FolderFetchPOP3, PipelinedRetrievalsStayInStep)
{
    std::vector<std::string> messages;
    for (int i = 1; i <= 12; ++i) messages.push_back(Message(i, "body " + std::to_string(i) + "\n" + std::string(i * 700, 'z') + "\n"));
    Scripted s(messages);
    s.box.pipelining = true;
    s.override = [&](const std::string& cmd, qirFakeReply* r) {
        if (cmd != "RETR 5") return false;
        *r = {"-ERR busy\r\n"};
        return true;
    };
    Fetcher f;
    ASSERT_EQ(f.Pop(s.server.Port(), 1), 0);
    auto stored = Stored(f.dir);
    EXPECT_EQ(stored.size(), 11u);
    EXPECT_EQ(stored.count("m5"), 0u);
    for (int i : {1, 4, 6, 12}) {
        auto m = stored.find("m" + std::to_string(i));
        ASSERT_NE(m, stored.end()) << i;
        EXPECT_EQ(m->second, "body " + std::to_string(i) + "\n" + std::string(i * 700, 'z') + "\n");
    }
    EXPECT_GT(s.server.Ahead(), 0);
    EXPECT_EQ(s.server.Count("QUIT"), 1);
    // The refused one comes at the next check, and nothing else again.
    s.override = nullptr;
    ASSERT_EQ(f.Pop(s.server.Port(), 1), 0);
    EXPECT_EQ(Stored(f.dir).size(), 12u);
    EXPECT_EQ(s.server.Count("RETR"), 13);
}

// A message larger than what is kept in memory on its way to the import
// goes on in a temporary file and arrives whole, between two small ones.
TEST(FolderFetchPOP3, HugeMessageArrivesWhole)
{
    std::string line(99, 'h');
    line += '\n';
    std::string huge;
    while (huge.size() < (17u << 20)) huge += line;
    Scripted s({Message(1), Message(2, huge), Message(3)});
    s.box.pipelining = true;
    Fetcher f;
    ASSERT_EQ(f.Pop(s.server.Port(), 1), 0);
    auto stored = Stored(f.dir);
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_TRUE(stored.find("m2")->second == huge) << stored.find("m2")->second.size() << " bytes";
    EXPECT_EQ(stored.find("m3")->second, "body 3\n");
}

TEST(FolderFetchPOP3, MessagesWithoutIdentifierNeverEnterTheHistory)
{
    // No UIDL, no XTND; TOP gives a Message-Id without angle brackets (an
    // empty identifier) for the first, none at all for the second.
    Scripted s({"Subject: a\nMessage-Id: no brackets\n\nA\n", "Subject: b\n\nB\n"});
    s.box.uidl = false;
    Fetcher f;
    ASSERT_EQ(qirScratchDir::WriteFile(f.historyPath, "\nother\n"), 0);
    ASSERT_EQ(f.Pop(s.server.Port(), 1), 0);
    EXPECT_EQ(f.History(), "");
    // Without an identifier the message is fetched again while it stays.
    ASSERT_EQ(f.Pop(s.server.Port(), 1), 0);
    EXPECT_EQ(Subjects(f.dir), (std::vector<std::string>{"a", "a", "b", "b"}));
}

TEST(FolderFetchPOP3, FailedConnectionSendsNoQuit)
{
    {
        // Out of step from the first line: nothing more is said.
        Scripted s({Message(1)}, "* OK not POP3\r\n");
        Fetcher f;
        EXPECT_EQ(f.Pop(s.server.Port(), 0), qirConnectionFailed);
        EXPECT_EQ(s.server.Commands().size(), 0u);
    }
    {
        Scripted s({Message(1)});
        Fetcher f;
        EXPECT_EQ(f.Pop(s.server.Port(), 0, "wrong"), qirPOP3Refused);
        EXPECT_EQ(Subjects(f.dir).size(), 0u);
    }
    Fetcher f;
    EXPECT_EQ(f.Pop(qirFakePOP3Server::ClosedPort().c_str(), 0), qirConnectionFailed);
}

// The server goes away while DELE is being sent: with SIGPIPE at its default
// the fetch still returns, and the stored messages are never fetched again.
TEST(FolderFetchPOP3, ServerGoneDuringDeleteNeitherKillsNorDuplicates)
{
    Scripted s({Message(1), Message(2), Message(3)});
    s.override = [&](const std::string& cmd, qirFakeReply* r) {
        if (cmd != "RETR 3") return false;
        *r = {"+OK\r\n" + qirFakeMailbox::Stuff(s.box.messages[2]), true, true};
        return true;
    };
    Fetcher f;
    pid_t child = fork();
    if (child == 0) {
        signal(SIGPIPE, SIG_DFL);
        f.Pop(s.server.Port(), 0);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(Subjects(f.dir), (std::vector<std::string>{"m1", "m2", "m3"}));
    s.override = nullptr;
    ASSERT_EQ(f.Pop(s.server.Port(), 0), 0);
    EXPECT_EQ(Subjects(f.dir), (std::vector<std::string>{"m1", "m2", "m3"}));
    // The second fetch deleted what the first had stored, each once its
    // text had proved it the stored one.
    EXPECT_EQ(s.server.Count("RETR"), 6);
    EXPECT_EQ(s.server.Count("DELE"), 3);
}

// A server that hands new messages identifiers the history already holds
// (a reused UIDL): only a message whose listed size and text are the ones
// stored is deleted without being stored again; every other is stored
// first, then deleted.
TEST(FolderFetchPOP3, KnownIdentifiersAreDeletedOnlyWhenProved)
{
    Scripted s({Message(1), Message(2), Message(3)});
    Fetcher f;
    ASSERT_EQ(f.Pop(s.server.Port(), 1), 0);
    ASSERT_EQ(Subjects(f.dir), (std::vector<std::string>{"m1", "m2", "m3"}));
    // m1 stays; m2's text changes but keeps its size; m3 grows; a fourth
    // message comes with m1's identifier.
    std::string same = Message(2);
    same.replace(same.find("body 2"), 6, "BODY 2");
    s.box.messages = {Message(1), same, Message(3, "a longer body\n"), Message(4)};
    s.box.ids = {"uid1", "uid2", "uid3", "uid1"};
    ASSERT_EQ(f.Pop(s.server.Port(), 0), 0);
    auto stored = Stored(f.dir);
    EXPECT_EQ(Subjects(f.dir), (std::vector<std::string>{"m1", "m2", "m2", "m3", "m3", "m4"}));
    auto m2 = stored.equal_range("m2");
    EXPECT_TRUE(std::any_of(m2.first, m2.second, [](auto& p) { return p.second == "BODY 2\n"; }));
    EXPECT_EQ(s.server.Count("DELE"), 4);
    EXPECT_EQ(s.server.Count("RETR"), 3 + 4);
    EXPECT_GT(s.Index("DELE", false), s.Index("RETR", true));
    ASSERT_EQ(f.Pop(s.server.Port(), 0), 0);
    EXPECT_EQ(f.History(), "");
}

// An older history names identifiers without proof: with the mail kept at
// the server they still mean "fetched"; to delete, nothing short of a
// proof will do, so the message is stored once more (a duplicate, never a
// loss).
TEST(FolderFetchPOP3, HistoryWithoutProofsKeepsItsMeaning)
{
    for (int keep : {1, 0}) {
        Scripted s({Message(1), Message(2)});
        Fetcher f;
        ASSERT_EQ(qirScratchDir::WriteFile(f.historyPath, "uid1\n"), 0);
        ASSERT_EQ(f.Pop(s.server.Port(), keep), 0);
        const std::vector<std::string> expected = keep ? std::vector<std::string>{"m2"} : std::vector<std::string>{"m1", "m2"};
        EXPECT_EQ(Subjects(f.dir), expected);
        EXPECT_EQ(s.server.Count("RETR"), keep ? 1 : 2);
        EXPECT_EQ(s.server.Count("DELE"), keep ? 0 : 2);
    }
}

// Keeps the reports instead of writing a file.
class RecordingLog : public qirError {
public:
    RecordingLog() : saved_(qirLog) { qirLog = this; }
    ~RecordingLog() override { qirLog = saved_; }
    void Write(int level, const char* text) override { lines.push_back(std::to_string(level) + " " + text); }
    bool Has(const std::string& part) const
    {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
    }
    std::vector<std::string> lines;

private:
    qirError* saved_;
};

// Short bounds for the lying servers below, put back afterwards.
struct Pace {
    qirFolder::FetchPace saved = qirFolder::fetchPace;
    Pace(double seconds, double checkSeconds)
    {
        qirFolder::fetchPace.seconds = seconds;
        qirFolder::fetchPace.checkSeconds = checkSeconds;
        qirFolder::fetchPace.margin = 4096;
    }
    ~Pace() { qirFolder::fetchPace = saved; }
};

// A message that never ends, or that comes a byte at a time: it is given
// up, reported and left on the server, and the fetch goes on with the next
// in a new session; the stored ones are deleted there.
TEST(FolderFetchPOP3, LyingServersCannotHoldTheFetch)
{
    const struct {
        const char* what;
        qirFakeReply reply;
        const char* report;
    } cases[] = {
        {"never ends", {"+OK\r\n" + qirFakeMailbox::Stuff(Message(2)).substr(0, 40), false, false, 0, true},
         "far longer than"},
        {"trickles", {"+OK\r\n" + qirFakeMailbox::Stuff(Message(2)), false, false, 20000, false}, "too slowly"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Pace pace(0.5, 60);
        RecordingLog log;
        Scripted s({Message(1), Message(2), Message(3)});
        s.override = [&](const std::string& cmd, qirFakeReply* r) {
            if (cmd != "RETR 2") return false;
            *r = c.reply;
            return true;
        };
        Fetcher f;
        ASSERT_EQ(f.Pop(s.server.Port(), 0), 0);
        EXPECT_EQ(Subjects(f.dir), (std::vector<std::string>{"m1", "m3"}));
        EXPECT_TRUE(log.Has(c.report));
        auto commands = s.server.Commands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "DELE 2"), 0);
        EXPECT_EQ(s.server.Count("DELE"), 2);
        EXPECT_EQ(s.server.Count("PASS"), 2);
        s.override = nullptr;
        ASSERT_EQ(f.Pop(s.server.Port(), 0), 0);
        EXPECT_EQ(Subjects(f.dir), (std::vector<std::string>{"m1", "m2", "m3"}));
    }
}

// The whole check has a deadline too: past it, the rest waits for the next
// check.
TEST(FolderFetchPOP3, SlowCheckEndsAtItsDeadline)
{
    Pace pace(60, 0.5);
    RecordingLog log;
    Scripted s({Message(1), Message(2), Message(3)});
    s.override = [&](const std::string& cmd, qirFakeReply* r) {
        if (cmd != "RETR 2") return false;
        *r = {"+OK\r\n" + qirFakeMailbox::Stuff(Message(2)), false, false, 20000};
        return true;
    };
    Fetcher f;
    f.Pop(s.server.Port(), 1);
    EXPECT_EQ(Subjects(f.dir), (std::vector<std::string>{"m1"}));
    EXPECT_TRUE(log.Has("The check took longer than"));
    EXPECT_EQ(s.server.Count("PASS"), 1);
    EXPECT_EQ(f.History(), "uid1\n");
}

// What the progress window is told: the total is what this fetch retrieves,
// not the whole mailbox, and the last step reaches it.
class ProgressRecorder : public qirProgress {
public:
    ProgressRecorder() : saved_(qirProgressReporter) { qirProgressReporter = this; }
    ~ProgressRecorder() override { qirProgressReporter = saved_; }
    void Begin(uint32_t total, uint32_t current, int percent, qirList* lines) override
    {
        qirProgress::Begin(total, current, percent, lines);
        totals.push_back(total);
    }
    void Set(uint32_t current) override { last = current; }
    void End() override {}
    std::vector<uint32_t> totals;
    uint32_t last = 0;

private:
    qirProgress* saved_;
};

TEST(FolderFetch, ProgressCountsOnlyWhatIsFetched)
{
    std::vector<std::string> messages;
    for (int i = 1; i <= 6; ++i) messages.push_back(Message(i, std::string(i * 1000, 'x') + "\n"));
    Scripted s(messages);
    Fetcher f;
    ASSERT_EQ(f.Pop(s.server.Port(), 1), 0);
    s.box.messages.push_back(Message(7, "new\n"));
    s.box.messages.push_back(Message(8, "newer\n"));
    ProgressRecorder pop;
    ASSERT_EQ(f.Pop(s.server.Port(), 1), 0);
    const uint32_t listed = qirFakeMailbox::Listed(Message(7, "new\n")).size() + qirFakeMailbox::Listed(Message(8, "newer\n")).size();
    EXPECT_EQ(pop.totals, std::vector<uint32_t>{listed});
    EXPECT_EQ(pop.last, listed);

    std::string spool;
    for (const std::string& m : messages) spool += "From x@example.org Mon Jan  1 00:00:00 2024\n" + m + "\n";
    struct SpoolFetch2 : Fetcher {
    } g;
    std::string path = g.scratch.File("spool");
    ASSERT_EQ(qirScratchDir::WriteFile(path, spool), 0);
    auto box = [&](int keep) {
        qirHistory history(g.historyPath.c_str(), 1000);
        history.Load();
        qirFolder folder{qirPath(g.dir.c_str())};
        int r = folder.FetchMailbox(qirPath(path.c_str()), &history, keep);
        history.PurgeUnmarked();
        history.Save();
        return r;
    };
    ASSERT_EQ(box(1), 0);
    const std::string late = "From y@example.org Mon Jan  1 00:00:00 2024\n" + Message(9, "late\n");
    ASSERT_EQ(qirScratchDir::WriteFile(path, spool + late), 0);
    ProgressRecorder mailbox;
    ASSERT_EQ(box(1), 0);
    EXPECT_EQ(mailbox.totals, std::vector<uint32_t>{(uint32_t)Message(9, "late\n").size()});
    EXPECT_EQ(mailbox.last, mailbox.totals[0]);
    EXPECT_EQ(Subjects(g.dir).size(), 7u);
}

// A loaded folder gets one object per stored message through NewMessage.
class CountingFolder : public qirFolder {
public:
    using qirFolder::qirFolder;
    qirMsg* NewMessage(const qirPath* path) override
    {
        ++made;
        return qirFolder::NewMessage(path);
    }
    int made = 0;
};

TEST(FolderFetchPOP3, LoadedFolderShowsNewMessages)
{
    Scripted s({Message(1), Message(2)});
    Fetcher f;
    CountingFolder folder{qirPath(f.dir.c_str())};
    ASSERT_EQ(folder.Load(), 0);
    ASSERT_EQ(folder.FetchPOP3("127.0.0.1", s.server.Port(), "user", "secret", nullptr, 0), 0);
    EXPECT_EQ(folder.made, 2);
    EXPECT_EQ(folder.Count(), 2);
    std::vector<std::string> subjects;
    for (qirMsg* m = folder.First(); m; m = folder.Next(m)) subjects.push_back(m->Subject()->Text());
    std::sort(subjects.begin(), subjects.end());
    EXPECT_EQ(subjects, (std::vector<std::string>{"m1", "m2"}));
}

// ---------------------------------------------------------------- mailbox

struct SpoolFetch : Fetcher {
    std::string spool = scratch.File("spool");
    int Box(int keep)
    {
        qirHistory history(historyPath.c_str(), 1000);
        history.Load();
        qirFolder folder{qirPath(dir.c_str())};
        int r = folder.FetchMailbox(qirPath(spool.c_str()), &history, keep);
        if (r == 0) {
            history.PurgeUnmarked();
            history.Save();
        }
        return r;
    }
};

const char spoolText[] =
    "From a@example.org Mon Jan  1 00:00:00 2024\n"
    "Subject: one\nMessage-Id: <one@x>\n\nfirst\n\nfrom here on lower case stays inside\n\n"
    "From b@example.org Mon Jan  1 00:00:01 2024\n"
    "Subject: two\n\nno identifier\n>From escaped\n\n"
    "From c@example.org Mon Jan  1 00:00:02 2024\n"
    "Subject: three\nMessage-Id: <three@x>\n\nlast\n";

TEST(FolderFetchMailbox, KeepOnTwiceFetchesEachOnce)
{
    SpoolFetch f;
    ASSERT_EQ(qirScratchDir::WriteFile(f.spool, spoolText), 0);
    ASSERT_EQ(f.Box(1), 0);
    ASSERT_EQ(f.Box(1), 0);
    auto stored = Stored(f.dir);
    EXPECT_EQ(Subjects(f.dir), (std::vector<std::string>{"one", "three", "two"}));
    EXPECT_EQ(stored.find("one")->second, "first\n\nfrom here on lower case stays inside\n");
    EXPECT_EQ(stored.find("two")->second, "no identifier\n>From escaped\n");
    EXPECT_EQ(qirScratchDir::ReadFile(f.spool), spoolText);
}

TEST(FolderFetchMailbox, KeepOffEmptiesTheSpoolAndKeepsLaterMail)
{
    SpoolFetch f;
    ASSERT_EQ(qirScratchDir::WriteFile(f.spool, spoolText), 0);
    ASSERT_EQ(f.Box(0), 0);
    EXPECT_EQ(Subjects(f.dir), (std::vector<std::string>{"one", "three", "two"}));
    EXPECT_EQ(qirScratchDir::ReadFile(f.spool), "");
    const std::string more = "From d@example.org Mon Jan  1 00:00:03 2024\nSubject: four\n\nx\n";
    ASSERT_EQ(qirScratchDir::WriteFile(f.spool, more), 0);
    ASSERT_EQ(f.Box(0), 0);
    EXPECT_EQ(Subjects(f.dir), (std::vector<std::string>{"four", "one", "three", "two"}));
}

TEST(FolderFetchMailbox, MissingLockedAndDirectorySpools)
{
    SpoolFetch f;
    EXPECT_EQ(f.Box(0), 0); // no spool in an existing directory: empty
    EXPECT_EQ(Subjects(f.dir).size(), 0u);
    ASSERT_EQ(qirScratchDir::WriteFile(f.spool, spoolText), 0);
    int fd = open(f.spool.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    EXPECT_EQ(f.Box(0), qirAlreadyOpen);
    close(fd);
    EXPECT_EQ(qirScratchDir::ReadFile(f.spool), spoolText);
    f.spool = f.scratch.Path();
    EXPECT_EQ(f.Box(0), qirBadValue);
    f.spool = f.scratch.File("no/such/dir/spool");
    EXPECT_EQ(f.Box(0), qirNotOpen);
}

// Letters that share a Message-Id (resent letters, broken mailers) are
// each stored; one fetched before and still in the spool because the
// rewrite never happened is removed without being stored again, and only
// when its text is the one stored.
TEST(FolderFetchMailbox, SharedMessageIdsLoseNoLetter)
{
    const std::string a = "From a@example.org Mon Jan  1 00:00:00 2024\nSubject: first\nMessage-Id: <same@x>\n\none\n\n";
    const std::string b = "From b@example.org Mon Jan  1 00:00:01 2024\nSubject: second\nMessage-Id: <same@x>\n\ntwo\n\n";
    const std::string c = "From c@example.org Mon Jan  1 00:00:02 2024\nSubject: third\nMessage-Id: <other@x>\n\nthree\n";
    SpoolFetch f;
    ASSERT_EQ(qirScratchDir::WriteFile(f.spool, a + b + c), 0);
    ASSERT_EQ(f.Box(0), 0);
    EXPECT_EQ(Subjects(f.dir), (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ(qirScratchDir::ReadFile(f.spool), "");

    // The same three come again, as after a fetch killed before its rewrite
    // (the history names them), beside a fourth letter reusing the id.
    SpoolFetch g;
    ASSERT_EQ(qirScratchDir::WriteFile(g.spool, a + b + c), 0);
    ASSERT_EQ(g.Box(1), 0);
    const std::string d = "From d@example.org Mon Jan  1 00:00:03 2024\nSubject: fourth\nMessage-Id: <same@x>\n\nfour\n";
    ASSERT_EQ(qirScratchDir::WriteFile(g.spool, a + b + c + "\n" + d), 0);
    ASSERT_EQ(g.Box(0), 0);
    EXPECT_EQ(Subjects(g.dir), (std::vector<std::string>{"first", "fourth", "second", "third"}));
    EXPECT_EQ(qirScratchDir::ReadFile(g.spool), "");
}

// A fetch killed while it rewrites the spool, then a restart and a fetch:
// every letter is stored whole, exactly once, and the spool is emptied.
int stopAt = -1;
std::string lateSpool, lateText;

void StopAtStep(int step)
{
    if (step == 0) {
        // Letters delivered after the walk: the rewrite moves them to the front.
        FILE* f = fopen(lateSpool.c_str(), "a");
        if (!f || fputs(lateText.c_str(), f) < 0 || fclose(f) != 0) _exit(3);
    }
    if (step == stopAt) _exit(77);
}

TEST(FolderFetchMailbox, KilledRewriteLeavesEveryLetterWholeOnce)
{
    auto letter = [](int n, size_t bodySize) {
        std::string body;
        while (body.size() < bodySize) body += "line " + std::to_string(body.size()) + " of letter " + std::to_string(n) + "\n";
        return std::make_pair("From s" + std::to_string(n) + "@example.org Mon Jan  1 00:00:0" + std::to_string(n) +
                                  " 2024\nSubject: m" + std::to_string(n) + "\nMessage-Id: <m" + std::to_string(n) +
                                  "@x>\n\n" + body + "\n",
                              body);
    };
    std::string spool, late;
    std::map<std::string, std::string> expected;
    for (int n = 1; n <= 8; ++n) {
        auto l = letter(n, n == 2 ? 37246 : n > 6 ? 100000 : 2466);
        (n > 6 ? late : spool) += l.first;
        expected["m" + std::to_string(n)] = l.second;
    }
    int finished = 0;
    for (int k = 1; !finished && k < 100; ++k) {
        SCOPED_TRACE("stopped at step " + std::to_string(k));
        SpoolFetch f;
        ASSERT_EQ(qirScratchDir::WriteFile(f.spool, spool), 0);
        pid_t child = fork();
        if (child == 0) {
            stopAt = k;
            lateSpool = f.spool;
            lateText = late;
            qirMailBox::SetStepHook(StopAtStep);
            _exit(f.Box(0) == 0 ? 0 : 2);
        }
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_TRUE(WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 77) << WEXITSTATUS(status);
        finished = WEXITSTATUS(status) == 0;
        ASSERT_EQ(f.Box(0), 0);
        auto stored = Stored(f.dir);
        EXPECT_EQ(stored.size(), expected.size());
        for (auto& e : expected) {
            EXPECT_EQ(stored.count(e.first), 1u) << e.first;
            auto it = stored.find(e.first);
            if (it != stored.end()) {
                EXPECT_TRUE(it->second == e.second) << e.first << ": " << it->second.size() << " bytes";
            }
        }
        EXPECT_EQ(qirScratchDir::ReadFile(f.spool), "");
    }
    EXPECT_TRUE(finished);
}

// Fields that do not read never stop a fetch nor open a box: each message
// that has some is named in the log by where it is stored, with what was
// wrong, and counted; valid MIME fields of a part draw no report at all.
TEST(FolderFetchMailbox, ContentReportsNameTheStoredMessages)
{
    struct RecordingLog : qirError {
        void Write(int level, const char* text) override
        {
            if (level <= qirLogError && !writingContent_) boxed.push_back(text);
            if (writingContent_) held.push_back(text);
        }
        std::vector<std::string> boxed, held;
    } log;
    SpoolFetch f;
    std::string spool;
    std::vector<std::string> texts = qirMalformedMessages();
    for (int i = 1; i <= 4; ++i) texts.insert(texts.begin() + i - 1, qirEveryPartMimeMessage(i));
    for (const std::string& t : texts) spool += "From x@example.org Mon Jan  1 00:00:00 2024\n" + t + "\n";
    ASSERT_EQ(qirScratchDir::WriteFile(f.spool, spool), 0);
    qirLog = &log;
    log.BeginReceived();
    int r = f.Box(1);
    int messages = log.EndReceived();
    qirLog = nullptr;
    ASSERT_EQ(r, 0);
    EXPECT_EQ(messages, 3);
    EXPECT_EQ(log.boxed, std::vector<std::string>{});
    // Each heading names a stored message, and it is a malformed one.
    std::vector<std::string> named;
    for (const std::string& line : log.held) {
        size_t at = line.find("stored as ");
        if (at == std::string::npos) continue;
        std::string path = line.substr(at + 10, line.find(' ', at + 10) - at - 10);
        named.push_back(qirMsg(qirPath(path.c_str())).Subject()->Text());
    }
    EXPECT_EQ(named, (std::vector<std::string>{"malformed 1", "malformed 2", "malformed 3"}));
    EXPECT_EQ(log.held.size(), 6u) << log.held.back();
    EXPECT_EQ(Stored(f.dir).size(), 7u);
}

} // namespace
