#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "qirHistory.h"
#include "qirScratchDir.h"
#include "qirStatus.h"

namespace {

std::vector<std::string> Ids(const qirHistory& h)
{
    std::vector<std::string> out;
    for (qirHistoryEntry* e = h.First(); e; e = qirHistory::Next(e)) out.push_back(e->Id().Text());
    return out;
}

std::string Lines(const std::vector<std::string>& ids)
{
    std::string out;
    for (const std::string& id : ids) out += id + "\n";
    return out;
}

TEST(qirHistory, LoadReadsEveryLineUnseen)
{
    qirScratchDir dir;
    std::string path = dir.File("pop_history:mail.example.org");
    ASSERT_EQ(qirScratchDir::WriteFile(path, "one\ntwo\r\n\n\nthree"), 0); // no LF after the last
    qirHistory h(path.c_str(), 100);
    ASSERT_EQ(h.Load(), 0);
    EXPECT_EQ(Ids(h), (std::vector<std::string>{"one", "two", "three"}));
    for (qirHistoryEntry* e = h.First(); e; e = qirHistory::Next(e)) EXPECT_EQ(e->Seen(), 0);

    qirHistory missing(dir.File("none").c_str(), 100);
    EXPECT_EQ(missing.Load(), qirCannotOpen);
    EXPECT_TRUE(missing.IsEmpty());
    qirHistory nowhere(nullptr, 100);
    EXPECT_EQ(nowhere.Load(), qirCannotOpen);
    EXPECT_EQ(nowhere.Save(), qirCannotOpen);
}

TEST(qirHistory, SaveWritesTheNewestUpToTheLimit)
{
    struct Case {
        int limit, entries, status;
        int written;
    };
    const Case cases[] = {
        {3, 5, 0, 3},             // E D C; none left, 3 / 100 is 0
        {300, 298, -29, 298},     // 2 left, fewer than 3
        {300, 297, 0, 297},       // 3 left
        {0, 4, 0, 0},             // an empty file
        {1000, 0, 0, 0},
        {100, 100, -29, 100},     // full: 0 left, fewer than 1
    };
    qirScratchDir dir;
    for (const Case& c : cases) {
        std::string path = dir.File("h");
        qirHistory h(path.c_str(), c.limit);
        std::vector<std::string> all;
        for (int i = 0; i < c.entries; ++i) {
            all.push_back("id" + std::to_string(i));
            h.Add(all.back().c_str(), 1);
        }
        EXPECT_EQ(h.Save(), c.status) << c.limit << " " << c.entries;
        std::vector<std::string> expect(all.rbegin(), all.rbegin() + c.written);
        EXPECT_EQ(qirScratchDir::ReadFile(path), Lines(expect)) << c.limit << " " << c.entries;

        qirHistory back(path.c_str(), c.limit);
        ASSERT_EQ(back.Load(), 0);
        EXPECT_EQ(Ids(back), expect);
    }
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"h"}); // no temporary files left
}

// One fetch cycle: marks, additions, purge, save and the next load.
TEST(qirHistory, FetchCycleKeepsWhatIsStillAtTheSource)
{
    qirScratchDir dir;
    std::string path = dir.File("h");
    ASSERT_EQ(qirScratchDir::WriteFile(path, "c\nb\na\nb\n"), 0);
    qirHistory h(path.c_str(), 100);
    ASSERT_EQ(h.Load(), 0);
    EXPECT_EQ(h.FindAndMark("b"), 1);
    EXPECT_EQ(h.FindAndMark("a"), 1);
    EXPECT_EQ(h.FindAndMark("A"), 0);  // bytes, not case
    EXPECT_EQ(h.FindAndMark("a "), 0);
    h.Add("d", 1);
    int seen[4];
    int i = 0;
    for (qirHistoryEntry* e = h.First(); e; e = qirHistory::Next(e)) seen[i++ % 4] = e->Seen();
    EXPECT_EQ(seen[1], 1); // the first "b"
    EXPECT_EQ(seen[3], 0); // the second stays unseen
    h.PurgeUnmarked();
    EXPECT_EQ(Ids(h), (std::vector<std::string>{"b", "a", "d"}));
    // Lookups still work on what the purge kept, and not on what it dropped.
    EXPECT_EQ(h.FindAndMark("c"), 0);
    EXPECT_EQ(h.FindAndMark("d"), 1);
    ASSERT_EQ(h.Save(), 0);
    EXPECT_EQ(qirScratchDir::ReadFile(path), "d\na\nb\n");
}

