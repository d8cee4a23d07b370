#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <pwd.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "qirUtilities.h"

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary);
    out << data;
}

std::string Pattern(size_t n)
{
    std::string s(n, 0);
    for (size_t i = 0; i < n; ++i) s[i] = char('a' + (i * 7 + i / 251) % 26);
    return s;
}

bool IsThere(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

// Runs the body in a child process, as nobody when asked; answers the
// child's exit status (the body's result), or -1 when it died.
int InChild(const std::function<int()>& body, bool asNobody = false)
{
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (asNobody) {
            struct passwd* pw = getpwnam("nobody");
            if (!pw || setgid(pw->pw_gid) != 0 || setuid(pw->pw_uid) != 0) _exit(99);
        }
        _exit(body() & 0xff);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class qirFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/qirUtilXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        chmod(dir_.c_str(), 0777); // reachable by the unprivileged child
    }
    void TearDown() override
    {
        (void)system(("chmod -R u+rwx '" + dir_ + "' 2>/dev/null; rm -rf '" + dir_ + "'").c_str());
    }
    std::string P(const char* name) const { return dir_ + "/" + name; }
    std::string dir_;
};

TEST_F(qirFiles, CopyMatchesSourceAtBlockEdges)
{
    for (size_t size : {size_t(0), size_t(1), size_t(10240), size_t(10241), size_t(3 * 10240 + 17)}) {
        SCOPED_TRACE(size);
        std::string data = Pattern(size);
        WriteAll(P("src"), data);
        WriteAll(P("dst"), "old contents that are longer than nothing");
        ASSERT_EQ(qirCopyFile(P("src").c_str(), P("dst").c_str()), 0);
        EXPECT_EQ(ReadAll(P("dst")), data);
    }
    unlink(P("dst").c_str());
    mode_t mask = umask(022);
    ASSERT_EQ(qirCopyFile(P("src").c_str(), P("dst").c_str()), 0);
    umask(mask);
    struct stat st;
    ASSERT_EQ(stat(P("dst").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(qirFiles, CopyAndAppendRefuseMissingSourceAndSelf)
{
    EXPECT_EQ(qirCopyFile(P("missing").c_str(), P("dst").c_str()), -1);
    EXPECT_FALSE(IsThere(P("dst")));
    EXPECT_EQ(qirAppendFile(P("missing").c_str(), P("dst").c_str()), -1);
    EXPECT_FALSE(IsThere(P("dst")));

    WriteAll(P("self"), "precious");
    ASSERT_EQ(link(P("self").c_str(), P("hard").c_str()), 0);
    for (std::string other : {P("self"), dir_ + "/./self", P("hard")}) {
        SCOPED_TRACE(other);
        EXPECT_EQ(qirCopyFile(P("self").c_str(), other.c_str()), -1);
        EXPECT_EQ(qirAppendFile(P("self").c_str(), other.c_str()), -1);
        EXPECT_EQ(ReadAll(P("self")), "precious");
    }
}

// A copy into a file of its own: never over an existing entry, and nothing
// left behind when it fails.
TEST_F(qirFiles, CopyToNewFileNeverReplacesAnything)
{
    std::string data = Pattern(25000);
    WriteAll(P("src"), data);
    ASSERT_EQ(qirCopyToNewFile(P("src").c_str(), P("new").c_str()), 0);
    EXPECT_EQ(ReadAll(P("new")), data);
    struct stat st;
    ASSERT_EQ(stat(P("new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    WriteAll(P("taken"), "precious");
    ASSERT_EQ(symlink(P("elsewhere").c_str(), P("link").c_str()), 0);
    EXPECT_EQ(qirCopyToNewFile(P("src").c_str(), P("taken").c_str()), -8);
    EXPECT_EQ(ReadAll(P("taken")), "precious");
    EXPECT_EQ(qirCopyToNewFile(P("src").c_str(), P("link").c_str()), -8);
    EXPECT_FALSE(IsThere(P("elsewhere")));
    EXPECT_EQ(qirCopyToNewFile(P("missing").c_str(), P("none").c_str()), -1);
    EXPECT_EQ(qirCopyToNewFile(dir_.c_str(), P("none").c_str()), -1);
    EXPECT_FALSE(IsThere(P("none")));
    int rc = InChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {15000, 15000};
        if (setrlimit(RLIMIT_FSIZE, &lim) != 0) return 98;
        return qirCopyToNewFile(P("src").c_str(), P("short").c_str()) == -1 ? 0 : 1;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_FALSE(IsThere(P("short")));
}

TEST_F(qirFiles, AppendAddsToEndOrCreates)
{
    std::string data = Pattern(25000);
    WriteAll(P("src"), data);
    WriteAll(P("dst"), "head\n");
    ASSERT_EQ(qirAppendFile(P("src").c_str(), P("dst").c_str()), 0);
    EXPECT_EQ(ReadAll(P("dst")), "head\n" + data);
    ASSERT_EQ(qirAppendFile(P("src").c_str(), P("new").c_str()), 0);
    EXPECT_EQ(ReadAll(P("new")), data);
}

TEST_F(qirFiles, ShortWriteFailsAndKeepsUserFile)
{
    // A file size limit makes writes stop short, as a full disk does.
    std::string data = Pattern(25000);
    WriteAll(P("src"), data);
    std::string old = Pattern(1000);
    WriteAll(P("mbox"), old);
    int rc = InChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {15000, 15000};
        if (setrlimit(RLIMIT_FSIZE, &lim) != 0) return 98;
        int copy = qirCopyFile(P("src").c_str(), P("copy").c_str());
        int append = qirAppendFile(P("src").c_str(), P("mbox").c_str());
        int fresh = qirAppendFile(P("src").c_str(), P("fresh").c_str());
        return (copy == -1 ? 0 : 1) | (append == -1 ? 0 : 2) | (fresh == -1 ? 0 : 4);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_FALSE(IsThere(P("copy")));
    EXPECT_EQ(ReadAll(P("mbox")), old); // cut back, not deleted
    EXPECT_FALSE(IsThere(P("fresh")));
}

void OnAlarm(int) {}

TEST_F(qirFiles, CopyRetriesInterruptedWrites)
{
    // A slow reader on a fifo target keeps the copy blocked in write while
    // alarms without SA_RESTART interrupt it.
    ASSERT_EQ(mkfifo(P("fifo").c_str(), 0600), 0);
    std::string data = Pattern(300000);
    WriteAll(P("src"), data);
    fflush(nullptr);
    pid_t reader = fork();
    if (reader == 0) {
        FILE* f = fopen(P("fifo").c_str(), "r");
        FILE* out = fopen(P("got").c_str(), "w");
        if (!f || !out) _exit(1);
        char buf[8192];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
            fwrite(buf, 1, n, out);
            usleep(2000);
        }
        fclose(out);
        _exit(0);
    }
    struct sigaction sa, old;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnAlarm;
    sigaction(SIGALRM, &sa, &old);
    struct itimerval tick = {{0, 5000}, {0, 5000}}, stop = {{0, 0}, {0, 0}};
    setitimer(ITIMER_REAL, &tick, nullptr);
    int rc = qirCopyFile(P("src").c_str(), P("fifo").c_str());
    setitimer(ITIMER_REAL, &stop, nullptr);
    sigaction(SIGALRM, &old, nullptr);
    int status = -1;
    waitpid(reader, &status, 0);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadAll(P("got")), data);
}

// A directory fails only once read, a fifo or a device may never end:
// each is refused before the user's file is opened.
TEST_F(qirFiles, CopyAndAppendRefuseSourcesThatAreNotRegularFiles)
{
    mkdir(P("dir").c_str(), 0700);
    ASSERT_EQ(mkfifo(P("fifo").c_str(), 0600), 0);
    for (std::string source : {P("dir"), P("fifo"), std::string("/dev/zero")}) {
        SCOPED_TRACE(source);
        WriteAll(P("keep"), "the user's file");
        EXPECT_EQ(qirCopyFile(source.c_str(), P("keep").c_str()), -1);
        EXPECT_EQ(qirAppendFile(source.c_str(), P("keep").c_str()), -1);
        EXPECT_EQ(ReadAll(P("keep")), "the user's file");
        EXPECT_EQ(qirCopyFile(source.c_str(), P("new").c_str()), -1);
        EXPECT_FALSE(IsThere(P("new")));
    }
}

class qirTrees : public qirFiles {
protected:
    // src/a, src/sub/b, src/sub/deep/c, and links out of the tree to a
    // directory and a file that must outlive anything done to it.
    void MakeTree(const std::string& root)
    {
        mkdir(root.c_str(), 0755);
        mkdir((root + "/sub").c_str(), 0750);
        mkdir((root + "/sub/deep").c_str(), 0700);
        WriteAll(root + "/a", "file a");
        WriteAll(root + "/sub/b", Pattern(30000));
        WriteAll(root + "/sub/deep/c", "");
        mkdir(P("outside").c_str(), 0755);
        WriteAll(P("outside/keep"), "keep me");
        symlink(P("outside").c_str(), (root + "/dirlink").c_str());
        symlink(P("outside/keep").c_str(), (root + "/sub/filelink").c_str());
    }
    void ExpectTree(const std::string& root)
    {
        EXPECT_EQ(ReadAll(root + "/a"), "file a");
        EXPECT_EQ(ReadAll(root + "/sub/b"), Pattern(30000));
        EXPECT_TRUE(IsThere(root + "/sub/deep/c"));
        char buf[4096];
        ssize_t n = readlink((root + "/dirlink").c_str(), buf, sizeof buf);
        ASSERT_GT(n, 0);
        EXPECT_EQ(std::string(buf, size_t(n)), P("outside"));
        struct stat st;
        ASSERT_EQ(stat((root + "/sub").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0750u);
    }
    void ExpectOutsideIntact()
    {
        EXPECT_EQ(ReadAll(P("outside/keep")), "keep me");
    }
};

TEST_F(qirTrees, RemoveNeverFollowsLinksOut)
{
    MakeTree(P("src"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(qirRemoveDirectory(P("src").c_str(), 1), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(IsThere(P("src")));
    ExpectOutsideIntact();
    EXPECT_NE(err.find("Removing directory: <" + P("src") + ">\n"), std::string::npos);
    EXPECT_NE(err.find("File: <" + P("src/a") + "> removed OK!\n"), std::string::npos);
}

TEST_F(qirTrees, CopyDuplicatesTreeAndLinks)
{
    MakeTree(P("src"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(qirCopyDirectory(P("src").c_str(), P("dst").c_str(), 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ExpectTree(P("dst"));
    ExpectTree(P("src"));
    // Copying into an existing directory is refused.
    testing::internal::CaptureStderr();
    EXPECT_EQ(qirCopyDirectory(P("src").c_str(), P("dst").c_str(), 0), -102);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error creating directory: <" + P("dst") + ">\n");
}

TEST_F(qirTrees, CopiesReadOnlySourceAsUser)
{
    if (getuid() != 0) GTEST_SKIP() << "needs root to switch to an unprivileged user";
    std::string ro = P("ro");
    mkdir(ro.c_str(), 0755);
    WriteAll(ro + "/f", "data");
    chmod(ro.c_str(), 0555);
    int rc = InChild([&] { return qirCopyDirectory(ro.c_str(), P("copy").c_str(), 0); }, true);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ReadAll(P("copy/f")), "data");
    struct stat st;
    ASSERT_EQ(stat(P("copy").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0555u);
}

TEST_F(qirTrees, CopyIntoItselfStops)
{
    MakeTree(P("src"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(qirCopyDirectory(P("src").c_str(), P("src/inner").c_str(), 0), 0);
    testing::internal::GetCapturedStderr();
    ExpectTree(P("src/inner"));
    EXPECT_FALSE(IsThere(P("src/inner/inner")));
}

struct BadArgCase {
    const char* source;
    int code;
};

TEST_F(qirTrees, BadArgumentsAnswerCodes)
{
    WriteAll(P("plain"), "x");
    const BadArgCase cases[] = {{"missing", -100}, {"plain", -1}};
    for (const BadArgCase& c : cases) {
        SCOPED_TRACE(c.source);
        EXPECT_EQ(qirRemoveDirectory(P(c.source).c_str(), 1), c.code);
        EXPECT_EQ(qirCopyDirectory(P(c.source).c_str(), P("t").c_str(), 1), c.code);
        if (c.code != -1) {
            EXPECT_EQ(qirMoveDirectory(P(c.source).c_str(), P("t").c_str(), 1), c.code);
        }
    }
    // Removing through a link to a directory does not empty the directory.
    symlink(P("outside").c_str(), P("link").c_str());
    mkdir(P("outside").c_str(), 0755);
    WriteAll(P("outside/keep"), "keep me");
    EXPECT_EQ(qirRemoveDirectory(P("link").c_str(), 0), -1);
    EXPECT_TRUE(IsThere(P("link")));
    ExpectOutsideIntact();
}

TEST_F(qirTrees, MoveWithinFileSystemIsRename)
{
    MakeTree(P("src"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(qirMoveDirectory(P("src").c_str(), P("dst").c_str(), 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(IsThere(P("src")));
    ExpectTree(P("dst"));
}

class qirCrossMove : public qirTrees {
protected:
    void SetUp() override
    {
        qirTrees::SetUp();
        struct stat a, b;
        if (stat("/dev/shm", &b) != 0 || stat(dir_.c_str(), &a) != 0 || a.st_dev == b.st_dev)
            GTEST_SKIP() << "no second file system at /dev/shm to move across";
        char tmpl[] = "/dev/shm/qirMoveXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        other_ = tmpl;
        chmod(other_.c_str(), 0777);
    }
    void TearDown() override
    {
        if (!other_.empty()) (void)system(("chmod -R u+rwx '" + other_ + "'; rm -rf '" + other_ + "'").c_str());
        qirTrees::TearDown();
    }
    std::string other_;
};

TEST_F(qirCrossMove, CopiesThenRemovesSource)
{
    MakeTree(P("src"));
    std::string target = other_ + "/dst";
    testing::internal::CaptureStderr();
    EXPECT_EQ(qirMoveDirectory(P("src").c_str(), target.c_str(), 1), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Moving directory: <" + P("src") + ">=><" + target + ">\n"), std::string::npos);
    EXPECT_NE(err.find("File: <" + P("src/a") + ">=><" + target + "/a> moved OK!\n"), std::string::npos);
    EXPECT_FALSE(IsThere(P("src")));
    ExpectTree(target);
    ExpectOutsideIntact();
}

TEST_F(qirCrossMove, FailedFileStaysAtSource)
{
    if (getuid() != 0) GTEST_SKIP() << "needs root to make a file its mover cannot read";
    MakeTree(P("src"));
    (void)system(("chown -R nobody '" + P("src") + "'").c_str());
    chown(P("src/sub/b").c_str(), 0, 0);
    chmod(P("src/sub/b").c_str(), 0600); // unreadable for nobody
    std::string target = other_ + "/dst";
    int rc = InChild(
        [&] {
            int fd = dup(2);
            freopen("/dev/null", "w", stderr);
            int code = qirMoveDirectory(P("src").c_str(), target.c_str(), 0);
            dup2(fd, 2);
            return code;
        },
        true);
    EXPECT_EQ(rc, 1); // the subdirectory failed
    EXPECT_EQ(ReadAll(P("src/sub/b")), Pattern(30000));
    EXPECT_TRUE(IsThere(P("src/sub")));
    EXPECT_FALSE(IsThere(P("src/a"))); // moved in full
    EXPECT_EQ(ReadAll(target + "/a"), "file a");
    EXPECT_FALSE(IsThere(target + "/sub/b"));
}

TEST_F(qirTrees, RemoveReportsFileThatCannotGo)
{
    if (getuid() != 0) GTEST_SKIP() << "needs root to switch to an unprivileged user";
    std::string top = P("ro");
    mkdir(top.c_str(), 0755);
    WriteAll(top + "/stuck", "x");
    chmod(top.c_str(), 0555); // nobody cannot unlink in it
    int rc = InChild(
        [&] {
            std::string err;
            FILE* capture = tmpfile();
            int fd = dup(2);
            dup2(fileno(capture), 2);
            int code = qirRemoveDirectory(top.c_str(), 0);
            fflush(stderr);
            dup2(fd, 2);
            rewind(capture);
            char buf[512] = {0};
            fread(buf, 1, sizeof buf - 1, capture);
            std::string want = "Error removing file: <" + top + "/stuck>\n";
            return code == 2 && want == buf ? 0 : 10 + code;
        },
        true);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(IsThere(top + "/stuck"));
    EXPECT_TRUE(IsThere(top));
}

TEST_F(qirFiles, SizeAndSevenBitTest)
{
    WriteAll(P("empty"), "");
    WriteAll(P("ascii"), Pattern(25000));
    std::string eight = Pattern(25000);
    eight[20000] = char(0xe9);
    WriteAll(P("eight"), eight);
    EXPECT_EQ(qirFileSize(P("ascii").c_str()), 25000);
    EXPECT_EQ(qirFileSize(P("empty").c_str()), 0);
    EXPECT_EQ(qirFileSize(P("missing").c_str()), -1);
    EXPECT_EQ(qirIs7BitFile(P("empty").c_str()), 1);
    EXPECT_EQ(qirIs7BitFile(P("ascii").c_str()), 1);
    EXPECT_EQ(qirIs7BitFile(P("eight").c_str()), 0);
    EXPECT_EQ(qirIs7BitFile(P("missing").c_str()), -7);
}

std::vector<std::string> Pieces(qirList* list)
{
    std::vector<std::string> out;
    if (!list) return out;
    for (qirObject* o = list->First(); o; o = qirList::Next(o))
        out.push_back(static_cast<qirString*>(o)->Text());
    list->Remove(nullptr);
    delete list;
    return out;
}

TEST(qirSplitText, CutsAfterSeparators)
{
    struct Case {
        const char* text;
        int n;
        const char* seps;
        std::vector<std::string> pieces;
    } cases[] = {
        {"aaaa bbbb cccc", 7, " ", {"aaaa ", "bbbb ", "cccc"}},
        {"abcdefghij", 4, " ", {"abcd", "efgh", "ij"}},
        {" abc", 2, " ", {" a", "bc"}}, // a separator in first place does not cut
        {"a,b-c d", 40, " ,-", {"a,b-c d"}},
        {"one, two-three", 6, " ,-\n\t", {"one, ", "two-", "three"}},
        {"xyz", 1, " ", {"x", "y", "z"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Pieces(qirSplitText(qirString(c.text), c.n, c.seps)), c.pieces);
    }
    EXPECT_EQ(qirSplitText(qirString(""), 4, " "), nullptr);
    EXPECT_EQ(qirSplitText(qirString("abc"), 4, nullptr), nullptr);
    EXPECT_EQ(qirSplitText(qirString("abc"), 0, " "), nullptr);
}

TEST(qirUser, FactsFromPasswordDatabase)
{
    struct passwd* pw = getpwuid(geteuid());
    ASSERT_NE(pw, nullptr);
    std::string home = pw->pw_dir, login = pw->pw_name, gecos = pw->pw_gecos ? pw->pw_gecos : "";
    char* h = qirHomeDirectory();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(home, h);
    delete[] h;
    char* r = qirUserHomeDirectory("root");
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r, getpwnam("root")->pw_dir);
    delete[] r;
    EXPECT_EQ(qirUserHomeDirectory("qir-no-such-user"), nullptr);

    std::string want = gecos.empty() || gecos[0] != '&' ? gecos.substr(0, gecos.find(',')) : login;
    if (!gecos.empty() && gecos[0] == '&') want[0] = char(toupper(want[0]));
    char* full = qirUserFullName();
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(want, full);
    delete[] full;

    char* address = qirUserAddress();
    if (address) {
        EXPECT_EQ(std::string(address).rfind(login + "@", 0), 0u);
        delete[] address;
    }
}

TEST(qirUtilities, SmallHelpers)
{
    EXPECT_STREQ(qirVersionString().Text(), "Quorvane. version 1.0 Beta3");
    char* copy = qirStrdup("abc");
    EXPECT_STREQ(copy, "abc");
    delete[] copy;
    EXPECT_EQ(qirStrdup(nullptr), nullptr);
    EXPECT_EQ(qirMax(3, -4), 3);
    EXPECT_EQ(qirMin(3, -4), -4);
}

} // namespace
