#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>
#include <vector>

#include "qirMailBox.h"
#include "qirScratchDir.h"
#include "qirSmallFileLimit.h"
#include "qirStatus.h"

namespace {

std::string Drain(FILE* f)
{
    if (!f) return "<null>";
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
}

struct Message {
    std::string text, id;
    bool operator==(const Message& o) const { return text == o.text && id == o.id; }
};

std::ostream& operator<<(std::ostream& os, const Message& m)
{
    return os << "{" << testing::PrintToString(m.text) << ", " << m.id << "}";
}

// Every message by random access after a full scan.
std::vector<Message> Fetched(qirMailBox& box)
{
    std::vector<Message> out;
    for (qirMsgInfo* m = box.First(); m; m = qirMailBox::Next(m))
        out.push_back({Drain(box.Fetch(m->Number())), m->Id().Text()});
    return out;
}

// Every message through the one-pass walk.
std::vector<Message> Walked(qirMailBox& box)
{
    std::vector<Message> out;
    box.Rewind();
    while (qirMsgInfo* m = box.NextMessage()) out.push_back({Drain(box.FetchCurrent()), m->Id().Text()});
    return out;
}

const char* kThree =
    "From alice@example.org Mon Jan  1 10:00:00 2024\n"
    "Message-Id: <one@example.org>\n"
    "Subject: one\n"
    "\n"
    "first body\n"
    "\n"
    "From bob@example.org Mon Jan  1 11:00:00 2024\n"
    "Message-ID: <two@example.org>\n"
    "\n"
    "second body\n"
    "\n"
    "From carol@example.org Mon Jan  1 12:00:00 2024\n"
    "message-id: <three@example.org>\n"
    "\n"
    "third body\n"
    "\n";

TEST(qirMailBox, SplitsAtFromLinesAfterEmptyLinesOnly)
{
    const std::string longLine(100000, 'x'); // longer than the read buffer
    struct Case {
        const char* name;
        std::string spool;
        std::vector<Message> messages;
    };
    const Case cases[] = {
        {"three", kThree,
         {{"Message-Id: <one@example.org>\nSubject: one\n\nfirst body\n", "one@example.org"},
          {"Message-ID: <two@example.org>\n\nsecond body\n", "two@example.org"},
          {"message-id: <three@example.org>\n\nthird body\n", "three@example.org"}}},
        {"escaped and lower-case from lines stay in their message",
         "From a Mon Jan  1 10:00:00 2024\nMessage-Id: <a@x>\n\nhello\n\n>From the start\n\nfrom here on\n"
         "From inside a paragraph\n\n",
         {{"Message-Id: <a@x>\n\nhello\n\n>From the start\n\nfrom here on\nFrom inside a paragraph\n", "a@x"}}},
        {"no trailing newline",
         "From a Mon Jan  1 10:00:00 2024\n\nbody\n\nFrom b Mon Jan  1 10:00:00 2024\nMessage-Id: <b@x>\n\nlast",
         {{"\nbody\n", ""}, {"Message-Id: <b@x>\n\nlast", "b@x"}}},
        {"last message ends with its line feed only",
         "From a Mon Jan  1 10:00:00 2024\n\nbody\n", {{"\nbody\n", ""}}},
        {"CRLF line ends",
         "From a Mon Jan  1 10:00:00 2024\r\nMessage-Id: <a@x>\r\n\r\none\r\n\r\n"
         "From b Mon Jan  1 10:00:00 2024\r\nMessage-Id: <b@x>\r\n\r\ntwo\r\n\r\n",
         {{"Message-Id: <a@x>\r\n\r\none\r\n", "a@x"}, {"Message-Id: <b@x>\r\n\r\ntwo\r\n", "b@x"}}},
        {"the identifier search ends with the header",
         "From a Mon Jan  1 10:00:00 2024\nSubject: no id\n\nMessage-Id: <quoted@body>\n\n"
         "From b Mon Jan  1 10:00:00 2024\nMessage-Id: <b@x>\n\n",
         {{"Subject: no id\n\nMessage-Id: <quoted@body>\n", ""}, {"Message-Id: <b@x>\n", "b@x"}}},
        {"folded, spaced and malformed identifiers",
         "From a Mon Jan  1 10:00:00 2024\nMessage-Id:\n <folded@x>\n\n\n"
         "From b Mon Jan  1 10:00:00 2024\nMessage-Id-Extra: <not@this>\nMessage-Id : <spaced@x>\n\n\n"
         "From c Mon Jan  1 10:00:00 2024\nMessage-Id: no brackets\n\n\n",
         {{"Message-Id:\n <folded@x>\n\n", "folded@x"},
          {"Message-Id-Extra: <not@this>\nMessage-Id : <spaced@x>\n\n", "spaced@x"},
          {"Message-Id: no brackets\n\n", ""}}},
        {"text before the first message and very long lines",
         "junk line\n\nFrom a Mon Jan  1 10:00:00 2024\n\n" + longLine + "From x\n\n" + longLine + "\n",
         {{"\n" + longLine + "From x\n\n" + longLine + "\n", ""}}},
        {"empty spool", "", {}},
    };
    qirScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.File("spool");
        ASSERT_EQ(qirScratchDir::WriteFile(path, c.spool), 0);
        qirMailBox box(path.c_str());
        ASSERT_EQ(box.Status(), 0);
        EXPECT_EQ(Fetched(box), c.messages);
        EXPECT_EQ(Walked(box), c.messages);
        long sum = 0, preamble = box.First() ? box.First()->Offset() : long(c.spool.size());
        for (qirMsgInfo* m = box.First(); m; m = qirMailBox::Next(m)) sum += m->Size();
        EXPECT_EQ(preamble + sum, long(c.spool.size()));
        EXPECT_EQ(box.TotalSize(), long(c.spool.size()));
    }
}

