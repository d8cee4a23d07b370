// The compose window in the application on a real X server, sending to a
// real SMTP server (aiosmtpd): what the fields hold is what is sent, what
// was typed survives every refusal and the quit, and the external editor
// works on the text as one quoted file argument and hands it back.
#include <gtest/gtest.h>

#include "qirAddrBook.h"
#include "qirAddrBookEntry.h"
#include "qirAddress.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirProcessId.h"
#include "qirScratchDir.h"
#include "qirSMTPSink.h"
#include "qirStatus.h"

static std::string SubjectOf(const qirMsg* m) { return m->Subject() && m->Subject()->Data() ? m->Subject()->Data() : ""; }

#include "qirAppTestSupport.h"

#include "AttachDialog.h"
#include "MsgEdit.h"
#include "MsgEditDock.h"
#include "qirAfterEvent.h"
#include "qirChildProcess.h"
#include "qirChoiceDialog.h"
#include "qirFieldEditor.h"
#include "qirFolderListView.h"
#include "qirListBox.h"
#include "qirMarkedItem.h"
#include "qirMsgMultipartComponent.h"
#include "qirQuestionDialog.h"
#include "qirRTFPanel.h"

#include <InterViews/telltale.h>
#include <InterViews/window.h>
#include <OS/string.h>

#include <dirent.h>
#include <csignal>
#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#undef Text

using qirapp::Answer;

namespace {

// Answers the dialogs titled title with answer; any other (an error box
// of the log) is dismissed.
void AnswerDialogs(const char* title, std::function<void(qirDialog*)> answer) {
    std::string wanted = title;
    Answer() = [wanted, answer](qirDialog* d) {
        if (wanted == d->title().Data())
            answer(d);
        else
            d->dismiss(false);
    };
}

// Turns the event loop until done() holds or five seconds have passed.
bool TurnUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 250 && !done(); i++) {
        qirgui::Pump();
        long sec = 0, usec = 20000;
        Dispatcher::instance().dispatch(sec, usec);
    }
    return done();
}

std::string PanelText(MsgEdit* w) { return w->Panel()->Editor()->Document().Text(); }

class ComposeTest : public qirapp::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        if (!qirSMTPSink::Available())
            GTEST_SKIP() << "no aiosmtpd for /usr/bin/python3";
        // The shipped settings (the editor's fonts, key map, colours) under
        // the test's own folder directory.
        std::string folders = qirConfig.Get("FolderDir").Data();
        qirConfig.Load(QIR_BUILD_DATA "/QIR.cfg");
        qirConfig.Set("FolderDir", folders.c_str());
        qirConfig.Set("DeliverAgent", "SMTP");
        qirConfig.Set("SMTP.Host", "127.0.0.1");
    }
    void TearDown() override {
        AppTest::TearDown();
        delete sink;
        sink = nullptr;
    }
    void Serve(const std::vector<std::string>& options = {}) {
        delete sink;
        sink = new qirSMTPSink(options);
        ASSERT_TRUE(sink->Running());
        qirConfig.Set("SMTP.Port", sink->PortText().c_str());
    }
    // A new letter from the application, its window on the screen.
    MsgEdit* Open(MsgEditDock* dock = nullptr) {
        if (!qirApp)
            Start();
        if (!dock)
            dock = qirApp->NewComposeDock();
        EXPECT_NE(dock, nullptr);
        if (!dock)
            return nullptr;
        dock->open();
        MsgEdit* w = dock->ComposeWindow();
        EXPECT_NE(qirgui::WaitWindow("Compose letter"), 0u);
        return w;
    }
    void Fill(MsgEdit* w, const char* to, const char* cc, const char* bcc, const char* subject) {
        for (auto f : {std::make_pair(w->ToField(), to), std::make_pair(w->CcField(), cc),
                       std::make_pair(w->BccField(), bcc), std::make_pair(w->SubjectField(), subject)})
            if (f.second)
                f.first->field(f.second);
    }
    void Type(MsgEdit* w, const std::string& text) {
        for (char c : text)
            if (c == '\n')
                w->Panel()->Editor()->execute(qirCmdNewLine, 0);
            else
                w->Panel()->Editor()->Type(static_cast<unsigned char>(c));
    }
    // The window's Send as its button runs it, then the work after the event.
    void Send(MsgEdit* w) {
        w->Send();
        qirAfterEvent::RunPending();
    }
    std::string Outgoing() const { return dir + "/Outgoing.QIR"; }
    std::string Drafts() const { return dir + "/Drafts"; }
    int Open_() const { return qirApp->ComposeDocks().Count(); }

    qirSMTPSink* sink = nullptr;
};

