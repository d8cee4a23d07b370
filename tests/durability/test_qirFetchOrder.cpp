// The order of the calls that decide what a power cut leaves: a fetched
// message's files reach the disk before its directory enters the folder,
// the folder's entries before the history names them, and the history
// before anything is deleted at the source.  The calls are recorded as the
// program makes them (qirSyscallLog), with the syncs made one by one.
#include <gtest/gtest.h>

#include <dirent.h>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "qirAtomicFile.h"
#include "qirConfiguration.h"
#include "qirFakePOP3.h"
#include "qirFolder.h"
#include "qirHistory.h"
#include "qirScratchDir.h"
#include "qirSyncBatch.h"
#include "qirSyscallLog.h"

namespace {

struct Call {
    std::string what, path, to;
};

std::vector<Call> Calls(const char* text)
{
    std::vector<Call> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        Call c;
        std::istringstream words(line);
        words >> c.what >> c.path >> c.to;
        if (c.what == "send") c.path += " " + c.to, c.to.clear();
        out.push_back(c);
    }
    return out;
}

// Every file and directory below dir, as paths relative to it ("" itself).
void Tree(const std::string& dir, const std::string& rel, std::vector<std::string>* out)
{
    out->push_back(rel);
    DIR* d = opendir((dir + rel).c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        std::string p = dir + rel + "/" + name;
        if (lstat(p.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) Tree(dir, rel + "/" + name, out);
        else out->push_back(rel + "/" + name);
    }
    closedir(d);
}

int Find(const std::vector<Call>& calls, size_t from, const std::function<bool(const Call&)>& f)
{
    for (size_t i = from; i < calls.size(); ++i)
        if (f(calls[i])) return (int)i;
    return -1;
}

// Checks the order for every message that entered the folder; the index of
// the last sync of the history's lines.
int CheckPublished(const std::vector<Call>& calls, const std::string& folder, const std::string& history,
                   size_t expected)
{
    size_t published = 0;
    int lastHistory = -1;
    for (size_t r = 0; r < calls.size(); ++r) {
        const Call& c = calls[r];
        if (c.what != "rename" || c.to.compare(0, folder.size() + 8, folder + "/Message") != 0) continue;
        ++published;
        // Each file and directory of the message synced under its staging
        // name before the rename.
        std::vector<std::string> tree;
        Tree(c.to, "", &tree);
        EXPECT_GE(tree.size(), 3u) << c.to;
        for (const std::string& rel : tree) {
            int synced = Find(calls, 0, [&](const Call& s) { return s.what == "fsync" && s.path == c.path + rel; });
            EXPECT_TRUE(synced >= 0 && synced < (int)r) << c.path + rel << " before its rename into " << c.to;
        }
        // The folder synced after it, before the history names it.
        int named = Find(calls, r, [&](const Call& s) { return s.what == "fdatasync" && s.path == history; });
        int dirSynced = Find(calls, r, [&](const Call& s) { return s.what == "fsync" && s.path == folder; });
        EXPECT_GE(named, 0) << c.to << " is never named in the history";
        EXPECT_TRUE(dirSynced > (int)r && dirSynced < named) << c.to;
        lastHistory = std::max(lastHistory, named);
    }
    EXPECT_EQ(published, expected);
    return lastHistory;
}

// A replaced history: its new text synced before the rename, the
// directory after it; the index of that directory sync.
int CheckReplaced(const std::vector<Call>& calls, const std::string& path)
{
    int renamed = -1;
    for (size_t i = 0; i < calls.size(); ++i)
        if (calls[i].what == "rename" && calls[i].to == path) renamed = (int)i;
    EXPECT_GE(renamed, 0) << path << " never replaced";
    if (renamed < 0) return -1;
    const std::string temp = calls[renamed].path;
    int synced = Find(calls, 0, [&](const Call& s) { return s.what == "fsync" && s.path == temp; });
    EXPECT_TRUE(synced >= 0 && synced < renamed) << temp;
    const std::string dir = path.substr(0, path.rfind('/'));
    int dirSynced = Find(calls, renamed, [&](const Call& s) { return s.what == "fsync" && s.path == dir; });
    EXPECT_GT(dirSynced, renamed) << dir;
    return dirSynced;
}

struct Order : ::testing::Test {
    void SetUp() override
    {
        if (!qirSyncBatch::Needed(scratch.Path().c_str()))
            GTEST_SKIP() << "scratch space in memory: nothing there is ever synced";
        qirSyncBatch::SetConcurrent(0);
        qirFolder::fetchPace.roundMessages = 2;
    }
    void TearDown() override
    {
        qirSyncBatch::SetConcurrent(1);
        qirFolder::fetchPace = qirFolder::FetchPace();
    }
    qirScratchDir scratch;
    std::string folder = scratch.File("Incoming.QIR");
    std::string history = scratch.File("pop_history:x");
};

std::string Message(int n)
{
    return "From: s@example.org\nSubject: m" + std::to_string(n) + "\nMessage-Id: <m" + std::to_string(n) +
           "@x>\n\nbody " + std::to_string(n) + "\n";
}

TEST_F(Order, POP3DeletesOnlyWhatIsOnTheDisk)
{
    qirScriptedPOP3 s({Message(1), Message(2), Message(3), Message(4), Message(5)});
    qirHistory h(history.c_str(), 100);
    h.Load();
    qirFolder f{qirPath(folder.c_str())};
    qirSyscallLogStart();
    ASSERT_EQ(f.FetchPOP3("127.0.0.1", s.server.Port(), "user", "secret", &h, 0), 0);
    std::vector<Call> calls = Calls(qirSyscallLogStop());
    int named = CheckPublished(calls, folder, history, 5);
    int replaced = CheckReplaced(calls, history);
    int firstDele = Find(calls, 0, [](const Call& c) { return c.what == "send"; });
    ASSERT_GE(firstDele, 0);
    EXPECT_GT(firstDele, named);
    EXPECT_EQ(s.server.Count("DELE"), 5);
    (void)replaced;
}

TEST_F(Order, MailboxIsRewrittenAfterTheHistory)
{
    std::string spool = scratch.File("spool");
    std::string text;
    for (int i = 1; i <= 5; ++i) text += "From s@example.org Mon Jan  1 00:00:00 2024\n" + Message(i) + "\n";
    ASSERT_EQ(qirScratchDir::WriteFile(spool, text), 0);
    qirHistory h(history.c_str(), 100);
    h.Load();
    qirFolder f{qirPath(folder.c_str())};
    qirSyscallLogStart();
    ASSERT_EQ(f.FetchMailbox(qirPath(spool.c_str()), &h, 0), 0);
    std::vector<Call> calls = Calls(qirSyscallLogStop());
    int named = CheckPublished(calls, folder, history, 5);
    int replaced = CheckReplaced(calls, history);
    int rewrite = Find(calls, 0, [&](const Call& c) { return (c.what == "pwrite" || c.what == "ftruncate") && c.path == spool; });
    ASSERT_GE(rewrite, 0);
    EXPECT_GT(rewrite, named);
    EXPECT_GT(rewrite, replaced);
    EXPECT_EQ(qirScratchDir::ReadFile(spool), "");
}

// Every file replaced through the helper: synced, renamed, its directory synced.
TEST_F(Order, ReplacedFilesAreSyncedAroundTheirRename)
{
    std::string path = scratch.File("book");
    for (int round = 0; round < 2; ++round) {
        qirSyscallLogStart();
        qirAtomicFile file(path.c_str());
        ASSERT_EQ(file.Open(), 0);
        fputs("text\n", file.Stream());
        ASSERT_EQ(file.Commit(), 0);
        CheckReplaced(Calls(qirSyscallLogStop()), path);
    }
}

// Many files replaced together (a folder's changed flags): every new text
// synced before the first rename, each directory synced after its rename;
// until then the old files stay, and a file read meanwhile is read whole.
TEST_F(Order, FilesReplacedTogetherAreSyncedBeforeAnyRename)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 3; ++i) {
        std::string dir = scratch.File(("Message" + std::to_string(i)).c_str());
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
        paths.push_back(dir + "/Body.PARSED");
        ASSERT_EQ(qirScratchDir::WriteFile(paths.back(), "isRead 0\n"), 0);
    }
    qirSyscallLogStart();
    {
        qirSyncBatch::Replacing together;
        for (const std::string& p : paths) {
            qirConfiguration tree;
            tree.Set("isRead", "1");
            ASSERT_EQ(tree.UpdateFile(p.c_str()), 0);
        }
        EXPECT_EQ(qirScratchDir::ReadFile(paths[2]), "isRead 0\n");
        // Read while its replacement waits: it is finished first.
        qirConfiguration again;
        again.Set("isRemoved", "0");
        ASSERT_EQ(again.UpdateFile(paths[0].c_str()), 0);
        ASSERT_EQ(together.Finish(), 0);
    }
    std::vector<Call> calls = Calls(qirSyscallLogStop());
    int firstRename = Find(calls, 0, [](const Call& c) { return c.what == "rename"; });
    for (const std::string& p : paths) {
        CheckReplaced(calls, p);
        EXPECT_NE(qirScratchDir::ReadFile(p).find("isRead 1"), std::string::npos) << p;
    }
    for (size_t i = 0; i < (size_t)firstRename; ++i) EXPECT_NE(calls[i].what, "rename");
    EXPECT_NE(qirScratchDir::ReadFile(paths[0]).find("isRemoved 0"), std::string::npos);
}

} // namespace
