// Folders on disk: renumbering fixtures with gaps, odd names and entries
// that are not message directories; flush, copy in, the folder list.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "qirFolder.h"
#include "qirFolderList.h"
#include "qirMailTestText.h"
#include "qirScratchDir.h"
#include "qirStatus.h"

namespace {

// A message directory holding one marker file, to follow it through moves.
void MakeDir(const std::string& path, const std::string& marker)
{
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0) << path;
    ASSERT_EQ(qirScratchDir::WriteFile(path + "/marker", marker), 0);
}

std::vector<std::string> Sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

// A real message directory made by import and save.
void MakeMessage(const std::string& path, const std::string& subject)
{
    ASSERT_EQ(ImportSubject(path, subject), 0) << path;
}

// A real message that also holds a marker file.
void MakeMarked(const std::string& path, const std::string& marker)
{
    MakeMessage(path, marker);
    ASSERT_EQ(qirScratchDir::WriteFile(path + "/marker", marker), 0);
}

std::string SubjectOf(const std::string& dir)
{
    qirMsg m{qirPath(dir.c_str())};
    return m.Subject() && m.Subject()->Text() ? m.Subject()->Text() : "";
}

struct RenumberCase {
    const char* what;
    std::vector<std::string> dirs;     // made with their own name as marker
    std::vector<std::string> expected; // marker of Message0, Message1, ...
};

class FolderRenumber : public testing::TestWithParam<RenumberCase> {};

TEST_P(FolderRenumber, ConstructionClosesGapsKeepingEveryDirectory)
{
    const RenumberCase& c = GetParam();
    qirScratchDir scratch;
    std::string dir = scratch.File("Work.QIR");
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    for (const std::string& d : c.dirs) MakeDir(dir + "/" + d, d);
    // Entries that are not message directories stay as they are.
    ASSERT_EQ(qirScratchDir::WriteFile(dir + "/Message5", "plain file"), 0);
    ASSERT_EQ(qirScratchDir::WriteFile(dir + "/notes", "x"), 0);

    qirFolder folder{qirPath(dir.c_str())};
    EXPECT_EQ(folder.Count(), (int)c.expected.size());
    for (size_t i = 0; i < c.expected.size(); ++i)
        EXPECT_EQ(qirScratchDir::ReadFile(dir + "/Message" + std::to_string(i) + "/marker"), c.expected[i])
            << c.what << " position " << i;
    EXPECT_EQ(qirScratchDir::ReadFile(dir + "/Message5"), "plain file");
    // A second construction finds nothing left to move.
    qirFolder again{qirPath(dir.c_str())};
    EXPECT_EQ(again.Count(), (int)c.expected.size());
}

