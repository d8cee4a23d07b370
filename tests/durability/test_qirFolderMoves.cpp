// Moving messages between folders, removing them and loading folders that
// crashes and kills have left behind: a message is in exactly one folder
// after a move, whole or gone after a removal, and a directory that does
// not load is kept where it is, reported once.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "qirError.h"
#include "qirFolder.h"
#include "qirMailTestText.h"
#include "qirMsg.h"
#include "qirScratchDir.h"
#include "qirSyscallLog.h"
#include "qirUtilities.h"

namespace {

void MakeMessage(const std::string& path, const std::string& subject)
{
    ASSERT_EQ(ImportSubject(path, subject), 0) << path;
}

// A folder directory of messages named by their subjects, Message0 up.
void MakeFolder(const std::string& dir, const std::vector<std::string>& subjects)
{
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0) << dir;
    for (size_t i = 0; i < subjects.size(); ++i) MakeMessage(dir + "/Message" + std::to_string(i), subjects[i]);
}

void RemoveTree(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) qirRemoveDirectory(path.c_str(), 0);
}

std::vector<std::string> Names(const std::string& dir)
{
    std::vector<std::string> out;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) out.push_back(e->d_name);
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// What a restart finds in a folder directory: the subjects of the
// messages that load whole, in folder order, those marked deleted apart,
// and how many message directories do not load.
struct Found {
    std::vector<std::string> kept, deleted;
    int broken = 0;
};

Found Restart(const std::string& dir)
{
    Found f;
    qirFolder folder{qirPath(dir.c_str())};
    folder.Load();
    for (qirMsg* m = folder.First(); m; m = folder.Next(m)) {
        if (m->Complete() != 0) {
            ++f.broken;
            continue;
        }
        (m->IsRemoved() ? f.deleted : f.kept).push_back(m->Subject()->Text());
    }
    int onDisk = 0;
    for (const std::string& n : Names(dir))
        if (qirFolder::IsMessageName(n.c_str())) ++onDisk;
    f.broken += onDisk - folder.Count();
    return f;
}

// Runs work in a child process killed just before its k-th change to the
// file tree, for k = 1, 2, ... until the work ends on its own; after each
// kill, check looks at what was left.  setup makes the tree afresh.
template <class Setup, class Work, class Check>
void KillAtEveryChange(Setup setup, Work work, Check check)
{
    for (long k = 1;; ++k) {
        setup();
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            qirSyscallKillAt(k);
            work();
            qirSyscallKillAt(0);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        if (WIFEXITED(status)) {
            ASSERT_EQ(WEXITSTATUS(status), 0);
            ASSERT_GT(k, 1) << "the work changed nothing";
            check(k, false);
            return;
        }
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "k " << k;
        check(k, true);
        if (::testing::Test::HasFatalFailure()) return;
        ASSERT_LT(k, 2000) << "no end";
    }
}

// The log of a test, read back.
class LogFile {
public:
    explicit LogFile(const std::string& path) : path_(path)
    {
        log_.Open(path.c_str(), qirLogDebug, 0);
        qirLog = &log_;
    }
    ~LogFile() { Stop(); }
    std::string Text()
    {
        Stop();
        return qirScratchDir::ReadFile(path_);
    }

private:
    void Stop()
    {
        if (qirLog == &log_) qirLog = nullptr;
        if (log_.IsOpen()) log_.Close();
    }
    std::string path_;
    qirError log_;
};

int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::vector<std::string> Subjects(int n, const char* stem)
{
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(stem + std::to_string(i));
    return out;
}

} // namespace