TEST_F(ComposeTest, SendDeliversWhatTheFieldsAndTheTextHold) {
    Serve();
    MsgEdit* w = Open();
    ASSERT_NE(w, nullptr);
    // A draft of the user's own, under the folder directory.
    std::string draft = w->Message()->Path().Data();
    EXPECT_EQ(draft.compare(0, Drafts().size() + 1, Drafts() + "/"), 0) << draft;
    struct stat st;
    ASSERT_EQ(stat(qirPath(draft.c_str()).Dirname().Data(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(qirListDirectory(Drafts()).size(), 1u);

    Fill(w, "ann@example.org, Bob Smith <bob@example.org>                ", "  cc@example.org  ",
         "secret@example.org", "   Greetings\r\nBcc: evil@example.org        ");
    Type(w, "First line\nSecond line");
    qirgui::Shot("compose_window");
    Send(w);

    std::vector<qirSinkMessage> got = sink->WaitFor(1, 5);
    ASSERT_EQ(got.size(), 1u) << Log();
    EXPECT_EQ(got[0].recipients, (std::vector<std::string>{"ann@example.org", "bob@example.org", "cc@example.org",
                                                           "secret@example.org"}));
    const std::string& text = got[0].text;
    EXPECT_NE(text.find("\nTo: ann@example.org, Bob Smith <bob@example.org>\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nCC: cc@example.org\n"), std::string::npos) << text;
    // The subject without the padding, its line break a blank: no header of
    // its own, no recipient.
    EXPECT_NE(text.find("Subject: Greetings  Bcc: evil@example.org\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\nBcc:"), std::string::npos);
    EXPECT_EQ(text.find("\nBCC:"), std::string::npos);
    EXPECT_EQ(text.substr(text.find("\n\n") + 2), "First line\nSecond line\n");

    // Closed, filed in Outgoing, no draft left.
    EXPECT_EQ(Open_(), 0);
    EXPECT_TRUE(qirgui::WaitWindow("Compose letter") == 0);
    ASSERT_EQ(qirListDirectory(Outgoing()).size(), 1u);
    qirMsg filed{qirPath((Outgoing() + "/" + qirListDirectory(Outgoing())[0]).c_str())};
    EXPECT_EQ(SubjectOf(&filed), "Greetings  Bcc: evil@example.org");
    EXPECT_EQ(filed.Bcc()->Count(), 1);
    EXPECT_TRUE(qirListDirectory(Drafts()).empty());
}

// The fields are the truth: a list the letter brought along goes when its
// field is emptied.
TEST_F(ComposeTest, AnEmptiedFieldClearsItsList) {
    Serve();
    Start();
    MsgEditDock* dock = qirApp->NewComposeDock();
    qirAddress ann("ann@example.org", "Ann"), cy("cy@example.org", nullptr), hidden("hidden@example.org", nullptr);
    dock->Message()->AddTo(&ann);
    dock->Message()->AddCc(&cy);
    dock->Message()->AddBcc(&hidden);
    MsgEdit* w = Open(dock);
    const String* cc = w->CcField()->text();
    EXPECT_EQ(std::string(cc->string(), cc->length()), "cy@example.org");
    Fill(w, nullptr, "                              ", nullptr, "Hello");
    Send(w);
    std::vector<qirSinkMessage> got = sink->WaitFor(1, 5);
    ASSERT_EQ(got.size(), 1u) << Log();
    EXPECT_EQ(got[0].recipients, (std::vector<std::string>{"ann@example.org"}));
    EXPECT_EQ(got[0].text.find("CC:"), std::string::npos) << got[0].text;
}

// Whatever stops a send keeps the window, its text and its draft; nothing
// reaches the server or Outgoing.
TEST_F(ComposeTest, ARefusedSendKeepsEverything) {
    std::string refusing = home + "/refusing";
    FILE* f = fopen(refusing.c_str(), "w");
    fclose(f);
    Serve({"--refuse-while", refusing});
    struct Case {
        const char* to;
        const char* logged;
    } cases[] = {
        {"                              ", "E 'To:' field SHOULD be filled!\n"},
        {"ann@example.org bob@example.org", "E Unexpected symbols '"},
        {"ann@example.org", "E The letter was not sent: SMTP: 550 5.7.1 <"},
    };
    MsgEdit* w = Open();
    ASSERT_NE(w, nullptr);
    std::string draft = w->Message()->Path().Data();
    Type(w, "Keep me");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.to);
        Fill(w, c.to, nullptr, "bcc@example.org", "Kept");
        Send(w);
        EXPECT_NE(Log().find(c.logged), std::string::npos) << Log();
        EXPECT_EQ(Open_(), 1);
        EXPECT_NE(qirgui::WaitWindow("Compose letter"), 0u);
        EXPECT_EQ(PanelText(w), "Keep me\n");
        EXPECT_EQ(qirReadFile(draft + "/MsgBody.txt"), "Keep me\n");
        EXPECT_TRUE(qirListDirectory(Outgoing()).empty());
    }
    EXPECT_TRUE(sink->Messages().empty());

    // The server is back: one send delivers once.
    unlink(refusing.c_str());
    Send(w);
    EXPECT_EQ(sink->WaitFor(1, 5).size(), 1u) << Log();
    EXPECT_EQ(Open_(), 0);
    EXPECT_EQ(qirListDirectory(Outgoing()).size(), 1u);
    usleep(200000);
    EXPECT_EQ(sink->Messages().size(), 1u);
}

// Some recipients refused: it went out, so it counts as sent (filed,
// window closed) and the refused ones are named.
TEST_F(ComposeTest, APartialRefusalCountsAsSent) {
    Serve({"--refuse", "bob@example.org"});
    MsgEdit* w = Open();
    ASSERT_NE(w, nullptr);
    Fill(w, "ann@example.org, bob@example.org", nullptr, nullptr, "Partly");
    Send(w);
    ASSERT_EQ(sink->WaitFor(1, 5).size(), 1u);
    EXPECT_EQ(sink->Messages()[0].recipients, (std::vector<std::string>{"ann@example.org"}));
    EXPECT_NE(Log().find("E The letter was sent, but not to every recipient: SMTP: <bob@example.org>: 550"),
              std::string::npos)
        << Log();
    EXPECT_EQ(Open_(), 0);
    EXPECT_EQ(qirListDirectory(Outgoing()).size(), 1u);
    EXPECT_TRUE(qirListDirectory(Drafts()).empty());
}

// A text that cannot be saved is not sent; a sent letter that cannot be
// filed keeps its draft and says where it is.
TEST_F(ComposeTest, NothingSentIsLostWhenTheDiskRefuses) {
    Serve();
    MsgEdit* w = Open();
    ASSERT_NE(w, nullptr);
    std::string draft = w->Message()->Path().Data();
    std::string text = w->TextPart()->Path().Data();
    Type(w, "Precious");
    Fill(w, "ann@example.org", nullptr, nullptr, "Unsaved");
    // The text file's place is taken by a directory nothing can replace.
    unlink(text.c_str());
    mkdir(text.c_str(), 0700);
    mkdir((text + "/x").c_str(), 0700);
    Send(w);
    EXPECT_NE(Log().find("E The letter was not sent: its text cannot be saved into <" + text + ">"),
              std::string::npos)
        << Log();
    EXPECT_EQ(PanelText(w), "Precious\n");
    EXPECT_EQ(Open_(), 1);
    usleep(200000);
    EXPECT_TRUE(sink->Messages().empty());

    rmdir((text + "/x").c_str());
    rmdir(text.c_str());
    qirRemoveTree(Outgoing());
    FILE* f = fopen(Outgoing().c_str(), "w"); // Outgoing cannot take the copy
    fclose(f);
    Send(w);
    EXPECT_EQ(sink->WaitFor(1, 5).size(), 1u);
    EXPECT_EQ(Open_(), 0);
    EXPECT_NE(Log().find("E The sent letter stays in <" + draft + ">"), std::string::npos) << Log();
    EXPECT_NE(qirReadFile(text).find("Precious"), std::string::npos);
}

TEST_F(ComposeTest, AnAliasBecomesTheBooksAddressWhenTheUserSaysSo) {
    Serve();
    Start();
    ASSERT_NE(qirApp->Book(), nullptr);
    qirAddrBookEntry* e = new qirAddrBookEntry;
    e->SetAlias("carl");
    e->SetFullName("Carl");
    e->SetAddress("71234,567");
    e->SetAddressKind(qirAddrBookEntry::CompuServe);
    qirApp->Book()->Append(e);
    MsgEdit* w = Open();
    ASSERT_NE(w, nullptr);
    std::vector<std::string> asked;
    for (int yes : {0, 1}) {
        AnswerDialogs("Proceed alias change", [&asked, yes](qirDialog* d) {
            asked.push_back(d->title().Data());
            static_cast<qirChoiceDialog*>(d)->choose(yes ? 0 : 1);
        });
        Fill(w, yes ? "carl" : "carl, ann@example.org", nullptr, nullptr, yes ? "replaced" : "as typed");
        if (!yes) {
            // Declined: the alias stays as typed.
            Send(w);
            ASSERT_EQ(sink->WaitFor(1, 5).size(), 1u) << Log();
            EXPECT_NE(sink->Messages()[0].text.find("To: carl, ann@example.org\n"), std::string::npos);
            w = Open();
            ASSERT_NE(w, nullptr);
        } else {
            Send(w);
            ASSERT_EQ(sink->WaitFor(2, 5).size(), 2u) << Log();
            EXPECT_EQ(sink->Messages()[1].recipients, (std::vector<std::string>{"71234.567@compuserve.com"}));
            EXPECT_NE(sink->Messages()[1].text.find("To: Carl <71234.567@compuserve.com>"), std::string::npos);
        }
    }
    EXPECT_EQ(asked, (std::vector<std::string>{"Proceed alias change", "Proceed alias change"}));
}

// The address book's buttons fill the newest window, and only while it is
// open.
TEST_F(ComposeTest, TheAddressBookFillsTheAttachedWindow) {
    Start();
    MsgEdit* first = Open();
    MsgEdit* second = Open();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(qirApp->Composer(), second);
    second->AddTo(qirString("ann@example.org"));
    second->AddTo(qirString("Bob <bob@example.org>"));
    second->AddBcc(qirString("cy@example.org"));
    const String* to = second->ToField()->text();
    EXPECT_EQ(std::string(to->string(), to->length()), "ann@example.org, Bob <bob@example.org>");
    first->OpenAddressBook();
    EXPECT_EQ(qirApp->Composer(), first);
    second->Discard();
    qirAfterEvent::RunPending();
    EXPECT_EQ(qirApp->Composer(), first);
    first->Discard();
    qirAfterEvent::RunPending();
    EXPECT_EQ(qirApp->Composer(), nullptr);
    EXPECT_TRUE(qirListDirectory(Drafts()).empty());
}

// Quit, or a display gone: what was typed goes into the draft, which stays.
TEST_F(ComposeTest, QuitAndALostDisplayWriteTheLetterIntoItsDraft) {
    for (int lost : {0, 1}) {
        SCOPED_TRACE(lost ? "lost display" : "quit");
        MsgEdit* w = Open();
        ASSERT_NE(w, nullptr);
        std::string draft = w->Message()->Path().Data();
        Fill(w, "ann@example.org", "not an address <<", nullptr, "Unfinished");
        Type(w, "Half a letter");
        if (lost)
            qirApp->SaveForLostDisplay();
        else
            qirApp->Shutdown();
        qirMsg saved{qirPath(draft.c_str())};
        EXPECT_EQ(SubjectOf(&saved), "Unfinished");
        ASSERT_EQ(saved.To()->Count(), 1);
        EXPECT_EQ(std::string(static_cast<qirAddress*>(saved.To()->First())->Mailbox().Data()), "ann@example.org");
        // Kept as typed where it does not parse.
        const qirString* cc = saved.Fields()->FindValue("CC:");
        EXPECT_EQ(std::string(cc && cc->Data() ? cc->Data() : ""), "not an address <<");
        EXPECT_EQ(qirReadFile(draft + "/MsgBody.txt"), "Half a letter\n");
        if (!lost) {
            delete qirApp;
            qirApp = nullptr;
            qirLog = new qirError();
            qirLog->Open((dir + "/QIR.log").c_str(), 5, -1);
        } else {
            qirApp->Shutdown();
        }
    }
}

TEST_F(ComposeTest, SignatureAndTextModeComeFromTheConfiguration) {
    std::string signature = home + "/signature";
    FILE* f = fopen(signature.c_str(), "w");
    fputs("Ann Example\n", f);
    fclose(f);
    qirConfig.Set("Signature.Use", "yes");
    qirConfig.Set("Signature.Filename", signature.c_str());
    qirConfig.Set("Body.Subtype", "Enriched");
    MsgEdit* w = Open();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->IsEnriched(), 1);
    EXPECT_EQ(PanelText(w), "\n--\nAnn Example\n\n");

    // A missing signature file is named; the letter opens all the same.
    qirConfig.Set("Signature.Filename", (home + "/none").c_str());
    qirConfig.Set("Body.Subtype", "plain");
    MsgEdit* plain = Open();
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->IsEnriched(), 0);
    EXPECT_EQ(PanelText(plain), "\n");
    EXPECT_NE(Log().find("E Can't use signature file: '" + home + "/none'"), std::string::npos);
}