TEST(qirMailBox, WalkReadsTheSpoolOnce)
{
    qirScratchDir dir;
    std::string spool;
    for (int i = 0; i < 300; ++i)
        spool += "From s Mon Jan  1 10:00:00 2024\nMessage-Id: <" + std::to_string(i) + "@x>\n\n" +
                 std::string(500 + i, 'b') + "\n\n";
    std::string path = dir.File("spool");
    ASSERT_EQ(qirScratchDir::WriteFile(path, spool), 0);
    qirMailBox box(path.c_str(), 0);
    ASSERT_EQ(box.Status(), 0);
    int n = 0;
    while (qirMsgInfo* m = box.NextMessage()) {
        EXPECT_EQ(m->Number(), n);
        if (n++ % 3) continue; // skipped, as one found in the history
        EXPECT_EQ(Drain(box.FetchCurrent()).size(), size_t(17 + m->Id().Length() + 500 + m->Number()));
        EXPECT_EQ(box.FetchCurrent(), nullptr) << "one fetch per message in the walk";
    }
    EXPECT_EQ(n, 300);
    EXPECT_EQ(box.Status(), 0);
    EXPECT_EQ(box.BytesRead(), long(spool.size()));
}

TEST(qirMailBox, HeaderTextAndHistoryIds)
{
    qirScratchDir dir;
    std::string path = dir.File("spool");
    const std::string spool =
        "From a Mon Jan  1 10:00:00 2024\nSubject: no id\n\nbody\n\n"
        "From b Mon Jan  1 10:00:00 2024\nSubject: no id\n\nbody\n\n"
        "From c Mon Jan  1 10:00:00 2024\nMessage-Id: <c@x>\n\nbody\n";
    ASSERT_EQ(qirScratchDir::WriteFile(path, spool), 0);
    std::vector<std::string> first;
    for (int round = 0; round < 2; ++round) {
        qirMailBox box(path.c_str());
        EXPECT_STREQ(box.HeaderText(0).Text(), "From a Mon Jan  1 10:00:00 2024\nSubject: no id\n");
        EXPECT_STREQ(box.HeaderText(9).Text(), "");
        EXPECT_EQ(box.Status(), qirNotFound);
        std::vector<std::string> ids;
        for (qirMsgInfo* m = box.First(); m; m = qirMailBox::Next(m)) ids.push_back(m->HistoryId().Text());
        ASSERT_EQ(ids.size(), 3u);
        EXPECT_NE(ids[0], "");
        EXPECT_NE(ids[0], ids[1]); // the "From " lines differ
        EXPECT_EQ(ids[2], "c@x");
        if (round == 0) first = ids;
        else EXPECT_EQ(ids, first) << "stable between sessions";
        EXPECT_EQ(box.Fetch(3), nullptr);
        EXPECT_EQ(box.Status(), qirNotFound);
        EXPECT_EQ(box.MarkDeleted(3), qirNotFound);
        EXPECT_EQ(box.FindById(qirString("c@x")), box.Find(2));
    }
}

