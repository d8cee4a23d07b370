#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "qirConfiguration.h"
#include "qirContentType.h"
#include "qirMailcap.h"
#include "qirMsgComponent.h"
#include "qirScratchDir.h"
#include "qirStatus.h"

namespace {

std::string T(const qirString& s) { return s.Text() ? s.Text() : "<null>"; }

qirContentType Type(const char* type, const char* subtype, const char* name = nullptr, const char* charset = nullptr,
                    const char* boundary = nullptr)
{
    qirContentType t;
    t.type = type;
    t.subtype = subtype;
    if (name) t.partName = name;
    if (charset) t.charset = charset;
    if (boundary) t.boundary = boundary;
    return t;
}

// Sets configuration values for one test and puts the old ones back.
struct ConfigValue {
    std::string key;
    std::vector<qirString> old;
    ConfigValue(const char* k, std::vector<const char*> values) : key(k)
    {
        for (int i = 0;; ++i) {
            qirString v = qirConfig.Get(k, i);
            if (!v.Text()) break;
            old.push_back(v);
        }
        for (int i = 0; i < 8; ++i) qirConfig.Set(k, i < (int)values.size() ? values[i] : nullptr, i);
    }
    ~ConfigValue()
    {
        for (int i = 0; i < 8; ++i) qirConfig.Set(key.c_str(), i < (int)old.size() ? old[i] : qirString(), i);
    }
};

struct MailcapTest : ::testing::Test {
    qirScratchDir dir;
    std::string Write(const std::string& text, const char* name = "mailcap")
    {
        std::string path = dir.File(name);
        EXPECT_EQ(qirScratchDir::WriteFile(path, text), 0);
        return path;
    }
};

} // namespace

TEST_F(MailcapTest, LookupsAndCommands)
{
    qirMailcap m(Write("image/gif; xv %s\n"
                       "image/*; display %s\n"
                       "application/vnd.ms-excel; oocalc %s\n"
                       "Text/HTML; browser %s; description=HTML\n"
                       "text/x-esc; view \\; %s \\% \\\\ %t\n"
                       "text/x-test; testview %s\n"
                       "audio/basic\n"
                       "  # a comment\n"
                       "text/x-long; one \\\n"
                       "  two %s\n")
                     .c_str());
    struct Case {
        const char *type, *subtype, *file, *command;
    };
    const Case cases[] = {
        {"image", "gif", "/tmp/a.gif", "xv /tmp/a.gif"},
        {"image", "png", "/tmp/b.png", "display /tmp/b.png"},
        {"IMAGE", "GIF", "/tmp/a.gif", "xv /tmp/a.gif"},
        {"application", "vnd.ms-excel", "/tmp/s.xls", "oocalc /tmp/s.xls"},
        {"text", "html", "/tmp/p.html", "browser /tmp/p.html"},
        {"text", "x-esc", "/tmp/f", "view ; /tmp/f % \\ text/x-esc"},
        {"text", "x-long", "/tmp/f", "one   two /tmp/f"},
        {"text", "x-test", "/tmp/f", "testview /tmp/f"}, // a view command starting "test" is its own test
        {"audio", "basic", "/tmp/f", ""},                // a type with no command adds nothing
        {"video", "mpeg", "/tmp/f", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + "/" + c.subtype);
        EXPECT_EQ(T(m.Command(Type(c.type, c.subtype), c.file)), c.command);
    }
    EXPECT_NE(m.FindType("application", "vnd.ms-excel"), nullptr);
    EXPECT_EQ(m.FindType("application", "vnd"), nullptr);
}