TEST_P(FolderRenumber, LoadedFlushMovesEachObjectByItsRealName)
{
    const RenumberCase& c = GetParam();
    qirScratchDir scratch;
    std::string dir = scratch.File("Work.QIR");
    qirFolder folder{qirPath(dir.c_str())}; // empty when made
    for (const std::string& d : c.dirs) MakeMarked(dir + "/" + d, d);
    ASSERT_EQ(folder.Load(), 0);
    ASSERT_EQ(folder.Flush(), 0);
    EXPECT_EQ(folder.Count(), (int)c.expected.size());
    for (size_t i = 0; i < c.expected.size(); ++i)
        EXPECT_EQ(qirScratchDir::ReadFile(dir + "/Message" + std::to_string(i) + "/marker"), c.expected[i])
            << c.what << " position " << i;
    for (qirMsg* m = folder.First(); m; m = folder.Next(m)) {
        struct stat st;
        EXPECT_EQ(stat(m->Path().Text(), &st), 0) << m->Path().Text();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, FolderRenumber,
    testing::Values(
        RenumberCase{"gaps", {"Message0", "Message3", "Message7"}, {"Message0", "Message3", "Message7"}},
        // Octal, lower case and a leading zero that is not octal.
        RenumberCase{"odd names",
                     {"Message010", "message4", "Message08", "Message2"},
                     {"Message2", "message4", "Message010", "Message08"}},
        // Two names of one number: the target of the second is still held.
        RenumberCase{"equal numbers", {"Message00", "Message0", "Message1"}, {"Message0", "Message00", "Message1"}},
        // No table as large as the number is made.
        RenumberCase{"huge numbers",
                     {"Message99999999999999999999999", "Message4294967296", "Message2147483647"},
                     {"Message2147483647", "Message4294967296", "Message99999999999999999999999"}},
        RenumberCase{"no number", {"MessageX", "Message3"}, {"Message3", "MessageX"}},
        RenumberCase{"none", {}, {}}),
    [](const testing::TestParamInfo<RenumberCase>& i) {
        std::string n = i.param.what;
        std::replace(n.begin(), n.end(), ' ', '_');
        return n;
    });

TEST(Folder, NameIconAndFlags)
{
    qirScratchDir scratch;
    struct {
        const char* dir;
        const char* name;
        const char* icon;
        int incoming, outgoing;
    } cases[] = {
        {"Incoming.QIR", "Incoming", "/usr/local/lib/QIR/Images/incoming.tif", 1, 0},
        {"Outgoing.QIR", "Outgoing", "/usr/local/lib/QIR/Images/sent.tif", 0, 1},
        {"incoming.QIR", "incoming", "/usr/local/lib/QIR/Images/folder.tif", 0, 0},
        {"Incoming.x.QIR", "Incoming.x", "/usr/local/lib/QIR/Images/folder.tif", 0, 0},
    };
    for (auto& c : cases) {
        qirFolder f{qirPath(scratch.File(c.dir).c_str())};
        EXPECT_STREQ(f.Name().Text(), c.name) << c.dir;
        EXPECT_STREQ(f.Icon().Text(), c.icon) << c.dir;
        EXPECT_EQ(f.IsIncoming(), c.incoming) << c.dir;
        EXPECT_EQ(f.IsOutgoing(), c.outgoing) << c.dir;
        EXPECT_EQ(f.IsLoaded(), 0);
    }
    std::string work = scratch.File("Work.QIR");
    ASSERT_EQ(mkdir(work.c_str(), 0700), 0);
    ASSERT_EQ(qirScratchDir::WriteFile(work + "/Name.txt", std::string(100, 'n') + "\nsecond\n"), 0);
    ASSERT_EQ(qirScratchDir::WriteFile(work + "/Icon.tif", "II*"), 0);
    qirFolder f{qirPath(work.c_str())};
    EXPECT_EQ(std::string(f.Name().Text()), std::string(79, 'n'));
    EXPECT_EQ(std::string(f.Icon().Text()), work + "/Icon.tif");
}

TEST(Folder, LoadFlushRemovesMarkedAndRenumbers)
{
    qirScratchDir scratch;
    std::string dir = scratch.File("Work.QIR");
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    for (int i = 0; i < 5; ++i) MakeMessage(dir + "/Message" + std::to_string(i), "s" + std::to_string(i));
    ASSERT_EQ(mkdir((dir + "/Other").c_str(), 0700), 0);

    qirFolder folder{qirPath(dir.c_str())};
    ASSERT_EQ(folder.Load(), 0);
    EXPECT_EQ(folder.IsLoaded(), 1);
    EXPECT_EQ(folder.Count(), 5);
    for (qirMsg* m = folder.First(); m; m = folder.Next(m)) {
        std::string s = m->Subject()->Text();
        if (s == "s1" || s == "s3") m->SetRemoved(1);
    }
    ASSERT_EQ(folder.Flush(), 0);
    EXPECT_EQ(folder.Count(), 3);
    std::vector<std::string> subjects;
    for (int i = 0; i < 3; ++i) subjects.push_back(SubjectOf(dir + "/Message" + std::to_string(i)));
    EXPECT_EQ(subjects, (std::vector<std::string>{"s0", "s2", "s4"}));
    struct stat st;
    EXPECT_NE(stat((dir + "/Message3").c_str(), &st), 0);
    // The objects follow their directories.
    for (qirMsg* m = folder.First(); m; m = folder.Next(m))
        EXPECT_EQ(SubjectOf(m->Path().Text()), m->Subject()->Text());

    folder.Unload();
    EXPECT_EQ(folder.IsLoaded(), 0);
    EXPECT_EQ(folder.First(), nullptr);
    EXPECT_EQ(folder.Count(), 3);
    qirDirectory* next = folder.NextMessagePath();
    EXPECT_EQ(std::string(next->Text()), dir + "/Message3");
    delete next;
}

// The list keeps arrival order, by the number each directory carries, not
// the directory stream's order (a hash order on most file systems).
TEST(Folder, LoadListsMessagesInArrivalOrder)
{
    qirScratchDir scratch;
    std::string dir = scratch.File("Work.QIR");
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    const int n = 60;
    for (int i = 0; i < n; ++i) MakeMarked(dir + "/Message" + std::to_string((i * 37) % n), "m");
    qirFolder folder{qirPath(dir.c_str())};
    ASSERT_EQ(folder.Load(), 0);
    int expected = 0;
    for (qirMsg* m = folder.First(); m; m = folder.Next(m)) EXPECT_EQ(m->Number(), expected++);
    EXPECT_EQ(expected, n);

    // Odd spellings of a directory elsewhere sort by the number they read as.
    std::string other = scratch.File("Other");
    ASSERT_EQ(mkdir(other.c_str(), 0700), 0);
    for (const char* name : {"Message10", "message2", "Message0x1", "Message9", "MessageX"})
        MakeMarked(other + "/" + name, name);
    qirFolder more{qirPath(scratch.File("More.QIR").c_str())};
    qirDirectory from(other.c_str());
    ASSERT_EQ(more.Load(&from), 0);
    std::vector<std::string> order;
    for (qirMsg* m = more.First(); m; m = more.Next(m)) order.push_back(m->Path().Basename().Text());
    EXPECT_EQ(order, (std::vector<std::string>{"Message0x1", "message2", "Message9", "Message10", "MessageX"}));
}

// A flush saves what changed and nothing else: files are replaced by
// rename, so an untouched file keeps its inode.
TEST(Folder, FlushRewritesOnlyWhatChanged)
{
    qirScratchDir scratch;
    std::string dir = scratch.File("Work.QIR");
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    for (int i = 0; i < 4; ++i) MakeMessage(dir + "/Message" + std::to_string(i), "s" + std::to_string(i));
    auto inodes = [&] {
        std::vector<ino_t> out;
        struct stat st;
        for (int i = 0; i < 4; ++i)
            for (const char* f : {"/Header.822", "/Body.PARSED"}) {
                std::string path = dir + "/Message" + std::to_string(i) + f;
                out.push_back(stat(path.c_str(), &st) == 0 ? st.st_ino : 0);
            }
        return out;
    };
    std::vector<ino_t> before = inodes();
    qirFolder folder{qirPath(dir.c_str())};
    ASSERT_EQ(folder.Load(), 0);
    ASSERT_EQ(folder.Flush(), 0);
    EXPECT_EQ(inodes(), before);

    folder.Next(folder.First())->SetRead(1);
    ASSERT_EQ(folder.Flush(), 0);
    std::vector<ino_t> after = inodes();
    for (size_t k = 0; k < after.size(); ++k)
        EXPECT_EQ(after[k] != before[k], k == 3) << "file " << k; // Message1's Body.PARSED alone
    folder.Unload();
    ASSERT_EQ(folder.Load(), 0);
    EXPECT_EQ(folder.Next(folder.First())->IsRead(), 1);
    EXPECT_EQ(folder.First()->IsRead(), 0);
}

TEST(Folder, CopyInUnloadedAndLoaded)
{
    qirScratchDir scratch;
    std::string src = scratch.File("Src.QIR"), dst = scratch.File("Dst.QIR");
    ASSERT_EQ(mkdir(src.c_str(), 0700), 0);
    for (int i = 0; i < 3; ++i) MakeMessage(src + "/Message" + std::to_string(i), "c" + std::to_string(i));
    qirFolder source{qirPath(src.c_str())};
    ASSERT_EQ(source.Load(), 0);

    qirFolder target{qirPath(dst.c_str())};
    ASSERT_EQ(mkdir((dst + "/Message7").c_str(), 0700), 0); // appeared after the count
    EXPECT_EQ(target.CopyIn(source.First()), 0);
    EXPECT_EQ(target.First(), nullptr); // unloaded: no object
    // The leftover was not reused; the renumbering closed the gap.
    EXPECT_EQ(target.Count(), 2);
    EXPECT_EQ(qirScratchDir::ReadFile(dst + "/Message0/marker"), "<missing>");

    ASSERT_EQ(target.Load(), 0);
    std::vector<qirMsg*> rest;
    for (qirMsg* m = source.Next(source.First()); m; m = source.Next(m)) rest.push_back(m);
    EXPECT_EQ(target.CopyIn(rest.data(), (int)rest.size()), 2);
    // The empty leftover is no message; it keeps its place on disk.
    EXPECT_EQ(target.Count(), 3);
    std::vector<std::string> subjects;
    for (qirMsg* m = target.First(); m; m = target.Next(m)) subjects.push_back(m->Subject()->Text());
    std::vector<std::string> expected = {"c0", "c1", "c2"};
    EXPECT_EQ(Sorted(subjects), expected);
    // Staging directories are gone.
    int hidden = 0;
    if (DIR* d = opendir(dst.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] == '.' && strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) ++hidden;
        closedir(d);
    }
    EXPECT_EQ(hidden, 0);
    // The source is untouched.
    EXPECT_EQ(SubjectOf(src + "/Message0"), "c0");

    // Flags changed since the load travel with the copy, but a copy of a
    // message marked deleted is not deleted (the copy's flush would purge it).
    qirMsg* opened = source.First();
    opened->SetRead(1);
    opened->SetRemoved(1);
    ASSERT_EQ(target.CopyIn(opened), 0);
    EXPECT_EQ(target.Count(), 4);
    qirMsg* copy = target.Last();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->IsRead(), 1);
    EXPECT_EQ(copy->IsRemoved(), 0);
    EXPECT_EQ(opened->IsRemoved(), 1);
}