// Reply with quoting through the application's one road for replies.
TEST_F(ComposeTest, AReplyQuotesTheOriginal) {
    Serve();
    qirConfig.Set("Reply.QuottingString", "> ");
    qirConfig.Set("Reply.HeaderFormatString", "");
    Start();
    std::string original = home + "/Original";
    qirMsg* m = new qirMsg(qirPath(original.c_str()));
    qirAddress from("ann@example.org", "Ann Example");
    m->AddFrom(&from);
    qirString subject("Lunch");
    m->SetSubject(&subject);
    qirScratchDir::WriteFile(m->Body()->Path().Data(), "Shall we?\nAt noon.\n");
    m->Save();
    qirApp->ComposeReply(m, 1, nullptr);
    delete m;
    ASSERT_EQ(Open_(), 1);
    MsgEdit* w = static_cast<MsgEditDock*>(qirApp->ComposeDocks().First())->ComposeWindow();
    ASSERT_NE(w, nullptr);
    const String* s = w->SubjectField()->text();
    EXPECT_EQ(std::string(s->string(), s->length()), "Re: Lunch");
    EXPECT_EQ(PanelText(w), "> Shall we?\n> At noon.\n");
    Send(w);
    ASSERT_EQ(sink->WaitFor(1, 5).size(), 1u) << Log();
    EXPECT_EQ(sink->Messages()[0].recipients, (std::vector<std::string>{"ann@example.org"}));
    EXPECT_NE(sink->Messages()[0].text.find("Subject: Re: Lunch\n"), std::string::npos);
    EXPECT_NE(sink->Messages()[0].text.find("\n> Shall we?\n> At noon.\n"), std::string::npos);
}