TEST(qirMailBox, OpeningMissingDirectoriesAndOtherFiles)
{
    qirScratchDir dir;
    {
        qirMailBox box(dir.File("none").c_str());
        EXPECT_EQ(box.Status(), 0);
        EXPECT_EQ(box.Count(), 0);
        EXPECT_EQ(box.TotalSize(), 0);
        EXPECT_EQ(box.NextMessage(), nullptr);
        EXPECT_EQ(box.Commit(), 0);
    }
    EXPECT_TRUE(dir.Entries().empty()) << "an empty mailbox creates nothing";
    EXPECT_EQ(qirMailBox(dir.File("no/spool").c_str()).Status(), qirNotOpen);
    EXPECT_EQ(qirMailBox(dir.Path().c_str()).Status(), qirBadValue);
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
    EXPECT_EQ(qirMailBox(dir.File("fifo").c_str()).Status(), qirCannotOpen);
}

// A child holds a lock on the spool until told to let go.
class LockHolder {
public:
    LockHolder(const std::string& path, int useFcntl)
    {
        int ready[2];
        if (pipe(ready) != 0 || pipe(release_) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(release_[1]);
            int fd = open(path.c_str(), O_RDWR);
            int ok;
            if (useFcntl) {
                struct flock fl = {};
                fl.l_type = F_WRLCK;
                ok = fcntl(fd, F_SETLK, &fl) == 0;
            } else {
                ok = flock(fd, LOCK_EX) == 0;
            }
            char c = ok ? 'y' : 'n';
            if (write(ready[1], &c, 1) != 1 || read(release_[0], &c, 1) < 0) _exit(1);
            _exit(0);
        }
        close(ready[1]);
        close(release_[0]);
        char c = 0;
        locked_ = read(ready[0], &c, 1) == 1 && c == 'y';
        close(ready[0]);
    }
    ~LockHolder()
    {
        close(release_[1]);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    bool locked_ = false;

private:
    int release_[2] = {-1, -1};
    pid_t pid_ = -1;
};

TEST(qirMailBox, ExclusiveLocksOfOthersAreRespected)
{
    qirScratchDir dir;
    std::string path = dir.File("spool");
    ASSERT_EQ(qirScratchDir::WriteFile(path, kThree), 0);
    for (int useFcntl = 0; useFcntl < 2; ++useFcntl) {
        SCOPED_TRACE(useFcntl ? "fcntl" : "flock");
        LockHolder holder(path, useFcntl);
        ASSERT_TRUE(holder.locked_);
        qirMailBox box(path.c_str());
        EXPECT_EQ(box.Status(), qirAlreadyOpen);
    }
    // A live owner's dot-lock holds off the rewrite, and nothing changes.
    ASSERT_EQ(qirScratchDir::WriteFile(path + ".lock", std::to_string(getppid()) + "\n"), 0);
    {
        qirMailBox box(path.c_str());
        ASSERT_EQ(box.MarkDeleted(1), 0);
        EXPECT_EQ(box.Commit(), qirAlreadyOpen);
        EXPECT_EQ(box.Find(1)->IsDeleted(), 1);
        ASSERT_EQ(unlink((path + ".lock").c_str()), 0);
    }
    // Once the dot-lock is gone, the destructor's commit removes the message.
    EXPECT_EQ(qirScratchDir::ReadFile(path).find("two@example.org"), std::string::npos);
    EXPECT_NE(qirScratchDir::ReadFile(path).find("three@example.org"), std::string::npos);
}

const std::string kOne = "From alice@example.org Mon Jan  1 10:00:00 2024\nMessage-Id: <one@example.org>\nSubject: one\n\nfirst body\n\n";
const std::string kTwo = "From bob@example.org Mon Jan  1 11:00:00 2024\nMessage-ID: <two@example.org>\n\nsecond body\n\n";
const std::string kThird = "From carol@example.org Mon Jan  1 12:00:00 2024\nmessage-id: <three@example.org>\n\nthird body\n\n";

TEST(qirMailBox, CommitRemovesOnlyTheDeletedMessages)
{
    ASSERT_EQ(kOne + kTwo + kThird, kThree);
    struct Case {
        std::vector<int> deleted;
        std::string preamble, tail, expected;
    };
    const Case cases[] = {
        {{1}, "", "", kOne + kThird},
        {{0, 2}, "", "", kTwo},
        {{0, 1, 2}, "", "", ""},
        {{0}, "stray text\n\n", "", "stray text\n\n" + kTwo + kThird},
        {{2}, "", "From d Mon Jan  1 10:00:00 2024\n\nno newline", kOne + kTwo + "From d Mon Jan  1 10:00:00 2024\n\nno newline"},
        {{3}, "", "From d Mon Jan  1 10:00:00 2024\n\nno newline", kThree},
    };
    qirScratchDir dir;
    std::string path = dir.File("spool");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.deleted));
        ASSERT_EQ(qirScratchDir::WriteFile(path, c.preamble + kThree + c.tail), 0);
        ASSERT_EQ(chmod(path.c_str(), 0640), 0);
        struct stat before, after;
        ASSERT_EQ(stat(path.c_str(), &before), 0);
        qirMailBox box(path.c_str());
        for (int d : c.deleted) ASSERT_EQ(box.MarkDeleted(d), 0);
        EXPECT_EQ(box.Commit(), 0);
        EXPECT_EQ(qirScratchDir::ReadFile(path), c.expected);
        EXPECT_EQ(box.Count(), 0) << "records are dropped after a rewrite";
        EXPECT_EQ(box.Scan(), 0);
        EXPECT_EQ(box.Count(), int(3 + !c.tail.empty() - c.deleted.size()));
        ASSERT_EQ(stat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino) << "rewritten in place";
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(access((path + ".lock").c_str(), F_OK), -1) << "dot-lock released";
    }
}

