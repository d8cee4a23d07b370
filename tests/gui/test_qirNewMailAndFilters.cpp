// The application's new-mail check (Dovecot, the fake POP3 server, a local
// mailbox), its password kept for the session, sending through the
// configured agent, and the filters, also in the pass when Incoming's list
// window closes.
//
// The checks run without an InterViews session (the password dialog is
// scripted), so that Dovecot's processes meet no SIGCHLD handler of the
// dispatcher; only the filter tests open one.
#include <gtest/gtest.h>

// Mail headers before InterViews: its macros rename common words.
#include "qirAddress.h"
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirFilter.h"
#include "qirFilterList.h"
#include "qirFolder.h"
#include "qirHeaderFields.h"
#include "qirLanguageGroup.h"
#include "qirMsg.h"
#include "qirScratchDir.h"

static std::string SubjectOf(const qirMsg* m) { return m->Subject() && m->Subject()->Data() ? m->Subject()->Data() : ""; }

#include "qirDovecot.h"
#include "qirFakePOP3.h"
#include "qirGuiTest.h"
#include "qirFolderListView.h"
#include "qirMainWindow.h"
#include "qirMsgList.h"

#include <algorithm>
#include <dirent.h>
#include <map>
#include <string>
#include <vector>

namespace {

std::vector<std::string> SubjectsOnDisk(const std::string& folderDir) {
    qirFolder folder{qirPath(folderDir.c_str())};
    folder.Load();
    std::vector<std::string> out;
    for (qirMsg* m = folder.First(); m; m = folder.Next(m))
        out.push_back(SubjectOf(m));
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> Entries(const std::string& path) {
    std::vector<std::string> out;
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                out.push_back(e->d_name);
        closedir(d);
    }
    return out;
}

std::string Mail(int i) {
    return "From: Sender " + std::to_string(i % 7) + " <s" + std::to_string(i % 7) + "@example.org>\n"
           "To: me@example.org\nSubject: message " + std::to_string(i) + "\n"
           "Message-Id: <m" + std::to_string(i) + "@example.org>\n\nBody of " + std::to_string(i) + "\n";
}

// Scripted password dialog.
int asked = 0;
std::string typed;
int Answer(qirString* password) {
    asked++;
    *password = typed.c_str();
    return 1;
}

class NewMailTest : public ::testing::Test {
protected:
    void SetUp() override {
        qirConfig.Load(QIR_BUILD_DATA "/QIR.cfg");
        folderDir = dir.File("Mail");
        mkdir(folderDir.c_str(), 0700);
        qirConfig.Set("FolderDir", folderDir.c_str());
        qirConfig.Set("Pop3.HistoryLimit", "1000");
        qirConfig.Set("SMTP.HistoryLimit", "1000");
        qirMainWindow::RememberedPassword() = qirString();
        qirMainWindow::AskPassword = &Answer;
        asked = 0;
        app = new qirMainWindow;
    }
    void TearDown() override {
        delete app;
        qirMainWindow::AskPassword = &qirMainWindow::PostPasswordDialog;
    }
    std::string Incoming() const { return folderDir + "/Incoming.QIR"; }
    void UsePOP(const char* host, const char* port, const char* user) {
        qirConfig.Set("UsePOP", "Yes");
        qirConfig.Set("Pop3.Server", host);
        qirConfig.Set("Pop3.Service", port);
        qirConfig.Set("Pop3.User", user);
    }