// An empty identifier would make every message without one look fetched.
TEST(qirHistory, EmptyIdentifiersAreNeverAddedNorFound)
{
    qirScratchDir dir;
    qirHistory h(dir.File("h").c_str(), 100);
    h.Add("", 1);
    h.Add("\r\n", 1);
    h.Add(nullptr, 1);
    EXPECT_TRUE(h.IsEmpty());
    EXPECT_EQ(h.FindAndMark(""), 0);
    EXPECT_EQ(h.FindAndMark("\n"), 0);
    EXPECT_EQ(h.FindAndMark(nullptr), 0);
    ASSERT_EQ(qirScratchDir::WriteFile(dir.File("h"), "\n\r\nx\n"), 0);
    ASSERT_EQ(h.Load(), 0);
    EXPECT_EQ(Ids(h), std::vector<std::string>{"x"});
}

// Identifiers from a server are untrusted: a line end inside one must not
// split it into two lines of the file, and a long one must read back whole.
TEST(qirHistory, IdentifiersSurviveSaveAndLoadWhole)
{
    qirScratchDir dir;
    std::string path = dir.File("h");
    std::string longId(10000, 'u');
    {
        qirHistory h(path.c_str(), 100);
        h.Add("<a\r\nb@host>", 1);
        h.Add(longId.c_str(), 1);
        h.Add("plain\r\n", 1);
        EXPECT_EQ(h.FindAndMark("<a\r\nb@host>"), 1);
        ASSERT_EQ(h.Save(), 0);
    }
    qirHistory back(path.c_str(), 100);
    ASSERT_EQ(back.Load(), 0);
    EXPECT_EQ(Ids(back), (std::vector<std::string>{"plain", longId, "<ab@host>"}));
    EXPECT_EQ(back.FindAndMark("<a\r\nb@host>"), 1);
    EXPECT_EQ(back.FindAndMark(longId.c_str()), 1);
    EXPECT_EQ(back.FindAndMark("plain\r\n"), 1);
}

TEST(qirHistory, SaveFailureKeepsTheOldFile)
{
    qirScratchDir dir;
    std::string path = dir.File("h");
    ASSERT_EQ(qirScratchDir::WriteFile(path, "old\n"), 0);
    qirHistory h(path.c_str(), 100000);
    for (int i = 0; i < 1000; ++i) h.Add(("message-" + std::to_string(i)).c_str(), 1);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {512, 512};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(h.Save() == qirWriteError ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(qirScratchDir::ReadFile(path), "old\n");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"h"});

    qirHistory elsewhere(dir.File("no/dir/h").c_str(), 10);
    elsewhere.Add("x", 1);
    EXPECT_EQ(elsewhere.Save(), qirCannotOpen);
}

qirFetchProof Proof(long long size, uint64_t digest = 0, int hasDigest = 0)
{
    qirFetchProof p;
    p.size = size;
    p.digest = digest;
    p.hasDigest = hasDigest;
    return p;
}