TEST(qirMailBox, NothingDeletedLeavesTheSpoolUntouched)
{
    qirScratchDir dir;
    std::string path = dir.File("spool");
    ASSERT_EQ(qirScratchDir::WriteFile(path, kThree), 0);
    struct utimbuf old = {1000000, 1000000};
    ASSERT_EQ(utime(path.c_str(), &old), 0);
    {
        qirMailBox box(path.c_str());
        ASSERT_EQ(box.Count(), 3);
        ASSERT_EQ(box.MarkDeleted(1), 0);
        ASSERT_EQ(box.Undelete(1), 0);
        EXPECT_EQ(box.Commit(), 0);
    }
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1000000) << "never written";
    EXPECT_EQ(qirScratchDir::ReadFile(path), kThree);
}

// A letter's text as ReadText hands it out, in pieces.
std::string ReadWhole(qirMailBox& box, int number)
{
    std::string out;
    auto sink = [](void* context, const char* text, int length) {
        static_cast<std::string*>(context)->append(text, length);
        return 1;
    };
    return box.ReadText(number, sink, &out) == 0 ? out : "<failed>";
}

// The same through the read-ahead, or ReadText for a letter larger than it.
std::string ReadAhead(qirMailBox& box, int number)
{
    const char* text = nullptr;
    size_t length = 0;
    int r = box.TextOf(number, &text, &length);
    if (r == 1) return ReadWhole(box, number);
    return r == 0 ? std::string(text, length) : "<failed>";
}