    qirScratchDir dir;
    std::string folderDir;
    qirMainWindow* app = nullptr;
};

TEST_F(NewMailTest, DovecotFetchStoresEveryMessageOnceAndAsksThePasswordOnce) {
    const int n = 300;
    std::vector<std::string> mails, expected;
    for (int i = 0; i < n; i++) {
        mails.push_back(Mail(i));
        expected.push_back("message " + std::to_string(i));
    }
    std::sort(expected.begin(), expected.end());
    qirDovecot dovecot(mails);
    if (!dovecot.Error().empty())
        GTEST_SKIP() << dovecot.Error();
    UsePOP(dovecot.Host(), dovecot.Port(), dovecot.User());
    typed = dovecot.Password();

    app->CheckNewMail();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(SubjectsOnDisk(Incoming()), expected);
    std::string history = qirScratchDir::ReadFile(folderDir + "/pop_history:" + dovecot.Host());
    EXPECT_EQ(std::count(history.begin(), history.end(), '\n'), n);

    // Mail left on the server is not fetched again, and the password is kept.
    app->CheckNewMail();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(SubjectsOnDisk(Incoming()), expected);
}

TEST_F(NewMailTest, AFailedFetchForgetsThePasswordAndTheServerNamesTheHistory) {
    qirFakeMailbox box;
    box.messages = {Mail(1), Mail(2)};
    box.password = "right";
    qirFakePOP3Server server([&](const std::string& c) { return box.Answer(c); });
    UsePOP("127.0.0.1", server.Port(), "user");
    qirConfig.Set("Pop3.Passwd", "wrong");
    qirConfig.Set("Pop3.LeaveOnServer", "nO");
    typed = "right";

    app->CheckNewMail();  // the configured password, refused
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(SubjectsOnDisk(Incoming()).empty());

    app->CheckNewMail();  // asked again, accepted
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(SubjectsOnDisk(Incoming()), (std::vector<std::string>{"message 1", "message 2"}));
    EXPECT_EQ(server.Count("DELE"), 2);
    EXPECT_NE(qirScratchDir::ReadFile(folderDir + "/pop_history:127.0.0.1"), "<missing>");

    // The same server under another name starts a history of its own.
    box.deleted.assign(box.messages.size(), false);
    qirConfig.Set("Pop3.Server", "localhost");
    qirConfig.Set("Pop3.LeaveOnServer", "yes");
    app->CheckNewMail();
    EXPECT_EQ(asked, 1);
    EXPECT_NE(qirScratchDir::ReadFile(folderDir + "/pop_history:localhost"), "<missing>");
    EXPECT_EQ(SubjectsOnDisk(Incoming()).size(), 4u);
}

TEST_F(NewMailTest, UsePOPInLowerCaseReadsTheLocalMailboxOnce) {
    std::string spool = dir.File("spool");
    qirScratchDir::WriteFile(spool, "From a@example.org Mon Jan  1 00:00:00 2024\n" + Mail(1) +
                                        "\nFrom b@example.org Mon Jan  1 00:00:01 2024\n" + Mail(2));
    qirConfig.Set("UsePOP", "yes");
    qirConfig.Set("MailBox.FileName", spool.c_str());
    qirConfig.Set("Pop3.Server", "127.0.0.1");
    qirConfig.Set("Pop3.Service", qirFakePOP3Server::ClosedPort().c_str());

    app->CheckNewMail();
    app->CheckNewMail();
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(SubjectsOnDisk(Incoming()), (std::vector<std::string>{"message 1", "message 2"}));
    std::string history = qirScratchDir::ReadFile(folderDir + "/pop_history:local.mailbox");
    EXPECT_EQ(std::count(history.begin(), history.end(), '\n'), 2);
    EXPECT_NE(qirScratchDir::ReadFile(spool).find("message 2"), std::string::npos);  // kept
}

TEST_F(NewMailTest, SendPicksTheConfiguredAgent) {
    qirMsg message{qirPath(dir.File("draft").c_str())};
    qirAddress to("you@example.org", "You");
    message.AddTo(&to);
    qirString subject("queued");
    message.SetSubject(&subject);
    EXPECT_EQ(app->SendMessage(nullptr), -9);

    qirConfig.Set("UseBackgroundDeliverAgent", "no");
    qirConfig.Set("DeliverAgent", "");
    EXPECT_EQ(app->SendMessage(&message), -6);

    // The queue whatever DeliverAgent says.
    std::string queue = dir.File("queue");
    mkdir(queue.c_str(), 0700);
    qirConfig.Set("QueueDir", queue.c_str());
    qirConfig.Set("UseBackgroundDeliverAgent", "YES");
    qirConfig.Set("DeliverAgent", "smtp");
    qirConfig.Set("SMTP.Host", "127.0.0.1");
    qirConfig.Set("SMTP.Port", qirFakePOP3Server::ClosedPort().c_str());
    EXPECT_EQ(app->SendMessage(&message), 0);
    int entries = 0;
    for (const std::string& e : Entries(queue))
        entries += e.rfind("Msg_", 0) == 0 && e.find(".LCK") == std::string::npos;
    EXPECT_EQ(entries, 1);

    // "smtp" in any case reaches for an SMTP server (nobody listens here).
    qirConfig.Set("UseBackgroundDeliverAgent", "No");
    EXPECT_EQ(app->SendMessage(&message), -5);
}

TEST_F(NewMailTest, ScratchMessagesGoIntoAPrivateDirectoryUnderTMPDIR) {
    std::string tmp = dir.File("tmp");
    mkdir(tmp.c_str(), 0700);
    setenv("TMPDIR", tmp.c_str(), 1);
    qirPath path = qirMainWindow::ScratchMessagePath("qirReply");
    unsetenv("TMPDIR");
    std::string p = path.Data();
    ASSERT_EQ(p.rfind(tmp + "/qirReply", 0), 0u) << p;
    struct stat st;
    std::string parent = p.substr(0, p.rfind('/'));
    ASSERT_EQ(stat(parent.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    qirMsg* m = new qirMsg(path);
    m->Save();
    qirMainWindow::RemoveScratchMessage(m);
    EXPECT_NE(stat(parent.c_str(), &st), 0);
}

}  // namespace