// The user's editor gets the text's path as one word, whatever the folder
// directory is called; the panel is read-only while it runs and the text
// comes back, as it was written, when it ends.
TEST_F(ComposeTest, TheExternalEditorWorksOnTheTextAndHandsItBack) {
    Serve();
    std::string odd = home + "/Mail 'o\"dd $HOME";
    mkdir(odd.c_str(), 0700);
    qirConfig.Set("FolderDir", odd.c_str());
    std::string script = home + "/editor.sh";
    FILE* f = fopen(script.c_str(), "w");
    // Waits until told, copies what it was given, appends a marker.
    fprintf(f, "#!/bin/sh\n[ $# -eq 1 ] || exit 3\nwhile [ ! -e '%s/go' ]; do sleep 0.05; done\n"
               "cp \"$1\" '%s/seen'\nprintf 'MARKER\\n' >> \"$1\"\n",
            home.c_str(), home.c_str());
    fclose(f);
    chmod(script.c_str(), 0700);
    qirConfig.Set("Editor.Editor", script.c_str());
    MsgEdit* w = Open();
    ASSERT_NE(w, nullptr);
    Type(w, "Typed <here>\n");
    for (int enriched : {0, 1}) {
        SCOPED_TRACE(enriched ? "enriched" : "plain");
        unlink((home + "/go").c_str());
        qirConfig.Set("Editor.IsEnriched", enriched ? "Yes" : "no");
        w->RunEditor();
        int pid = w->EditorPid();
        ASSERT_GT(pid, 0) << Log();
        EXPECT_EQ(w->IsEnriched(), enriched);
        w->RunEditor(); // one editor per window
        EXPECT_EQ(w->EditorPid(), pid);
        // Read-only meanwhile; sending is refused with a warning.
        std::string before = PanelText(w);
        w->Panel()->Editor()->Type('x');
        EXPECT_EQ(PanelText(w), before);
        // The editor ends while the refusal's warning is up: the text comes
        // back only once the box is gone, never inside its loop.
        bool reaped = false, heldBack = false;
        AnswerDialogs("Warning", [&](qirDialog* d) {
            FILE* go = fopen((home + "/go").c_str(), "w");
            fclose(go);
            for (int i = 0; i < 250 && qirChildList.First(); i++) {
                long sec = 0, usec = 20000;
                Dispatcher::instance().dispatch(sec, usec);
            }
            reaped = qirChildList.First() == nullptr;
            heldBack = w->EditorPid() == pid && w->Panel()->Editor()->ReadOnly() && PanelText(w) == before;
            d->dismiss(false);
        });
        Send(w);
        EXPECT_TRUE(reaped);
        EXPECT_TRUE(heldBack);
        EXPECT_EQ(Open_(), 1);
        ASSERT_TRUE(TurnUntil([&] { return w->EditorPid() == 0; })) << Log();
        Answer() = nullptr;
        std::string seen = qirReadFile(home + "/seen");
        EXPECT_NE(seen.find(enriched ? "Typed <<here>" : "Typed <here>"), std::string::npos) << seen;
        EXPECT_NE(PanelText(w).find("Typed <here>"), std::string::npos);
        EXPECT_EQ(PanelText(w).substr(PanelText(w).size() - 7), "MARKER\n") << PanelText(w);
        EXPECT_FALSE(w->Panel()->Editor()->ReadOnly());
    }
    Fill(w, "ann@example.org", nullptr, nullptr, "Edited");
    Send(w);
    ASSERT_EQ(sink->WaitFor(1, 5).size(), 1u) << Log();
    EXPECT_NE(sink->Messages()[0].text.find("MARKER"), std::string::npos);
}