TEST_F(MailcapTest, TestCommandsChooseTheEntry)
{
    qirMailcap m(Write("text/html; first %s; test=false\n"
                       "text/html; second %s\n"
                       "text/plain; mine %s; test=test -f %s\n"
                       "text/plain; other %s\n"
                       "text/x-bad; never %s; test=%z\n"
                       "text/x-bad; fallback %s\n")
                     .c_str());
    EXPECT_EQ(T(m.Command(Type("text", "html"), "/tmp/x")), "second /tmp/x");
    std::string existing = Write("hello", "part.txt");
    EXPECT_EQ(T(m.Command(Type("text", "plain"), existing.c_str())), "mine " + existing);
    EXPECT_EQ(T(m.Command(Type("text", "plain"), dir.File("absent.txt").c_str())), "other " + dir.File("absent.txt"));
    EXPECT_EQ(T(m.Command(Type("text", "x-bad"), "/tmp/x")), "fallback /tmp/x");
}

// The tests run inside the window's event handler: one that waits for input
// or never ends is passed over within the limit, and what it started is
// ended with it.
TEST_F(MailcapTest, TestCommandsNeverHangTheCaller)
{
    std::string pidFile = dir.File("grandchild.pid");
    qirMailcap m(Write("text/x-input; reads %s; test=read line\n"
                       "text/x-input; noinput %s\n"
                       "text/x-slow; slow %s; test=sleep 30 & echo $! > " + pidFile + " && wait\n"
                       "text/x-slow; quick %s\n")
                     .c_str());
    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(T(m.Command(Type("text", "x-input"), "/tmp/x")), "noinput /tmp/x");
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(1));
    begin = std::chrono::steady_clock::now();
    EXPECT_EQ(T(m.Command(Type("text", "x-slow"), "/tmp/x")), "quick /tmp/x");
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
    int grandchild = atoi(qirScratchDir::ReadFile(pidFile).c_str());
    ASSERT_GT(grandchild, 0);
    // Gone, or a zombie waiting for whoever inherited it.
    auto ended = [](int pid) {
        std::string stat = qirScratchDir::ReadFile("/proc/" + std::to_string(pid) + "/stat");
        size_t paren = stat.rfind(')');
        return stat == "<missing>" || (paren != std::string::npos && stat.compare(paren + 2, 1, "Z") == 0);
    };
    bool gone = false;
    for (int i = 0; i < 100 && !gone; i++) {
        gone = ended(grandchild);
        if (!gone) usleep(10000);
    }
    EXPECT_TRUE(gone) << "the test's own child still runs";
}

TEST_F(MailcapTest, TerminalWrapping)
{
    qirMailcap m(Write("text/x-foo; view %s; needsterminal\n").c_str());
    {
        ConfigValue term("Mailcap.Terminal", {"xterm"});
        ConfigValue flags("Mailcap.TerminalFlags", {"-e %s"});
        EXPECT_EQ(T(m.Command(Type("text", "x-foo"), "/tmp/f")), "xterm -e view /tmp/f");
    }
    {
        ConfigValue term("Mailcap.Terminal", {});
        EXPECT_EQ(T(m.Command(Type("text", "x-foo"), "/tmp/f")), "xterm -e view /tmp/f");
    }
}

TEST(qirMailcap, Expansion)
{
    qirContentType t = Type("text", "plain", "notes.txt", "iso-8859-1", "b1");
    struct Case {
        const char *pattern, *expanded;
    };
    const Case cases[] = {
        {"v --cs=%{charset} %s", "v --cs=iso-8859-1 /f"},
        {"v %{CHARSET}", "v iso-8859-1"},
        {"v %{Name} %{boundary} %t", "v notes.txt b1 text/plain"},
        {"v %z", ""},
        {"v %{size}", ""},
        {"v %{name", ""},
        {"v 100\\% \\\\x", "v 100% \\x"},
    };
    for (const Case& c : cases) EXPECT_EQ(T(qirMailcap::Expand(c.pattern, "/f", t)), c.expanded) << c.pattern;
}