// A move renames each directory into the target's next free number (the
// very directory arrives: same inode), takes changed read marks along but
// not a deletion mark, and releases the moved messages from the source;
// the source's gap closes at its flush.  A message whose directory is gone
// stays, and the failure is told once.
TEST(FolderMove, RenamesIntoTheNextFreeNumberAndReleasesTheSource)
{
    qirScratchDir scratch;
    const std::string src = scratch.File("Work.QIR"), dst = scratch.File("Archive.QIR");
    MakeFolder(src, Subjects(6, "w"));
    MakeFolder(dst, {"a0"});
    ASSERT_EQ(mkdir((dst + "/Message1").c_str(), 0700), 0); // a broken one holds 1
    LogFile log(scratch.File("log"));
    qirFolder source{qirPath(src.c_str())}, target{qirPath(dst.c_str())};
    ASSERT_EQ(source.Load(), 0);
    ASSERT_EQ(target.Load(), 0);
    std::vector<qirMsg*> all;
    for (qirMsg* m = source.First(); m; m = source.Next(m)) all.push_back(m);
    struct stat before;
    ASSERT_EQ(stat((src + "/Message2").c_str(), &before), 0);
    all[2]->SetRead(1);
    all[3]->SetRemoved(1);
    ASSERT_EQ(rename((src + "/Message4").c_str(), scratch.File("away").c_str()), 0);

    std::vector<qirMsg*> chosen = {all[1], all[2], all[3], all[4]};
    std::vector<int> moved(4, -1);
    EXPECT_EQ(target.MoveIn(&source, chosen.data(), 4, moved.data()), 3);
    EXPECT_EQ(moved, (std::vector<int>{1, 1, 1, 0}));
    EXPECT_EQ(source.Count(), 3);
    std::vector<std::string> left;
    for (qirMsg* m = source.First(); m; m = source.Next(m)) left.push_back(m->Subject()->Text());
    EXPECT_EQ(left, (std::vector<std::string>{"w0", "w4", "w5"}));
    struct stat after;
    ASSERT_EQ(stat((dst + "/Message3").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(target.Count(), 4);
    ASSERT_EQ(rename(scratch.File("away").c_str(), (src + "/Message4").c_str()), 0);
    ASSERT_EQ(source.Flush(), 0);
    std::string text = log.Text();
    EXPECT_EQ(Count(text, "Error moving <" + src + "/Message4> into <" + dst + ">"), 1) << text;
    EXPECT_NE(text.find("1 of 4 messages not moved"), std::string::npos) << text;

    Found work = Restart(src), archive = Restart(dst);
    EXPECT_EQ(work.kept, (std::vector<std::string>{"w0", "w4", "w5"}));
    EXPECT_EQ(archive.kept, (std::vector<std::string>{"a0", "w1", "w2", "w3"}));
    EXPECT_EQ(archive.broken, 1);
    EXPECT_TRUE(work.deleted.empty() && archive.deleted.empty());
    qirFolder reread{qirPath(dst.c_str())};
    ASSERT_EQ(reread.Load(), 0);
    for (qirMsg* m = reread.First(); m; m = reread.Next(m))
        EXPECT_EQ(m->IsRead(), std::string(m->Subject()->Text()) == "w2") << m->Subject()->Text();
}

// Killed at any change to the file tree, a move leaves each message in
// exactly one of the two folders, undeleted.  Across file systems the
// original leaves only after its copy is on disk: a kill before the
// originals' marks are saved may leave a message in both, none in neither.
TEST(FolderMove, AKillAnywhereLeavesEachMessageInExactlyOneFolder)
{
    qirScratchDir scratch, shm;
    std::string shmRoot = "/dev/shm";
    struct stat a, b;
    int otherFs = stat(shmRoot.c_str(), &b) == 0 && stat(scratch.Path().c_str(), &a) == 0 && a.st_dev != b.st_dev;
    const std::vector<std::string> work = Subjects(5, "w"), archive = {"a0"};
    std::vector<std::string> everything = work;
    everything.insert(everything.end(), archive.begin(), archive.end());
    std::sort(everything.begin(), everything.end());
    for (int across = 0; across <= otherFs; ++across) {
        SCOPED_TRACE(across ? "across file systems" : "one file system");
        std::string base = across ? shmRoot + "/qir-move-" + std::to_string(getpid()) : scratch.File("src");
        const std::string src = base + "/Work.QIR", dst = scratch.File("Archive.QIR");
        auto setup = [&] {
            RemoveTree(base);
            RemoveTree(dst);
            ASSERT_EQ(mkdir(base.c_str(), 0700), 0);
            MakeFolder(src, work);
            MakeFolder(dst, archive);
        };
        auto move = [&] {
            qirFolder source{qirPath(src.c_str())}, target{qirPath(dst.c_str())};
            source.Load();
            std::vector<qirMsg*> chosen;
            for (qirMsg* m = source.Next(source.First()); m; m = source.Next(m)) chosen.push_back(m);
            chosen[0]->SetRead(1);
            target.MoveIn(&source, chosen.data(), (int)chosen.size());
            source.Flush();
        };
        auto check = [&](long k, bool killed) {
            Found s = Restart(src), t = Restart(dst);
            std::vector<std::string> both = s.kept;
            both.insert(both.end(), t.kept.begin(), t.kept.end());
            std::sort(both.begin(), both.end());
            if (across && killed) {
                // Until the originals' marks are saved (once for the
                // batch), a copy may be in both: a duplicate, never a loss.
                both.erase(std::unique(both.begin(), both.end()), both.end());
            }
            EXPECT_EQ(both, everything) << "killed at change " << k;
            EXPECT_EQ(s.broken + t.broken, 0) << "killed at change " << k;
            if (!killed) {
                EXPECT_EQ(s.kept, (std::vector<std::string>{"w0"}));
            }
        };
        KillAtEveryChange(setup, move, check);
        RemoveTree(base);
    }
}

// Killed at any change while a flush removes the messages marked deleted,
// each of them is whole or gone, every other message is whole, and the
// next load clears away what the removal left.
TEST(FolderRemove, AKillAnywhereLeavesEachMessageWholeOrGone)
{
    qirScratchDir scratch;
    const std::string dir = scratch.File("Work.QIR");
    const std::vector<std::string> subjects = Subjects(6, "w");
    auto setup = [&] {
        RemoveTree(dir);
        MakeFolder(dir, subjects);
    };
    auto flush = [&] {
        qirFolder folder{qirPath(dir.c_str())};
        folder.Load();
        int i = 0;
        for (qirMsg* m = folder.First(); m; m = folder.Next(m), ++i)
            if (i % 2 == 0) m->SetRemoved(1);
        folder.Flush();
    };
    auto check = [&](long k, bool killed) {
        Found f = Restart(dir);
        EXPECT_EQ(f.broken, 0) << "killed at change " << k;
        EXPECT_TRUE(f.deleted.empty()) << "killed at change " << k;
        for (const char* s : {"w1", "w3", "w5"})
            EXPECT_EQ(std::count(f.kept.begin(), f.kept.end(), s), 1) << s << ", killed at change " << k;
        if (!killed) {
            EXPECT_EQ(f.kept, (std::vector<std::string>{"w1", "w3", "w5"}));
        }
        for (const std::string& n : Names(dir)) EXPECT_NE(n[0], '.') << n << " left, killed at change " << k;
    };
    KillAtEveryChange(setup, flush, check);
}

// Killed at any change while closing gaps where two names give one number
// (the second one's place is still held), the next renumbering puts every
// message where it was in the order: none goes to the end.
TEST(FolderRenumber, AKillAnywhereKeepsTheOrder)
{
    qirScratchDir scratch;
    const std::string dir = scratch.File("Work.QIR");
    auto setup = [&] {
        RemoveTree(dir);
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
        MakeMessage(dir + "/Message0", "first");
        MakeMessage(dir + "/Message00", "second");
        MakeMessage(dir + "/Message1", "third");
        MakeMessage(dir + "/Message5", "fourth");
    };
    auto renumber = [&] { qirFolder folder{qirPath(dir.c_str())}; };
    auto check = [&](long k, bool) {
        EXPECT_EQ(Restart(dir).kept, (std::vector<std::string>{"first", "second", "third", "fourth"}))
            << "killed at change " << k;
    };
    KillAtEveryChange(setup, renumber, check);
}

// Directories a crash left without their files, or with empty ones, are
// no messages: one report names how many and where, they stay on disk as
// they were, in their places through flushes, and nothing new is stored
// over them.
TEST(FolderLoad, BrokenDirectoriesAreReportedOnceAndKeptInPlace)
{
    qirScratchDir scratch;
    const std::string dir = scratch.File("Work.QIR");
    MakeFolder(dir, Subjects(4, "w"));
    const int broken = 81;
    for (int i = 4; i < 4 + broken; ++i) {
        std::string d = dir + "/Message" + std::to_string(i);
        ASSERT_EQ(mkdir(d.c_str(), 0700), 0);
        if (i % 3 == 1) {
            ASSERT_EQ(qirScratchDir::WriteFile(d + "/Header.822", ""), 0);
            ASSERT_EQ(qirScratchDir::WriteFile(d + "/Body.PARSED", ""), 0);
        } else if (i % 3 == 2) {
            ASSERT_EQ(qirScratchDir::WriteFile(d + "/Body.PARSED", "isRead 0\n"), 0);
        }
    }
    MakeMessage(dir + "/Message" + std::to_string(4 + broken), "w4");
    LogFile log(scratch.File("log"));
    qirFolder folder{qirPath(dir.c_str())};
    ASSERT_EQ(folder.Load(), 0);
    EXPECT_EQ(folder.Count(), 5);
    std::vector<qirMsg*> all;
    for (qirMsg* m = folder.First(); m; m = folder.Next(m)) all.push_back(m);
    ASSERT_EQ(all.size(), 5u);
    all[1]->SetRemoved(1);
    ASSERT_EQ(folder.Flush(), 0);
    qirDirectory* next = folder.NextMessagePath();
    EXPECT_EQ(std::string(next->Text()), dir + "/Message" + std::to_string(4 + broken));
    delete next;
    folder.Unload();
    std::string text = log.Text();
    EXPECT_EQ(Count(text, "\nE "), 1) << text;
    EXPECT_NE(text.find(std::to_string(broken) + " message directories in <" + dir + ">"), std::string::npos) << text;
    EXPECT_EQ(Count(text, "Error loading"), 0) << text;

    // The removal closed its gap below them; they kept their contents.
    Found f = Restart(dir);
    EXPECT_EQ(f.kept, (std::vector<std::string>{"w0", "w2", "w3", "w4"}));
    EXPECT_EQ(f.broken, broken);
    EXPECT_EQ(qirScratchDir::ReadFile(dir + "/Message3/Body.PARSED"), "");
    EXPECT_EQ(qirScratchDir::ReadFile(dir + "/Message4/Body.PARSED"), "isRead 0\n");
}

// Staging and removal leftovers of dead processes go at every load (of any
// folder, not only a fetch's); a live process's stay.
TEST(FolderLoad, LeftoversOfDeadProcessesAreClearedAtEveryLoad)
{
    qirScratchDir scratch;
    const std::string dir = scratch.File("Work.QIR");
    MakeFolder(dir, {"w0"});
    pid_t dead = fork();
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    const std::string d = std::to_string(dead), live = std::to_string(getppid());
    for (const std::string& name : {".QIRnew." + d + ".abc", ".QIRgone." + d + ".3", ".QIRnew." + live + ".x"}) {
        ASSERT_EQ(mkdir((dir + "/" + name).c_str(), 0700), 0);
        MakeMessage(dir + "/" + name + "/m0", "half");
    }
    qirFolder folder{qirPath(dir.c_str())};
    ASSERT_EQ(folder.Load(), 0);
    EXPECT_EQ(folder.Count(), 1);
    EXPECT_EQ(Names(dir), (std::vector<std::string>{".QIRnew." + live + ".x", "Message0"}));
}