// Closing a window whose editor still runs ends the editor's whole group;
// the closed window is never reloaded.
TEST_F(ComposeTest, ClosingEndsTheEditorsProcessGroup) {
    std::string script = home + "/sleepy.sh";
    FILE* f = fopen(script.c_str(), "w");
    fputs("#!/bin/sh\nsleep 60 &\nwait\n", f);
    fclose(f);
    chmod(script.c_str(), 0700);
    qirConfig.Set("Editor.Editor", script.c_str());
    MsgEdit* w = Open();
    ASSERT_NE(w, nullptr);
    w->RunEditor();
    int group = w->EditorPid();
    ASSERT_GT(group, 0);
    ASSERT_TRUE(TurnUntil([&] { return qirLiveInGroup(group) >= 2; })) << "the editor and its sleep";
    w->Discard();
    qirAfterEvent::RunPending();
    ASSERT_TRUE(TurnUntil([&] { return qirLiveInGroup(group) == 0; })) << "the editor's group lives on";
    EXPECT_TRUE(TurnUntil([&] { return qirChildList.First() == nullptr; }));
    EXPECT_NE(Log().find("The child process (PID:" + std::to_string(group) + ") terminated!"), std::string::npos)
        << Log();
}

// ---------------------------------------------------------------- attachments