// A fetch records each round of stored messages by appending their lines;
// killed before the final Save, it leaves a file that loads to every
// identifier stored, with its proof.
TEST(qirHistory, RecordedLinesSurviveAKill)
{
    struct Case {
        const char* before;  // the file before the fetch, null: none
        const char* after;   // the file after the kill
    };
    const Case cases[] = {
        {"b\na\n", "b\na\nc\tL10\nd\tL20 D00000000000000ff\ne\n"},
        {nullptr, "c\tL10\nd\tL20 D00000000000000ff\ne\n"},
        {"b\nto", "b\nto\nc\tL10\nd\tL20 D00000000000000ff\ne\n"}, // a line cut short keeps its own
    };
    for (const Case& c : cases) {
        qirScratchDir dir;
        std::string path = dir.File("pop_history:mail.example.org");
        if (c.before) {
            ASSERT_EQ(qirScratchDir::WriteFile(path, c.before), 0);
        }
        qirHistory h(path.c_str(), 100);
        h.Load();
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            h.BeginFetch();
            h.Record("c", Proof(10));
            h.Record("", Proof(5));
            h.Record("\r\n", Proof(5));
            h.Record("d\r\n", Proof(20, 255, 1));
            h.Record("e", qirFetchProof());
            if (h.WritePending() != qirOK || h.FindAndMark("c") != 1 || h.FindAndMark("d") != 1) _exit(1);
            raise(SIGKILL);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << (c.before ? c.before : "(none)");
        EXPECT_EQ(qirScratchDir::ReadFile(path), c.after);

        qirHistory again(path.c_str(), 100);
        ASSERT_EQ(again.Load(), qirOK);
        EXPECT_EQ(again.Match("c", Proof(10)), qirHistory::matchSize);
        EXPECT_EQ(again.Match("d", Proof(20, 255, 1)), qirHistory::matchSame);
        EXPECT_EQ(again.Match("e", Proof(1)), qirHistory::matchKnown);
    }
}

// After a Save has replaced the file, records go to the new file; lines that
// cannot be appended fall back to saving whole, and report its failure.
TEST(qirHistory, RecordFollowsSaveAndReportsFailure)
{
    qirScratchDir dir;
    std::string path = dir.File("h");
    qirHistory h(path.c_str(), 2);
    for (const char* id : {"a", "b", "c"}) h.Record(id, qirFetchProof());
    ASSERT_EQ(h.WritePending(), qirOK);
    EXPECT_EQ(qirScratchDir::ReadFile(path), "a\nb\nc\n");
    ASSERT_EQ(h.Save(), qirOK); // trimmed to the limit
    EXPECT_EQ(qirScratchDir::ReadFile(path), "c\nb\n");
    h.Record("d", qirFetchProof());
    ASSERT_EQ(h.WritePending(), qirOK);
    EXPECT_EQ(qirScratchDir::ReadFile(path), "c\nb\nd\n");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"h"});

    qirHistory elsewhere(dir.File("no/dir/h").c_str(), 10);
    elsewhere.Record("x", qirFetchProof());
    EXPECT_EQ(elsewhere.WritePending(), qirCannotOpen);
    EXPECT_EQ(elsewhere.FindAndMark("x"), 1);
    qirHistory nowhere(nullptr, 10);
    nowhere.Record("x", qirFetchProof());
    EXPECT_EQ(nowhere.WritePending(), qirCannotOpen);
}

// Files of earlier versions hold bare identifiers, some with TABs of their
// own: they load as identifiers without proof, and what they meant (this
// identifier was fetched) is kept through a Save.
TEST(qirHistory, OldFilesKeepTheirMeaning)
{
    qirScratchDir dir;
    std::string path = dir.File("h");
    const std::string old = "plain@x\nwith\ttab\nlooks\tL12x\nalmost\tL12 D0123\nnew\tL7 D00000000000000a1\n";
    ASSERT_EQ(qirScratchDir::WriteFile(path, old), 0);
    qirHistory h(path.c_str(), 100);
    ASSERT_EQ(h.Load(), qirOK);
    EXPECT_EQ(Ids(h), (std::vector<std::string>{"plain@x", "with\ttab", "looks\tL12x", "almost\tL12 D0123", "new"}));
    for (const char* id : {"plain@x", "with\ttab", "looks\tL12x", "almost\tL12 D0123"})
        EXPECT_EQ(h.Match(id, Proof(12, 1, 1)), qirHistory::matchKnown) << id;
    EXPECT_EQ(h.Match("new", Proof(7, 0xa1, 1)), qirHistory::matchSame);
    ASSERT_EQ(h.Save(), qirOK);
    qirHistory again(path.c_str(), 100);
    ASSERT_EQ(again.Load(), qirOK);
    EXPECT_EQ(Ids(again), (std::vector<std::string>{"new", "almost\tL12 D0123", "looks\tL12x", "with\ttab", "plain@x"}));
    EXPECT_EQ(again.Match("new", Proof(7, 0xa1, 1)), qirHistory::matchSame);
}

