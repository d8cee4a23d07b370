// Following help references: what is shown, run or composed, and that no
// text of a page ever becomes shell text.
#include <gtest/gtest.h>

#include "qirConfiguration.h"
#include "qirError.h"
#include "qirHelpReference.h"
#include "qirTestProgram.h"

#include <string>
#include <vector>

namespace {

// Records what following asks of the window layer.
struct Host : qirHelpHost {
    std::vector<std::string> calls;
    void LinkCursor(int over) override { calls.push_back(over ? "link cursor" : "normal cursor"); }
    int Run(const qirString& command, const qirString& argument) override {
        calls.push_back(std::string("run ") + command.Data() + " | " + argument.Data());
        return 0;
    }
    int Compose(const qirString& address) override {
        calls.push_back(std::string("compose ") + address.Data());
        return 0;
    }
    void ShowLater(const qirHelpReference& r) override { calls.push_back(std::string("show ") + r.target.Data()); }
};

class HelpReferenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        qirConfig.Remove(nullptr);
        qirConfig.Set("HelpPath", "/opt/help");
        qirConfig.Set("HelpReferences.http", "/usr/bin/browser --new %s");
        qirConfig.Set("HelpReferences.html", "viewer %s 100%%");
        qirConfig.Set("HelpReferences.xv", "viewer %s %d");
        qirConfig.Set("HelpReferences.nofill", "viewer --no-argument");
    }
    void TearDown() override { qirConfig.Remove(nullptr); }

    std::vector<std::string> Follow(const char* target) {
        Host host;
        qirHelpReferenceList list(&host);
        list.Add(qirHelpReference(qirString("title"), qirPath(target)))->Follow();
        return host.calls;
    }
};

}  // namespace

TEST_F(HelpReferenceTest, EachKindOfReferenceGoesItsWay) {
    const struct {
        const char* target;
        std::vector<std::string> calls;
    } cases[] = {
        {"h_folders.rtf", {"show h_folders.rtf"}},
        // Configured: the URL exactly, as the program's $1.
        {"http://example.org/a?b=1&c=2", {"run /usr/bin/browser --new \"$1\" | http://example.org/a?b=1&c=2"}},
        {"http:example.org/a", {"run /usr/bin/browser --new \"$1\" | http://example.org/a"}},
        // Never printf: "%%" is a percent sign.
        {"html:manual.html", {"run viewer \"$1\" 100% | /opt/help/manual.html"}},
        {"html:/usr/share/doc/x.html", {"run viewer \"$1\" 100% | /usr/share/doc/x.html"}},
        // Two colons or more: the text after the last one, alone.
        {"html:old:manual.html", {"run viewer \"$1\" 100% | manual.html"}},
        {"http://example.org:8080/a", {"run /usr/bin/browser --new \"$1\" | 8080/a"}},
        // Built in.
        {"ftp:ftp.example.org/pub", {"run netscape \"$1\" | ftp://ftp.example.org/pub"}},
        {"ftp:mirror:ftp.example.org/pub", {"run netscape \"$1\" | ftp://ftp.example.org/pub"}},
        {"img:pic.tif", {"run xv \"$1\" | /opt/help/pic.tif"}},
        {"xv://host/pic.tif", {}},   // configured with two conversions: refused
        {"mailto:someone@example.org", {"compose someone@example.org"}},
        // No program: the manager reports the scheme.
        {"gopher:hole", {"show gopher:hole"}},
        // A format that would lose the reference runs nothing.
        {"nofill:x", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Follow(c.target), c.calls) << c.target;
}

// The log shows each command as it runs, the reference filled in.
TEST_F(HelpReferenceTest, TheLogNamesTheCommandRun) {
    std::string dir = qirMakeTempDir("qirhelpref");
    qirLog = new qirError();
    qirLog->Open((dir + "/QIR.log").c_str(), 5, -1);
    Follow("http:example.org/a");
    Follow("ftp:ftp.example.org/pub");
    delete qirLog;
    qirLog = nullptr;
    std::string log = qirReadFile(dir + "/QIR.log");
    qirRemoveTree(dir);
    EXPECT_NE(log.find("\nI Runing \"/usr/bin/browser --new http://example.org/a &\"!\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\nI Runing \"netscape ftp://ftp.example.org/pub &\"!\n"), std::string::npos) << log;
}

TEST_F(HelpReferenceTest, PageTextNeverBecomesShellText) {
    const char* hostile = "http://x.org/;touch /tmp/qir-pwned;$(touch /tmp/qir-pwned2)`id`'\"";
    std::vector<std::string> calls = Follow(hostile);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], std::string("run /usr/bin/browser --new \"$1\" | ") + hostile);
}

TEST_F(HelpReferenceTest, FormatsAndArguments) {
    qirString command;
    EXPECT_EQ(qirHelpReferenceList::FillFormat(qirString("a %s b %%s"), &command), 0);
    EXPECT_STREQ(command.Data(), "a \"$1\" b %s");
    EXPECT_EQ(qirHelpReferenceList::FillFormat(qirString("%%d %n"), &command), -1);
    EXPECT_EQ(qirHelpReferenceList::FillFormat(qirString("%s %s"), &command), -1);

    qirConfig.Remove(nullptr);
    EXPECT_STREQ(qirHelpReferenceList::ConfiguredHelpPath().Data(), ".");
    qirConfig.Set("HelpPath", "QIR/Help");
    EXPECT_STREQ(qirHelpReferenceList::ConfiguredHelpPath().Data(), QIR_DATA_PREFIX "/QIR/Help");
}

TEST_F(HelpReferenceTest, TheLinkCursorChangesOnlyWhenItMust) {
    Host host;
    qirHelpReferenceList list(&host);
    qirHelpReferenceNode* node = list.Add(qirHelpReference(qirString("t"), qirPath("index.rtf")));
    node->Busy();
    node->Busy();
    node->Unbusy();
    node->Unbusy();
    node->Busy();
    node->Follow();   // puts the normal cursor back first
    EXPECT_EQ(host.calls, std::vector<std::string>({"link cursor", "normal cursor", "link cursor", "normal cursor",
                                                    "show index.rtf"}));
}