class AttachComposeTest : public ComposeTest {
protected:
    void SetUp() override {
        ComposeTest::SetUp();
        if (IsSkipped())
            return;
        qirConfig.Set("Attachments", "text/plain", 0);
        qirConfig.Set("Attachments", "application/octet-stream", 1);
        binary = std::string(3000, '\0');
        for (size_t i = 0; i < binary.size(); i++)
            binary[i] = static_cast<char>((i * 131 + 7) % 256);
        file = home + "/my file.bin";
        qirScratchDir::WriteFile(file, binary);
    }
    // Answers the attach dialog with the file and the type row, then runs
    // after (the dialog has just accepted).
    void Choose(const std::string& path, int typeRow, std::function<void()> after = nullptr) {
        AnswerDialogs("Attachments", [=](qirDialog* d) {
            AttachDialog* a = static_cast<AttachDialog*>(d);
            a->FileField()->field(path.c_str());
            a->TypeList()->Press(a->TypeList()->Item(typeRow), 0);
            qirgui::Shot("attach_dialog_compose");
            a->Ok(0);
            if (after)
                after();
        });
    }
    std::string PartsDir(MsgEdit* w) const { return w->Message()->Body()->Path().Data(); }
    std::vector<std::string> Names(MsgEdit* w) {
        std::vector<std::string> out;
        for (AttachItem* i = w->Attachments().First(); i; i = AttachList::Next(i))
            out.push_back(std::string(i->ContentType().partName.Data()) + "=" +
                          qirPath(i->Path()).Basename().Data());
        return out;
    }
    void Select(MsgEdit* w, int row) { w->AttachmentRows()->Press(w->AttachmentRows()->Item(row), 0); }