// Letters of many sizes, one larger than the read-ahead, straddling its
// ends: read in order, backwards and at random, every text is the one
// ReadText gives; after a rewrite moved them, no old text is served.
TEST(qirMailBox, ReadAheadGivesEachLetterWhole)
{
    qirScratchDir dir;
    std::string spool;
    std::vector<std::string> bodies;
    for (int i = 0; i < 120; ++i) {
        size_t size = i == 40 ? (3u << 19) : 1000 + size_t(i) * 397 % 60000;
        bodies.push_back(std::string(size, char('a' + i % 26)) + "\n");
        spool += "From s Mon Jan  1 10:00:00 2024\nMessage-Id: <" + std::to_string(i) + "@x>\n\n" + bodies.back() + "\n";
    }
    std::string path = dir.File("spool");
    ASSERT_EQ(qirScratchDir::WriteFile(path, spool), 0);
    qirMailBox box(path.c_str());
    ASSERT_EQ(box.Count(), 120);
    std::vector<int> order;
    for (int i = 0; i < 120; ++i) order.push_back(i);
    for (int i = 119; i >= 0; --i) order.push_back(i);
    for (int i = 0; i < 120; ++i) order.push_back(i * 37 % 120);
    for (int i : order) {
        std::string expected = "Message-Id: <" + std::to_string(i) + "@x>\n\n" + bodies[i];
        ASSERT_EQ(ReadAhead(box, i), expected) << "letter " << i;
        ASSERT_EQ(ReadWhole(box, i), expected) << "letter " << i;
    }
    const char* text;
    size_t length;
    EXPECT_EQ(box.TextOf(40, &text, &length), 1) << "larger than the read-ahead";
    EXPECT_EQ(box.TextOf(120, &text, &length), qirNotFound);

    // The read-ahead holds the letters after the first when it is removed.
    ASSERT_EQ(ReadAhead(box, 0).substr(0, 16), "Message-Id: <0@x");
    ASSERT_EQ(box.MarkDeleted(0), 0);
    ASSERT_EQ(box.Commit(), 0);
    ASSERT_EQ(box.Scan(), 0);
    EXPECT_EQ(ReadAhead(box, 1), "Message-Id: <2@x>\n\n" + bodies[2]);
}

// The dot-lock by the usual rules: a dead owner's is taken over at once,
// one naming no owner only when old, a live owner's never.
TEST(qirMailBox, DotLocksOfDeadOwnersAreTakenOver)
{
    pid_t ended = fork();
    if (ended == 0) _exit(0);
    waitpid(ended, nullptr, 0);
    const struct {
        std::string content;
        long age;
        bool taken;
    } cases[] = {
        {std::to_string(ended) + "\n", 0, true},
        {"", 0, false},
        {"", 3600, true},
        {std::to_string(getppid()) + "\n", 3600, false},
    };
    qirScratchDir dir;
    std::string path = dir.File("spool");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.content) + " aged " + std::to_string(c.age));
        ASSERT_EQ(qirScratchDir::WriteFile(path, kThree), 0);
        ASSERT_EQ(qirScratchDir::WriteFile(path + ".lock", c.content), 0);
        struct utimbuf old = {time(nullptr) - c.age, time(nullptr) - c.age};
        ASSERT_EQ(utime((path + ".lock").c_str(), &old), 0);
        qirMailBox box(path.c_str());
        ASSERT_EQ(box.MarkDeleted(0), 0);
        EXPECT_EQ(box.Commit(), c.taken ? 0 : qirAlreadyOpen);
        EXPECT_EQ(qirScratchDir::ReadFile(path), c.taken ? kTwo + kThird : kThree);
        EXPECT_EQ(qirScratchDir::ReadFile(path + ".lock"), c.taken ? "<missing>" : c.content);
        box.Undelete(0);
    }
}

const std::string kLate = "From late@example.org Mon Jan  1 13:00:00 2024\nMessage-Id: <late@x>\n\nlate body\n\n";

int AppendTo(const std::string& path, const std::string& text, int lock)
{
    int fd = open(path.c_str(), O_WRONLY | O_APPEND);
    if (fd < 0) return -1;
    if (lock) {
        // As a delivery agent does: wait for the fcntl write lock.
        struct flock fl = {};
        fl.l_type = F_WRLCK;
        if (fcntl(fd, F_SETLKW, &fl) != 0) return -1;
    }
    int ok = write(fd, text.data(), text.size()) == ssize_t(text.size());
    return close(fd) == 0 && ok ? 0 : -1;
}

