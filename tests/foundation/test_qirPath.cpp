#include <gtest/gtest.h>

#include <cstdlib>
#include <pwd.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "qirPath.h"

namespace {

std::string S(const qirString& s) { return s.Text() ? s.Text() : "<null>"; }

struct SplitCase {
    const char* path;
    const char* dir;
    const char* base;
    const char* ext;
    const char* stem;
};

TEST(qirPath, SplitsIntoParts)
{
    const SplitCase cases[] = {
        {"/file", "", "file", "", ""},
        {"file", "", "", "", ""},
        {"/a.b/c", "/a.b", "c", "b/c", ""},
        {"/x/msg.tar.gz", "/x", "msg.tar.gz", "gz", "msg.tar"},
        {"/x/y/", "/x/y", "", "", ""},
        {"rel/dir/name.txt", "rel/dir", "name.txt", "txt", "name"},
        {"", "", "", "", ""},
    };
    for (const SplitCase& c : cases) {
        qirPath p(c.path);
        SCOPED_TRACE(c.path);
        EXPECT_EQ(S(p.Dirname()), c.dir);
        EXPECT_EQ(S(p.Basename()), c.base);
        EXPECT_EQ(S(p.Extension()), c.ext);
        EXPECT_EQ(S(p.Stem()), c.stem);
    }
}

struct RebuildCase {
    const char* path;
    char op; // 'b' base name, 'd' directory, 'e' extension
    const char* arg;
    const char* result;
};

TEST(qirPath, RebuildsFromParts)
{
    const RebuildCase cases[] = {
        {"/x/old.txt", 'b', "new", "/x/new"},
        {"/x/old.txt", 'd', "/y", "/y/old.txt"},
        {"/x/old.txt", 'e', "doc", "/x/old.doc"},
        {"/x/old.txt", 'e', "", "/x/old"},
        {"/x/old.txt", 'b', "", "/x"},
        // A base name without a dot keeps itself as the stem.
        {"/x/book", 'e', "LCK", "/x/book.LCK"},
        {"book", 'e', "LCK", "book.LCK"},
        {"/x/.profile", 'e', "LCK", "/x/.profile.LCK"},
        {"/x/msg.tar.gz", 'e', "bz2", "/x/msg.tar.bz2"},
        {"/a.b/c", 'e', "d", "/a.b/c.d"},
        {"/x/y/", 'e', "d", "/x/y"},
    };
    for (const RebuildCase& c : cases) {
        qirPath p(c.path);
        SCOPED_TRACE(std::string(c.path) + " " + c.op + " " + c.arg);
        if (c.op == 'b') p.SetBasename(c.arg);
        if (c.op == 'd') p.SetDirname(c.arg);
        if (c.op == 'e') p.SetExtension(c.arg);
        EXPECT_EQ(S(p), c.result);
    }
}

TEST(qirPath, ExpandsTilde)
{
    struct passwd* me = getpwuid(geteuid());
    ASSERT_NE(me, nullptr);
    std::string home = me->pw_dir;
    struct passwd* root = getpwnam("root");
    ASSERT_NE(root, nullptr);
    std::string rootHome = root->pw_dir;

    struct Case {
        const char* in;
        std::string out;
    } cases[] = {
        {"~", home},
        {"~/x", home + "/x"},
        {"~root/x", rootHome + "/x"},
        {"~root", rootHome},
        {"~qir-no-such-user/x", "~qir-no-such-user/x"},
        {"/a/~b", "/a/~b"},
        {"x~", "x~"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(S(qirPath(c.in)), c.out);
        qirPath assigned;
        assigned = c.in;
        EXPECT_EQ(S(assigned), c.out);
        qirString s(c.in);
        EXPECT_EQ(S(qirPath(&s)), c.out);
    }
    EXPECT_EQ(qirPath(static_cast<const qirString*>(nullptr)).Text(), nullptr);
    qirPath p;
    p.Assign(static_cast<const qirString*>(nullptr));
    EXPECT_EQ(S(p), "");

    // The unknown user stays literal and the expansion says why.
    qirPath unknown("~qir-no-such-user/x");
    EXPECT_EQ(unknown.ExpandTilde(), -25);
    EXPECT_EQ(S(unknown), "~qir-no-such-user/x");
    EXPECT_EQ(qirPath("/plain").ExpandTilde(), 0);
}

class qirPathFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/qirPathXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { (void)system(("rm -rf '" + dir_ + "'").c_str()); }
    std::string Touch(const char* name)
    {
        std::string p = dir_ + "/" + name;
        FILE* f = fopen(p.c_str(), "w");
        if (f) fclose(f);
        return p;
    }
    std::string dir_;
};

TEST_F(qirPathFiles, AnswersAboutFiles)
{
    std::string file = Touch("f");
    EXPECT_EQ(qirPath(file.c_str()).Exists(), 0);
    EXPECT_EQ(qirPath(file.c_str()).IsDirectory(), -3);
    EXPECT_EQ(qirPath(dir_.c_str()).IsDirectory(), 0);
    std::string missing = dir_ + "/missing";
    EXPECT_EQ(qirPath(missing.c_str()).Exists(), -3);
    EXPECT_EQ(qirPath(missing.c_str()).IsDirectory(), -7);

    qirPath p(file.c_str());
    std::string moved = dir_ + "/g";
    EXPECT_EQ(p.Rename(moved.c_str()), 0);
    EXPECT_EQ(S(p), file); // keeps its old text
    EXPECT_EQ(p.Exists(), -3);
    EXPECT_EQ(p.Rename(moved.c_str()), -11);
    qirPath g(moved.c_str());
    EXPECT_EQ(g.Unlink(), 0);
    EXPECT_EQ(g.Unlink(), -11);
}

TEST_F(qirPathFiles, DirectoryWalkCreateAndClose)
{
    Touch("one");
    Touch("two");
    qirDirectory d(dir_.c_str());
    EXPECT_EQ(d.IsOpen(), 0);
    ASSERT_EQ(d.Open(), 0);
    EXPECT_EQ(d.IsOpen(), 1);
    std::set<std::string> seen;
    for (int i = 0; i < 4; ++i) seen.insert(S(d.NextEntry()));
    EXPECT_EQ(S(d.NextEntry()), "");
    std::set<std::string> want = {dir_ + "/.", dir_ + "/..", dir_ + "/one", dir_ + "/two"};
    EXPECT_EQ(seen, want);

    // A copy shares the stream; Rewind starts it again.
    qirDirectory shared;
    shared = d;
    EXPECT_EQ(shared.IsOpen(), 1);
    EXPECT_EQ(shared.Rewind(), 0);
    EXPECT_NE(S(d.NextEntry()), "");
    EXPECT_EQ(d.Close(), 0);
    EXPECT_EQ(d.IsOpen(), 0);

    qirDirectory empty("");
    EXPECT_EQ(empty.Open(), -6);
    std::string missing = dir_ + "/nope";
    EXPECT_EQ(qirDirectory(missing.c_str()).Open(), -7);

    qirDirectory made((dir_ + "/made").c_str());
    EXPECT_EQ(made.Create(), 0);
    struct stat st;
    ASSERT_EQ(stat(made.Text(), &st), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0700u & ~mask);
    EXPECT_EQ(made.Create(), -8);
}

TEST_F(qirPathFiles, LongEntryNamesDoNotOverrun)
{
    // A directory path near the system limit plus a long entry name goes
    // past 1,024 characters; the entry comes back whole.
    std::string deep = dir_;
    std::string part(200, 'd');
    for (int i = 0; i < 5; ++i) {
        deep += "/" + part;
        ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
    }
    std::string name(250, 'n');
    FILE* f = fopen((deep + "/" + name).c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    qirDirectory d(deep.c_str());
    ASSERT_EQ(d.Open(), 0);
    int found = 0;
    for (qirPath e = d.NextEntry(); !e.IsEmpty(); e = d.NextEntry())
        if (S(e) == deep + "/" + name) found = 1;
    d.Close();
    EXPECT_EQ(found, 1);
}

} // namespace