    std::string binary, file;
};

// Added files are copies under names of their own: the letter's own files
// ("Body.PARSED") and earlier attachments are never replaced; the rows
// count from 1; the text keeps what was typed through the change.
TEST_F(AttachComposeTest, AddingCopiesUnderANameOfItsOwn) {
    MsgEdit* w = Open();
    ASSERT_NE(w, nullptr);
    Type(w, "Text stays");
    Choose(file, 1);
    w->AddAttachment();
    std::string dir = PartsDir(w);
    std::string parsed = home + "/Body.PARSED";
    qirScratchDir::WriteFile(parsed, "hostile");
    std::string before = qirReadFile(dir + "/Body.PARSED");
    Choose(parsed, 0);
    w->AddAttachment();
    Choose(file, 1);
    w->AddAttachment();
    EXPECT_EQ(Names(w), (std::vector<std::string>{"my file.bin=my_file.bin", "Body.PARSED=Body_1.PARSED",
                                                  "my file.bin=my_file_1.bin"}));
    EXPECT_EQ(qirReadFile(dir + "/my_file.bin"), binary);
    EXPECT_EQ(qirReadFile(dir + "/my_file_1.bin"), binary);
    EXPECT_EQ(qirReadFile(dir + "/Body_1.PARSED"), "hostile");
    EXPECT_NE(qirReadFile(dir + "/Body.PARSED"), "hostile");
    EXPECT_NE(qirReadFile(dir + "/Body.PARSED").find("my_file_1.bin"), std::string::npos);
    EXPECT_EQ(w->AttachmentRows()->Count(), 3);
    EXPECT_EQ(w->AttachmentRows()->FirstSelected(), w->AttachmentRows()->Item(2));
    EXPECT_EQ(PanelText(w), "Text stays\n");
    qirgui::Pump();
    qirgui::Shot("compose_window_attachments");

    // A copy that fails adds nothing.
    std::string gone = home + "/gone.bin";
    qirScratchDir::WriteFile(gone, "soon gone");
    Choose(gone, 1, [gone] { unlink(gone.c_str()); });
    w->AddAttachment();
    EXPECT_NE(Log().find("E Error filecopy! <" + gone + ">"), std::string::npos) << Log();
    EXPECT_EQ(w->AttachmentRows()->Count(), 3);
    EXPECT_EQ(qirListDirectory(dir).size(), 5u); // the text, three attachments, Body.PARSED

    // The letter goes out with the file byte for byte, under its name.
    Serve();
    qirConfig.Set("SMTP.Port", sink->PortText().c_str());
    Fill(w, "ann@example.org", nullptr, nullptr, "Files");
    Send(w);
    ASSERT_EQ(sink->WaitFor(1, 5).size(), 1u) << Log();
    std::string received = home + "/received.eml";
    qirScratchDir::WriteFile(received, sink->Messages()[0].text);
    FILE* in = fopen(received.c_str(), "r");
    qirMsg got{qirPath((home + "/Received").c_str()), qirMsg::Blank{}};
    ASSERT_EQ(got.ImportRFC822(in), 0);
    fclose(in);
    ASSERT_TRUE(got.Body()->IsMultipart());
    auto* multi = static_cast<qirMsgMultipartComponent*>(got.Body());
    ASSERT_EQ(multi->Count(), 4);
    EXPECT_EQ(qirReadFile(multi->Part(0)->Path().Data()), "Text stays\n");
    EXPECT_EQ(std::string(multi->Part(1)->ContentType().partName.Data()), "my file.bin");
    EXPECT_EQ(qirReadFile(multi->Part(1)->Path().Data()), binary);
}