TEST(qirMailBox, MailAppendedDuringTheFetchIsKept)
{
    qirScratchDir dir;
    std::string path = dir.File("spool");
    {
        // Delivered by an agent that ignores the locks, after the spool was read.
        ASSERT_EQ(qirScratchDir::WriteFile(path, kThree), 0);
        qirMailBox box(path.c_str());
        ASSERT_EQ(box.MarkDeleted(0), 0);
        ASSERT_EQ(AppendTo(path, kLate, 0), 0);
        EXPECT_EQ(box.Commit(), 0);
        EXPECT_EQ(qirScratchDir::ReadFile(path), kTwo + kThird + kLate);
        EXPECT_EQ(box.Scan(), 0);
        EXPECT_EQ(box.Count(), 3);
    }
    {
        // A delivery agent waiting on the fcntl lock while the rewrite runs.
        ASSERT_EQ(qirScratchDir::WriteFile(path, kThree), 0);
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        qirMailBox* box = new qirMailBox(path.c_str());
        pid_t child = fork();
        if (child == 0) {
            char c;
            if (read(go[0], &c, 1) != 1) _exit(2);
            _exit(AppendTo(path, kLate, 1) == 0 ? 0 : 1);
        }
        ASSERT_EQ(box->MarkDeleted(1), 0);
        ASSERT_EQ(write(go[1], "g", 1), 1);
        usleep(100000); // the child is now blocked on the lock
        EXPECT_EQ(box->Commit(), 0);
        EXPECT_EQ(qirScratchDir::ReadFile(path), kOne + kThird) << "held off while the spool is open";
        delete box;
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(qirScratchDir::ReadFile(path), kOne + kThird + kLate);
    }
}

TEST(qirMailBox, FailedRewriteLeavesEveryMessageWhole)
{
    qirScratchDir dir;
    std::string path = dir.File("spool");
    const std::string big = "From big Mon Jan  1 10:00:00 2024\n\n" + std::string(40000, 'b') + "\n\n";
    const std::string spool = kOne + big + kTwo + kThird;
    auto commit = [&](int deleted) {
        return qirRunWithSmallFileLimit([&] {
            qirMailBox box(path.c_str());
            box.MarkDeleted(deleted);
            int r = box.Commit();
            return r == qirWriteError && box.TempPath() == path + ".QIRjournal" ? 1 : r;
        }, 20000);
    };
    {
        // The journal cannot be written: the spool is never touched.
        ASSERT_EQ(qirScratchDir::WriteFile(path, spool), 0);
        EXPECT_EQ(commit(0), qirWriteError);
        EXPECT_EQ(qirScratchDir::ReadFile(path), spool);
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"spool"}) << "an incomplete journal is removed";
    }
    {
        // The journal is made but the spool cannot be written: still whole,
        // and the journal, private to the user, finishes the rewrite when the
        // spool is next opened.
        ASSERT_EQ(qirScratchDir::WriteFile(path, spool), 0);
        EXPECT_EQ(commit(2), 1);
        EXPECT_EQ(qirScratchDir::ReadFile(path), spool);
        struct stat st;
        ASSERT_EQ(stat((path + ".QIRjournal").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(access((path + ".lock").c_str(), F_OK), -1);
        qirMailBox box(path.c_str());
        EXPECT_EQ(box.Status(), 0);
        EXPECT_EQ(box.Recovered(), 1);
        EXPECT_EQ(qirScratchDir::ReadFile(path), kOne + big + kThird);
        EXPECT_EQ(box.Count(), 3);
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"spool"});
    }
    // A spool replaced or cut by someone else since: its journal no longer
    // fits, so the spool is read as it is and the journal kept aside.
    for (int replaced = 0; replaced < 2; ++replaced) {
        SCOPED_TRACE(replaced ? "replaced" : "cut");
        ASSERT_EQ(qirScratchDir::WriteFile(path, spool), 0);
        ASSERT_EQ(commit(2), 1);
        if (replaced) {
            ASSERT_EQ(unlink(path.c_str()), 0);
        }
        ASSERT_EQ(qirScratchDir::WriteFile(path, kTwo), 0);
        qirMailBox box(path.c_str());
        EXPECT_EQ(box.Status(), 0);
        EXPECT_EQ(box.Recovered(), -1);
        EXPECT_EQ(box.Count(), 1);
        EXPECT_EQ(qirScratchDir::ReadFile(path), kTwo);
        std::string aside = qirScratchDir::ReadFile(box.AsidePath());
        EXPECT_EQ(aside.substr(aside.size() - kThird.size()), kThird);
        EXPECT_EQ(access((path + ".QIRjournal").c_str(), F_OK), -1);
        unlink(box.AsidePath().c_str());
    }
}

// ---- a rewrite killed at each of its steps ----

int stopAt = -1;
std::string lateSpool, lateText;

void StopAtStep(int step)
{
    // Step 0: mail delivered between the walk and the rewrite.
    if (step == 0 && !lateText.empty()) AppendTo(lateSpool, lateText, 0);
    if (step == stopAt) _exit(77);
}