// What a lookup answers for each kind of entry, and what it marks seen.
TEST(qirHistory, MatchWeighsTheProof)
{
    const struct {
        const char* what;
        qirFetchProof kept;
        qirFetchProof probe;
        int expected;
    } cases[] = {
        {"no proof kept", qirFetchProof(), Proof(10, 1, 1), qirHistory::matchKnown},
        {"sizes agree, digest unknown", Proof(10, 1, 1), Proof(10), qirHistory::matchSize},
        {"sizes agree, no digest kept", Proof(10), Proof(10, 1, 1), qirHistory::matchSize},
        {"size and digest agree", Proof(10, 7, 1), Proof(10, 7, 1), qirHistory::matchSame},
        {"other size", Proof(10, 7, 1), Proof(11, 7, 1), qirHistory::matchDiffers},
        {"other digest", Proof(10, 7, 1), Proof(10, 8, 1), qirHistory::matchDiffers},
        {"probe knows nothing", Proof(10, 7, 1), qirFetchProof(), qirHistory::matchDiffers},
    };
    for (const auto& c : cases) {
        qirScratchDir dir;
        std::string path = dir.File("h");
        ASSERT_EQ(qirScratchDir::WriteFile(path, "id" + (c.kept.Known() ? "\t" + c.kept.Text() : "") + "\n"), 0);
        qirHistory h(path.c_str(), 10);
        ASSERT_EQ(h.Load(), qirOK);
        h.BeginFetch();
        EXPECT_EQ(h.Match("id", c.probe), c.expected) << c.what;
        EXPECT_EQ(h.Match("other", c.probe), qirHistory::matchUnknown) << c.what;
        h.PurgeUnmarked();
        EXPECT_EQ(h.Count(), c.expected > 0 ? 1 : 0) << c.what;
    }
}

// Two messages of one fetch with one identifier are both new to it; the
// next fetch tells them apart by their proofs and marks each entry.
TEST(qirHistory, WhatAFetchRecordsIsNoEvidenceForItself)
{
    qirScratchDir dir;
    std::string path = dir.File("h");
    {
        qirHistory h(path.c_str(), 10);
        h.BeginFetch();
        EXPECT_EQ(h.Match("dup", Proof(5, 1, 1)), qirHistory::matchUnknown);
        h.Record("dup", Proof(5, 1, 1));
        EXPECT_EQ(h.Match("dup", Proof(5, 1, 1)), qirHistory::matchUnknown);
        h.Record("dup", Proof(5, 1, 1));
        h.Record("dup", Proof(6, 2, 1));
        ASSERT_EQ(h.Save(), qirOK);
    }
    qirHistory h(path.c_str(), 10);
    ASSERT_EQ(h.Load(), qirOK);
    h.BeginFetch();
    EXPECT_EQ(h.Match("dup", Proof(5, 1, 1)), qirHistory::matchSame);
    EXPECT_EQ(h.Match("dup", Proof(5, 1, 1)), qirHistory::matchSame);
    h.PurgeUnmarked();
    EXPECT_EQ(h.Count(), 2); // the two of them; the third left the source
}

// A large history: the index must follow the list through a purge.
TEST(qirHistory, LargeHistoryLooksUpEveryIdentifier)
{
    const int n = 30000;
    qirHistory h(nullptr, n);
    for (int i = 0; i < n; ++i) h.Add(("<" + std::to_string(i) + "@example.org>").c_str(), 0);
    for (int i = 0; i < n; i += 2) ASSERT_EQ(h.FindAndMark(("<" + std::to_string(i) + "@example.org>").c_str()), 1);
    h.PurgeUnmarked();
    EXPECT_EQ(h.Count(), n / 2);
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(h.FindAndMark(("<" + std::to_string(i) + "@example.org>").c_str()), i % 2 == 0 ? 1 : 0) << i;
}

} // namespace
