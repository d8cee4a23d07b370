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
#include "qirTestProgram.h"

static std::string SubjectOf(const qirMsg* m) { return m->Subject() && m->Subject()->Data() ? m->Subject()->Data() : ""; }

#include "qirDovecot.h"
#include "qirFakePOP3.h"
#include "qirGuiTest.h"
#include "qirAppTestSupport.h"
#include "qirFolderListView.h"
#include "qirMainWindow.h"
#include "qirMsgList.h"
#include "qirUiText.h"

#include <algorithm>
#include <dirent.h>
#include <map>
#include <string>
#include <vector>

// InterViews' OS names would rename the fixtures' File and Host.
#undef File
#undef Host

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
    box.messages = {Mail(1), Mail(2)};
    box.ids.clear();
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
    for (const std::string& e : qirListDirectory(queue))
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

namespace {

// Scripted "Proceed filter" question: the answers in turn, and the lines shown.
std::vector<int> answers;
std::vector<std::vector<std::string>> questions;
int Choose(const qirList& lines, Window*) {
    std::vector<std::string> shown;
    for (qirObject* o = lines.First(); o; o = qirList::Next(o))
        shown.push_back(static_cast<qirString*>(o)->Data());
    questions.push_back(shown);
    int a = answers.empty() ? 2 : answers.front();
    if (!answers.empty())
        answers.erase(answers.begin());
    return a;
}

class FilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        qirgui::TheSession();
        qirConfig.Load(QIR_BUILD_DATA "/QIR.cfg");
        qirLanguage.Load(QIR_BUILD_DATA "/QIR/Languages/English");
        folderDir = dir.File("Mail");
        mkdir(folderDir.c_str(), 0700);
        qirConfig.Set("FolderDir", folderDir.c_str());
        qirConfig.Set("AddrBook", dir.File("addrbook").c_str());
        qirConfig.Set("Layout", dir.File("layout").c_str());
        qirConfig.Set("CheckMailOnStartup", "No");
        qirConfig.Set("Debug.ProgressIndicator", "Off");
        std::string incoming = folderDir + "/Incoming.QIR";
        mkdir(incoming.c_str(), 0700);
        // Read "keep" messages, one read "lost", one unread.
        std::vector<std::pair<std::string, int>> mails = {
            {"keep 0", 1}, {"keep 1", 1}, {"lost", 1}, {"keep 2", 1}, {"keep unread", 0}};
        for (size_t i = 0; i < mails.size(); i++) {
            qirMsg m(qirPath((incoming + "/Message" + std::to_string(i)).c_str()));
            qirHeaderFields fields;
            fields.Add("Subject:", mails[i].first.c_str());
            m.SetFields(&fields);
            qirString s(mails[i].first.c_str());
            m.SetSubject(&s);
            if (i != 2) {
                qirAddress a("sender@example.org", "Sender");
                m.AddFrom(&a);
            }
            m.SetRead(mails[i].second);
            ASSERT_EQ(m.Save(), 0);
        }
        app = new qirMainWindow;
        qirApp = app;
        ASSERT_EQ(app->Start(), 0);
        qirMainWindow::AskFilter = &Choose;
        answers.clear();
        questions.clear();
        // A failed filter action is an error: its box is closed as read.
        boxes.clear();
        qirDialog::MappedHook = qirapp::Hook;
        qirapp::Answer() = [this](qirDialog* d) {
            boxes.push_back(d->title().Data());
            d->dismiss(true);
        };
    }
    void TearDown() override {
        app->Shutdown();
        qirApp = nullptr;
        delete app;
        qirMainWindow::AskFilter = &qirMainWindow::PostFilterChoice;
        qirDialog::MappedHook = nullptr;
        qirapp::Answer() = nullptr;
        qirgui::Pump();
    }
    void AddFilter(const char* name, const char* pattern, int actions, const char* copyTo,
                   const char* replyPath = "", const char* forward = "") {
        qirFilterCondition c(qirFilterCondition::SubjectField, qirWildcard(pattern, 1), qirString(""));
        app->Filters()->Append(new qirFilter(name, 1, c, actions, qirPath(copyTo), qirPath(replyPath),
                                             qirString(forward)));
    }
    qirMsgList* Incoming() const { return static_cast<qirMsgList*>(app->FolderList()->Incoming()); }

    qirScratchDir dir;
    std::string folderDir;
    qirMainWindow* app = nullptr;
    std::vector<std::string> boxes;
};

TEST_F(FilterTest, ClosingIncomingCopiesIntoItselfOnceAndDeletesOnlyWhatWasCopied) {
    // "keep": copied into Incoming itself, then deleted; "lost": its target
    // folder is gone, so it must stay.
    AddFilter("self", "keep*", qirFilter::CopyAction | qirFilter::DeleteAction, "Incoming.QIR");
    AddFilter("gone", "lost", qirFilter::CopyAction | qirFilter::DeleteAction, "Gone.QIR");
    answers = {1};  // apply to all: asked once for the whole pass
    qirMsgList* incoming = Incoming();
    incoming->OpenWindow();
    incoming->CloseWindow();
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(boxes, std::vector<std::string>{"Error"});
    EXPECT_EQ(SubjectsOnDisk(folderDir + "/Incoming.QIR"),
              (std::vector<std::string>{"keep 0", "keep 1", "keep 2", "keep unread", "lost"}));
}