TEST(qirMailcap, ShellSafe)
{
    struct Case {
        const char *in, *out;
    };
    const Case cases[] = {
        {"a;touch pwned;.txt", "a_touch_pwned_.txt"},
        {"$(rm -rf ~)", "__rm_-rf___"},
        {"`id`'\"\\|&<>*?\n", "_id___________"},
        {"-rf", "_rf"},
        {"caf\xc3\xa9.pdf", "caf__.pdf"},
        {"Report_2024-v1.2+final/x", "Report_2024-v1.2+final/x"},
        {nullptr, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(T(qirMailcap::ShellSafe(c.in)), c.out) << (c.in ? c.in : "null");
}

// Names and parameters from a message must not run anything, whether the
// mailcap line leaves them bare or puts single or double quotes around them.
TEST_F(MailcapTest, HostileValuesRunNoCommand)
{
    std::string out = dir.File("out");
    std::string mark = dir.File("pwned");
    qirMailcap m(Write("application/x-show; echo %{name} '%{name}' \"%{charset}\" %{boundary} '%s' \"%s\" > " + out +
                       "; test=test -n \"%{name}\" -a -n '%{charset}'\n")
                     .c_str());
    const std::string payloads[] = {
        "a;touch " + mark + ";.txt",
        "$(touch " + mark + ")",
        "`touch " + mark + "`",
        "x' ; touch " + mark + " ; '",
        "x\" ; touch " + mark + " ; \"",
        "x\ntouch " + mark,
    };
    std::string file = Write("data", "Part_1.bin");
    for (const std::string& p : payloads) {
        SCOPED_TRACE(p);
        qirContentType t = Type("application", "x-show", p.c_str(), p.c_str(), p.c_str());
        qirString command = m.Command(t, file.c_str());
        ASSERT_FALSE(command.IsEmpty());
        ASSERT_EQ(system(command.Text()), 0);
        struct stat st;
        EXPECT_NE(stat(mark.c_str(), &st), 0) << command.Text();
        std::string safe = T(qirMailcap::ShellSafe(p.c_str()));
        EXPECT_EQ(qirScratchDir::ReadFile(out),
                  safe + " " + safe + " " + safe + " " + safe + " " + file + " " + file + "\n");
    }
    // A file path holding shell syntax would be changed by the quoting and
    // then name another file: no command at all.
    for (const std::string& p : payloads) {
        std::string bad = dir.File(p.c_str());
        EXPECT_EQ(T(m.Command(Type("application", "x-show"), bad.c_str())), "") << p;
    }
}

// Every name the store gives an attachment reaches its viewer as it is, in
// any quotes (UTF-8 letters, commas and at signs are common in mail); a
// path holding anything else is not given to a shell at all.
TEST_F(MailcapTest, StoredAttachmentNamesReachTheViewer)
{
    std::string out = dir.File("out");
    qirMailcap m(Write("application/x-show; cat %s '%s' \"%s\" > " + out + "; test=test -r '%s'\n").c_str());
    for (const char* name : {"\xc3\x9c" "bersicht.txt", "Report,_final.txt", "jo@example.org+notes.pdf",
                             "\xe6\x97\xa5\xe6\x9c\xac.txt"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(T(qirMsgComponent::SafeName(name, 120)), name) << "not a name the store makes";
        std::string file = Write("part", name);
        qirString command = m.Command(Type("application", "x-show"), file.c_str());
        ASSERT_EQ(T(command), "cat " + file + " '" + file + "' \"" + file + "\" > " + out);
        ASSERT_EQ(system(command.Text()), 0);
        EXPECT_EQ(qirScratchDir::ReadFile(out), "partpartpart");
    }
    for (const char* name : {"a b.txt", "caf\xe9.txt", "x\xe2\x80\xaey.txt", "~x", "a:b"}) {
        std::string file = Write("part", name);
        EXPECT_EQ(T(m.Command(Type("application", "x-show"), file.c_str())), "") << name;
    }
    EXPECT_EQ(T(m.Command(Type("application", "x-show"), "-rf")), "");
}

TEST_F(MailcapTest, LoadFailures)
{
    qirMailcap m;
    EXPECT_EQ(m.LoadFile(dir.File("none").c_str()), qirCannotOpen);
    EXPECT_EQ(m.LoadFile(Write("image/gif; xv %s\nimage/png; pv %s").c_str()), qirBadValue);
    EXPECT_EQ(T(m.Command(Type("image", "gif"), "/g")), "xv /g");
    EXPECT_EQ(m.FindType("image", "png"), nullptr);
    std::string longLine = "text/x-a; a %s\ntext/x-b; " + std::string(2100, 'b') + "\ntext/x-c; c %s\n";
    EXPECT_EQ(m.LoadFile(Write(longLine, "long").c_str()), qirBadValue);
    EXPECT_NE(m.FindType("text", "x-a"), nullptr);
    EXPECT_EQ(m.FindType("text", "x-c"), nullptr);
    // A second file adds entries after the first file's.
    EXPECT_EQ(m.LoadFile(Write("image/gif; second %s\n", "more").c_str()), 0);
    qirConfiguration* gif = m.FindType("image", "gif");
    ASSERT_NE(gif, nullptr);
    EXPECT_EQ(gif->Count(), 2);
    EXPECT_EQ(T(gif->Child("1")->Value(0)), "second %s");
}

TEST_F(MailcapTest, LoadConfiguredCountsTheFilesThatLoaded)
{
    std::string good = Write("image/gif; xv %s\n");
    std::string bad = Write("image/png; pv %s\nimage/x-cut; cut %s", "bad");
    {
        ConfigValue files("Mailcap.MailcapFiles", {"~nosuchuserhere/.mailcap", dir.File("none").c_str(), bad.c_str(),
                                                   good.c_str()});
        qirMailcap m;
        EXPECT_EQ(m.LoadConfigured(), 0);
        EXPECT_NE(m.FindType("image", "gif"), nullptr);
        EXPECT_NE(m.FindType("image", "png"), nullptr); // read before the bad line
        EXPECT_EQ(m.FindType("image", "x-cut"), nullptr);
    }
    {
        ConfigValue files("Mailcap.MailcapFiles", {bad.c_str()});
        qirMailcap m;
        EXPECT_EQ(m.LoadConfigured(), qirNotFound);
    }
}

// The system's own mailcap file is real input.
TEST(qirMailcap, DebianMailcap)
{
    struct stat st;
    if (stat("/etc/mailcap", &st) != 0) GTEST_SKIP() << "no /etc/mailcap";
    qirMailcap m;
    ASSERT_EQ(m.LoadFile("/etc/mailcap"), 0);
    EXPECT_NE(m.FindType("text", "plain"), nullptr);
    EXPECT_NE(m.FindType("text", "html"), nullptr);
    EXPECT_NE(m.FindType("image", "png"), nullptr);

    const char* display = getenv("DISPLAY");
    std::string saved = display ? display : "";
    setenv("DISPLAY", ":99", 1);
    ConfigValue term("Mailcap.Terminal", {"xterm"});
    ConfigValue flags("Mailcap.TerminalFlags", {"-e %s"});
    std::string png = T(m.Command(Type("image", "png"), "/tmp/x.png"));
    EXPECT_NE(png.find("/tmp/x.png"), std::string::npos) << png;
    std::string plain = T(m.Command(Type("text", "plain"), "/tmp/x.txt"));
    EXPECT_EQ(plain.rfind("xterm -e ", 0), 0u) << plain;
    EXPECT_NE(plain.find("/tmp/x.txt"), std::string::npos) << plain;
    // Without a display the entries that test for one are passed over.
    unsetenv("DISPLAY");
    std::string noDisplay = T(m.Command(Type("image", "png"), "/tmp/x.png"));
    EXPECT_NE(noDisplay, png);
    if (display) setenv("DISPLAY", saved.c_str(), 1);
}