// Changing an attachment: the same file with another type keeps the file;
// another file replaces it only once its copy is there.  Removing asks.
TEST_F(AttachComposeTest, EditingAndRemovingKeepTheFilesRight) {
    MsgEdit* w = Open();
    ASSERT_NE(w, nullptr);
    Choose(file, 1);
    w->AddAttachment();
    std::string dir = PartsDir(w);
    std::string stored = dir + "/my_file.bin";

    // Without a selection: said, nothing else.
    w->AttachmentRows()->UnselectAll();
    w->EditAttachment();
    EXPECT_NE(Log().find("E You should select exactly ONE attachment to edit!"), std::string::npos);

    Select(w, 0);
    AnswerDialogs("Attachments", [](qirDialog* d) {
        AttachDialog* a = static_cast<AttachDialog*>(d);
        a->TypeList()->Press(a->TypeList()->Item(0), 0);
        a->Ok(0);
    });
    w->EditAttachment();
    ASSERT_EQ(w->Attachments().Count(), 1);
    EXPECT_EQ(std::string(w->Attachments().First()->ContentType().type.Data()) + "/" +
                  w->Attachments().First()->ContentType().subtype.Data(),
              "text/plain");
    EXPECT_EQ(qirReadFile(stored), binary);

    // Another file whose copy fails: the old attachment stays as it was.
    std::string gone = home + "/gone.txt";
    qirScratchDir::WriteFile(gone, "soon gone");
    Select(w, 0);
    Choose(gone, 0, [gone] { unlink(gone.c_str()); });
    w->EditAttachment();
    EXPECT_EQ(Names(w), (std::vector<std::string>{"my_file.bin=my_file.bin"}));
    EXPECT_EQ(qirReadFile(stored), binary);

    // Another file: copied in, the old one gone.
    std::string other = home + "/other.txt";
    qirScratchDir::WriteFile(other, "other");
    Select(w, 0);
    Choose(other, 0);
    w->EditAttachment();
    EXPECT_EQ(Names(w), (std::vector<std::string>{"other.txt=other.txt"}));
    EXPECT_EQ(qirReadFile(dir + "/other.txt"), "other");
    EXPECT_NE(access(stored.c_str(), F_OK), 0);

    // Removing: no keeps it, yes takes the file and the row away.
    for (bool yes : {false, true}) {
        Select(w, 0);
        AnswerDialogs("Confirm", [yes](qirDialog* d) { d->dismiss(yes); });
        w->RemoveAttachment();
        EXPECT_EQ(w->Attachments().Count(), yes ? 0 : 1);
        EXPECT_EQ(access((dir + "/other.txt").c_str(), F_OK) == 0, !yes);
    }
    EXPECT_EQ(w->AttachmentRows()->Count(), 0);
    // The draft on disk names no file that is gone.
    qirMsg saved{w->Message()->Path()};
    ASSERT_TRUE(saved.Body()->IsMultipart());
    EXPECT_EQ(static_cast<qirMsgMultipartComponent*>(saved.Body())->Count(), 1);
}

}  // namespace