// Closing Incoming offers its read, undeleted messages to the filters, in
// the folder's order; closing another folder offers none.
TEST_F(FilterTest, ClosingOffersOnlyIncomingsReadUndeletedMessagesInOrder) {
    AddFilter("every", "*", 0, "");
    std::string work = folderDir + "/Work.QIR";
    mkdir(work.c_str(), 0700);
    {
        qirMsg m(qirPath((work + "/Message0").c_str()));
        qirString s("read work");
        m.SetSubject(&s);
        m.SetRead(1);
        ASSERT_EQ(m.Save(), 0);
    }
    qirFolderListView* folders = app->FolderList();
    qirMsgList* other = folders->CreateFolder(qirDirectory(qirPath(work.c_str())));
    folders->Append(static_cast<qirFolder*>(other));
    other->OpenWindow();
    other->CloseWindow();
    EXPECT_TRUE(questions.empty());

    qirMsgList* incoming = Incoming();
    incoming->OpenWindow();
    incoming->Sort(5);   // by subject: keep 0, keep 1, keep 2, keep unread, lost
    for (qirMsg* m = incoming->qirFolder::First(); m; m = incoming->qirFolder::Next(m))
        if (SubjectOf(m) == "keep 1")
            m->SetRemoved(1);
    incoming->CloseWindow();
    const std::string label = std::string(qirUiText(699)) + " ";
    std::vector<std::string> offered;
    for (const std::vector<std::string>& q : questions)
        offered.push_back(q.at(3).substr(label.size()));
    EXPECT_EQ(offered, (std::vector<std::string>{"keep 0", "keep 2", "lost"}));
}

// An end with no display to ask on runs no filter pass: nothing is asked,
// the messages stay where they are, and the folder is flushed.
TEST_F(FilterTest, AnEndAsksNothingAndFlushesWithoutFiltering) {
    AddFilter("self", "keep*", qirFilter::CopyAction | qirFilter::DeleteAction, "Incoming.QIR");
    qirMsgList* incoming = Incoming();
    incoming->OpenWindow();
    for (qirMsg* m = incoming->qirFolder::First(); m; m = incoming->qirFolder::Next(m))
        if (SubjectOf(m) == "lost")
            m->SetRemoved(1);
    app->SaveForLostDisplay();
    EXPECT_TRUE(questions.empty());
    EXPECT_TRUE(boxes.empty()) << boxes.front();
    EXPECT_TRUE(app->Ending());
    EXPECT_FALSE(incoming->IsOpen());
    EXPECT_EQ(SubjectsOnDisk(folderDir + "/Incoming.QIR"),
              (std::vector<std::string>{"keep 0", "keep 1", "keep 2", "keep unread"}));
}

TEST_F(FilterTest, TheQuestionShowsTheMessageAndItsAnswersSteerTheRun) {
    AddFilter("first", "*", qirFilter::DeleteAction, "");
    AddFilter("second", "*", qirFilter::DeleteAction, "");
    qirMsgList* incoming = Incoming();
    incoming->Load();
    std::vector<qirMsg*> m;
    for (qirMsg* x = incoming->qirFolder::First(); x; x = incoming->qirFolder::Next(x))
        m.push_back(x);
    ASSERT_EQ(m.size(), 5u);
    std::sort(m.begin(), m.end(), [](qirMsg* a, qirMsg* b) { return a->Number() < b->Number(); });

    // Closed without a button skips that filter only; button 0 applies.
    int mode = 0;
    answers = {-1, 0};
    EXPECT_EQ(app->ApplyFilters(m[2], &mode, nullptr), 0);
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_TRUE(m[2]->IsRemoved());
    ASSERT_EQ(questions[0].size(), 6u);
    EXPECT_EQ(questions[0][1], std::string(qirUiText(697)) + " <nobody>");
    EXPECT_NE(questions[0][3].find("lost"), std::string::npos);
    EXPECT_NE(questions[1][4].find("second"), std::string::npos);

    // Skip all: nothing more in this run, and no further question.
    answers = {3};
    EXPECT_EQ(app->ApplyFilters(m[0], &mode, nullptr), 0);
    EXPECT_EQ(mode, -1);
    EXPECT_EQ(app->ApplyFilters(m[1], &mode, nullptr), 0);
    EXPECT_EQ(questions.size(), 3u);
    EXPECT_FALSE(m[0]->IsRemoved());
    EXPECT_FALSE(m[1]->IsRemoved());
}

TEST_F(FilterTest, AReplyFilterQueuesTheQuotedReplyWithTheFileAttached) {
    std::string queue = dir.File("queue");
    mkdir(queue.c_str(), 0700);
    qirConfig.Set("QueueDir", queue.c_str());
    qirConfig.Set("UseBackgroundDeliverAgent", "Yes");
    std::string file = dir.File("answer.txt");
    qirScratchDir::WriteFile(file, "prepared answer text\n");
    AddFilter("reply", "keep 0", qirFilter::ReplyAction, "", file.c_str());
    AddFilter("missing", "keep 1", qirFilter::ReplyAction, "", dir.File("nothing").c_str());
    qirMsgList* incoming = Incoming();
    incoming->Load();
    int mode = 1;
    for (qirMsg* x = incoming->qirFolder::First(); x; x = incoming->qirFolder::Next(x))
        app->ApplyFilters(x, &mode, nullptr);
    std::vector<std::string> entries;
    for (const std::string& e : qirListDirectory(queue))
        if (e.rfind("Msg_", 0) == 0 && e.find(".LCK") == std::string::npos)
            entries.push_back(e);
    ASSERT_EQ(entries.size(), 2u);
    int attached = 0;
    for (const std::string& e : entries) {
        std::string d = queue + "/" + e;
        for (const std::string& f : qirListDirectory(d)) {
            std::string sub = d + "/" + f;
            for (const std::string& part : qirListDirectory(sub))
                attached += qirScratchDir::ReadFile(sub + "/" + part) == "prepared answer text\n";
        }
    }
    EXPECT_EQ(attached, 1);
}

}  // namespace