// Forks a child that runs body; 77 when the hook stopped it dead.
int InChild(const std::function<int()>& body)
{
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(qirMailBox, KilledRewriteIsFinishedWhole)
{
    // Large enough that the copy into place takes several steps.
    const std::string big = "From big@example.org Mon Jan  1 10:30:00 2024\nMessage-Id: <big@x>\n\n" +
                            std::string(150000, 'b') + "\n\n";
    const std::string later = "From later@example.org Mon Jan  1 14:00:00 2024\nMessage-Id: <later@x>\n\nlater\n\n";
    const std::vector<std::string> letters = {kOne, big, kTwo, kThird};
    struct Case {
        std::vector<int> deleted;
        bool lateMail, deliveredAfterKill, foreignDirectory;
    };
    const Case cases[] = {
        {{0}, true, true, false},
        {{0, 1, 2, 3}, true, true, false},
        {{2}, false, false, false},
        {{0, 2}, true, true, true},
    };
    for (const Case& c : cases) {
        qirScratchDir dir, own;
        std::string path = dir.File("spool");
        std::string oldText, newText;
        for (size_t i = 0; i < letters.size(); ++i) {
            oldText += letters[i];
            if (std::find(c.deleted.begin(), c.deleted.end(), int(i)) == c.deleted.end()) newText += letters[i];
        }
        if (c.lateMail) oldText += kLate, newText += kLate;
        if (c.deliveredAfterKill) oldText += later, newText += later;
        int finished = 0;
        for (int k = 1; !finished && k < 200; ++k) {
            SCOPED_TRACE(testing::PrintToString(c.deleted) + (c.foreignDirectory ? " journal in own directory" : "") +
                         ", stopped at step " + std::to_string(k));
            ASSERT_EQ(qirScratchDir::WriteFile(path, oldText.substr(0, oldText.size() - (c.lateMail ? kLate.size() : 0) -
                                                                           (c.deliveredAfterKill ? later.size() : 0))),
                      0);
            if (c.foreignDirectory) {
                // A system spool directory: this user may write the spool only.
                ASSERT_EQ(chmod(path.c_str(), 0666), 0);
                ASSERT_EQ(chmod(own.Path().c_str(), 0777), 0);
            }
            stopAt = k;
            lateSpool = path;
            lateText = c.lateMail ? kLate : "";
            int r = InChild([&] {
                if (c.foreignDirectory) {
                    chmod(dir.Path().c_str(), 0555);
                    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 3;
                }
                qirMailBox::SetStepHook(StopAtStep);
                qirMailBox box(path.c_str(), 1, own.Path().c_str());
                for (int d : c.deleted) box.MarkDeleted(d);
                return box.Commit() == 0 ? 0 : 2;
            });
            ASSERT_TRUE(r == 0 || r == 77) << r;
            chmod(dir.Path().c_str(), 0700);
            finished = r == 0;
            std::vector<std::string> journals = own.Entries();
            for (const std::string& e : dir.Entries())
                if (e != "spool") journals.push_back(e);
            int inPlace = std::find_if(journals.begin(), journals.end(), [](const std::string& e) {
                              return e.size() > 11 && e.compare(e.size() - 11, 11, ".QIRjournal") == 0;
                          }) != journals.end();
            if (c.deliveredAfterKill) {
                ASSERT_EQ(AppendTo(path, later, 1), 0);
            }

            // The restart: whatever the kill left, every message is whole.
            qirMailBox box(path.c_str(), 1, own.Path().c_str());
            ASSERT_EQ(box.Status(), 0);
            EXPECT_EQ(box.Recovered(), inPlace);
            std::string text = qirScratchDir::ReadFile(path);
            if (inPlace || finished) {
                EXPECT_EQ(text, newText);
            } else {
                EXPECT_TRUE(text == oldText || text == newText) << text.size();
            }
            EXPECT_EQ(own.Entries(), std::vector<std::string>{});
            // The dead child's dot-lock does not hold off the next rewrite.
            ASSERT_EQ(box.MarkDeleted(0), 0);
            EXPECT_EQ(box.Commit(), 0);
            EXPECT_EQ(dir.Entries(), std::vector<std::string>{"spool"});
        }
        EXPECT_TRUE(finished);
    }
    qirMailBox::SetStepHook(nullptr);
}

} // namespace