// A batch with a failing copy: the flags tell which messages were copied,
// a read mark not saved yet travels with its copy, and a batch that copies
// nothing answers -1 without a flush (so nothing of the target is purged).
TEST(Folder, BatchCopyTellsWhatWasCopiedAndCarriesUnsavedFlags)
{
    qirScratchDir scratch;
    std::string src = scratch.File("Src.QIR"), dst = scratch.File("Dst.QIR");
    ASSERT_EQ(mkdir(src.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(dst.c_str(), 0700), 0);
    for (int i = 0; i < 4; ++i) MakeMessage(src + "/Message" + std::to_string(i), "c" + std::to_string(i));
    MakeMessage(dst + "/Message0", "old");
    qirFolder source{qirPath(src.c_str())}, target{qirPath(dst.c_str())};
    ASSERT_EQ(source.Load(), 0);
    ASSERT_EQ(target.Load(), 0);
    target.First()->SetRemoved(1);

    std::vector<qirMsg*> all;
    for (qirMsg* m = source.First(); m; m = source.Next(m)) all.push_back(m);
    std::sort(all.begin(), all.end(), [](qirMsg* a, qirMsg* b) { return std::string(a->Subject()->Text()) < b->Subject()->Text(); });
    ASSERT_EQ(system(("rm -rf '" + std::string(all[1]->Path().Text()) + "'").c_str()), 0);
    all[2]->SetRead(1);

    int copied[4] = {7, 7, 7, 7};
    EXPECT_EQ(target.CopyIn(&all[1], 1, copied), qirFailed);
    EXPECT_EQ(copied[0], 0);
    EXPECT_EQ(SubjectOf(dst + "/Message0"), "old") << "a batch that copied nothing flushed the target";
    EXPECT_EQ(target.Count(), 1);

    EXPECT_EQ(target.CopyIn(all.data(), 4, copied), 3);
    EXPECT_EQ(std::vector<int>(copied, copied + 4), (std::vector<int>{1, 0, 1, 1}));
    // One flush for the batch: the message marked removed is gone.
    std::vector<std::string> subjects;
    for (qirMsg* m = target.First(); m; m = target.Next(m)) {
        subjects.push_back(m->Subject()->Text());
        EXPECT_EQ(m->IsRead(), subjects.back() == "c2") << subjects.back();
    }
    EXPECT_EQ(Sorted(subjects), (std::vector<std::string>{"c0", "c2", "c3"}));
    EXPECT_EQ(target.Count(), 3);
    qirMsg again{qirPath(all[2]->Path().Text())};
    EXPECT_EQ(again.IsRead(), 1) << "the source's own mark was not saved";
}

// A move's copies share the originals' files, which outlive the originals.
TEST(Folder, SharedCopiesOutliveTheirOriginals)
{
    qirScratchDir scratch;
    std::string src = scratch.File("Src.QIR"), dst = scratch.File("Dst.QIR");
    ASSERT_EQ(mkdir(src.c_str(), 0700), 0);
    MakeMessage(src + "/Message0", "moved");
    qirFolder source{qirPath(src.c_str())}, target{qirPath(dst.c_str())};
    ASSERT_EQ(source.Load(), 0);
    qirMsg* m = source.First();
    ASSERT_EQ(target.CopyIn(&m, 1, nullptr, 1), 1);
    struct stat st;
    ASSERT_EQ(stat((dst + "/Message0/Header.822").c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, 2u);
    m->SetRemoved(1);
    ASSERT_EQ(source.Flush(), 0);
    EXPECT_EQ(source.Count(), 0);
    EXPECT_EQ(SubjectOf(dst + "/Message0"), "moved");
}

// A store that fails part way leaves nothing behind.
class StoringFolder : public qirFolder {
public:
    using qirFolder::qirFolder;
    using qirFolder::StoreNew;
};

int WriteThenFail(const char* dir, void*)
{
    mkdir(dir, 0700);
    qirScratchDir::WriteFile(std::string(dir) + "/Header.822", "Subject: half\n");
    return qirWriteError;
}
int WriteOk(const char* dir, void*)
{
    mkdir(dir, 0700);
    return qirScratchDir::WriteFile(std::string(dir) + "/ok", "1");
}

TEST(Folder, FailedStoreRemovesHalfMadeDirectory)
{
    qirScratchDir scratch;
    std::string dir = scratch.File("Work.QIR");
    StoringFolder folder{qirPath(dir.c_str())};
    int status = 0;
    qirPath p = folder.StoreNew(WriteThenFail, nullptr, &status);
    EXPECT_EQ(status, qirWriteError);
    EXPECT_STREQ(p.Text(), "");
    EXPECT_EQ(folder.CountOnDisk(), 0);
    // A leftover under the next number is passed over, not filled.
    MakeDir(dir + "/Message0", "leftover");
    p = folder.StoreNew(WriteOk, nullptr, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::string(p.Text()), dir + "/Message1");
    EXPECT_EQ(qirScratchDir::ReadFile(dir + "/Message0/marker"), "leftover");
    EXPECT_EQ(qirScratchDir::ReadFile(dir + "/Message0/ok"), "<missing>");
    EXPECT_EQ(qirScratchDir::ReadFile(dir + "/Message1/ok"), "1");
}

TEST(Folder, DestroyAndMoveTo)
{
    qirScratchDir scratch;
    std::string a = scratch.File("A.QIR"), b = scratch.File("B.QIR");
    ASSERT_EQ(mkdir(a.c_str(), 0700), 0);
    MakeMessage(a + "/Message3", "m");
    qirFolder folder{qirPath(a.c_str())};
    ASSERT_EQ(folder.Load(), 0);
    EXPECT_EQ(folder.MoveTo(qirPath(b.c_str())), 0);
    EXPECT_EQ(SubjectOf(b + "/Message0"), "m");
    EXPECT_EQ(folder.MoveTo(qirPath(b.c_str())), qirFailed); // exists
    EXPECT_EQ(folder.Destroy(), 0);
    EXPECT_EQ(folder.Flush(), 0); // the owner's close finds nothing to do
    struct stat st;
    EXPECT_NE(stat(b.c_str(), &st), 0);
    EXPECT_NE(stat(a.c_str(), &st), 0);
}

TEST(FolderList, ScanFindsQIRDirectories)
{
    qirScratchDir scratch;
    for (const char* d : {"Incoming.QIR", "Outgoing.QIR", "Work.QIR", "Old.qir", "Incoming.x.QIR"})
        ASSERT_EQ(mkdir(scratch.File(d).c_str(), 0700), 0);
    ASSERT_EQ(qirScratchDir::WriteFile(scratch.File("notes.txt"), ""), 0);
    ASSERT_EQ(qirScratchDir::WriteFile(scratch.File("File.QIR"), ""), 0);
    qirFolderList list{qirDirectory(scratch.Path().c_str())};
    EXPECT_EQ(list.First(), nullptr);
    ASSERT_EQ(list.Scan(), 0);
    std::vector<std::string> names;
    for (qirFolder* f = list.First(); f; f = list.Next(f)) names.push_back(f->Name().Text());
    EXPECT_EQ(Sorted(names), (std::vector<std::string>{"Incoming", "Incoming.x", "Outgoing", "Work"}));
    ASSERT_NE(list.Incoming(), nullptr);
    EXPECT_STREQ(list.Incoming()->Name().Text(), "Incoming");
    ASSERT_NE(list.Outgoing(), nullptr);
    EXPECT_STREQ(list.Outgoing()->Name().Text(), "Outgoing");

    qirScratchDir empty;
    qirFolderList none{qirDirectory(empty.Path().c_str())};
    ASSERT_EQ(none.Scan(), 0);
    EXPECT_EQ(none.Incoming(), nullptr);
}

} // namespace
