// The message view window on a folder of twelve messages: opening marks
// read, stepping past open views, deleting, moving (refused into the own
// folder, only after a safe copy), saving the text, closing, the folder's
// refreshes and the sender added to the address book.
#include <gtest/gtest.h>

// Mail headers before InterViews: its macros rename common words.
#include "qirAddrBook.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirMsgListItem.h"
#include "qirMsgViewText.h"
#include "qirMailTestText.h"

static std::string SubjectOf(const qirMsg* m) { return m && m->Subject() && m->Subject()->Data() ? m->Subject()->Data() : ""; }

#include "qirAppTestSupport.h"
#include "qirFolderListView.h"

#include "AttachItem.h"
#include "MsgView.h"
#include "MsgViewDock.h"
#include "qirAfterEvent.h"
#include "qirChoiceDialog.h"
#include "qirChooseFolderDialog.h"
#include "qirMsgActions.h"
#include "qirListBox.h"
#include "qirMessageBox.h"
#include "qirMsgList.h"

#include <InterViews/window.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <type_traits>
#include <vector>

using qirapp::Answer;

namespace {

// One view per message: a copied controller would close the same view twice.
static_assert(!std::is_copy_constructible<MsgViewDock>::value, "MsgViewDock is not copyable");
static_assert(!std::is_copy_assignable<MsgViewDock>::value, "MsgViewDock is not copyable");

std::string S(const qirString& s) { return s.Data() ? s.Data() : ""; }

// The file chooser answers from a script.
std::vector<std::string> answers;
int ScriptedChooser(const char*, const qirString&, const qirString&, const char*, Window*, qirString* chosen)
{
    if (answers.empty()) return 0;
    *chosen = answers.front().c_str();
    answers.erase(answers.begin());
    return 1;
}

std::string Mail(int i)
{
    std::string head = "From: Sender " + std::to_string(i) + " <s" + std::to_string(i) + "@example.org>\n"
                       "To: me@example.org\nDate: Mon, 01 Jan 2024 10:" + std::to_string(10 + i) +
                       ":00 +0000\nSubject: Message " + std::to_string(i) + "\n";
    if (i == 2)
        return head + "Content-Type: multipart/mixed; boundary=B\n\n--B\nContent-Type: image/png; name=\"a.png\"\n\nPNG\n"
                      "--B\nContent-Type: text/plain\n\nThe text of message 2\n\n--B\n"
                      "Content-Type: application/pdf; name=\"../../doc.pdf\"\n\n%PDF\n--B--\n";
    return head + "\nText " + std::to_string(i) + "\n";
}

class MsgViewTest : public qirapp::AppTest {
protected:
    void SetUp() override
    {
        qirapp::AppTest::SetUp();
        qirConfig.Load(QIR_BUILD_DATA "/QIR.cfg");
        qirConfig.Set("FolderDir", dir.c_str());
        qirConfig.Set("AddrBook", (dir + "/book").c_str());
        qirConfig.Set("Layout", (dir + "/layout").c_str());
        qirConfig.Set("Mailcap.MailcapFiles", (home + "/mailcap").c_str());
        saved = qirMainWindow::ChooseFile;
        qirMainWindow::ChooseFile = ScriptedChooser;
        answers.clear();
        MakeFolder("Work", "Work");
        MakeFolder("Other", "Other");
        for (int i = 0; i < 12; i++)
            EXPECT_EQ(ImportMessage(dir + "/Work.QIR/Message" + std::to_string(i), Mail(i)), 0);
        Start();
        work = static_cast<qirMsgList*>(qirApp->FolderNamed("Work.QIR"));
        other = static_cast<qirMsgList*>(qirApp->FolderNamed("Other.QIR"));
        ASSERT_NE(work, nullptr);
        work->OpenWindow();
        // By date: the rows in the order of the messages' numbers.
        work->Sort(1);
    }
    void TearDown() override
    {
        qirMainWindow::ChooseFile = saved;
        qirapp::AppTest::TearDown();
    }
    std::vector<qirMsgListItem*> Items() const
    {
        std::vector<qirMsgListItem*> out;
        for (qirMsg* m = work->qirFolder::First(); m; m = work->qirFolder::Next(m))
            out.push_back(static_cast<qirMsgListItem*>(m));
        return out;
    }
    // The view of the message, opened as a double click opens it.
    MsgView* Open(qirMsgListItem* m)
    {
        m->RowItem()->activate();
        qirgui::Pump();
        return m->ViewDock() ? m->ViewDock()->View() : nullptr;
    }
    
    int (*saved)(const char*, const qirString&, const qirString&, const char*, Window*, qirString*) = nullptr;
    qirMsgList* work = nullptr;
    qirMsgList* other = nullptr;
};

TEST_F(MsgViewTest, OpeningShowsTheMessageAndMarksItRead)
{
    std::vector<qirMsgListItem*> items = Items();
    ASSERT_EQ(items.size(), 12u);
    qirMsgListItem* third = items[2];
    ASSERT_FALSE(third->IsRead());
    int read = work->Counts().Read();
    MsgView* view = Open(third);
    ASSERT_NE(view, nullptr);
    ASSERT_NE(qirgui::WaitWindow("Message View"), 0u);
    qirgui::Shot("msgview");
    EXPECT_EQ(S(view->PositionText()), "     3/12");
    EXPECT_EQ(S(view->StatusText()), "      read");
    EXPECT_TRUE(third->IsRead());
    EXPECT_EQ(third->StatusCard(), 1);
    EXPECT_EQ(work->Counts().Read(), read + 1);
    EXPECT_NE(view->HeaderSource().find("Message 2"), std::string::npos) << view->HeaderSource();
    // The image comes first: every part is listed and gets a row.
    ASSERT_EQ(view->Attachments()->Count(), 3);
    EXPECT_EQ(view->Attachments()->First()->ParentWindow(), view->TheWindow());
    EXPECT_NE(view->ListingSource().find("application/pdf"), std::string::npos);

    // A second double click leaves the one view as it is.
    Open(third);
    EXPECT_EQ(third->ViewDock()->View(), view);
}

// Stepping passes over messages whose own view is open and hands the
// controller on; at the end of the folder nothing happens.
TEST_F(MsgViewTest, NextAndPreviousStepPastOpenViews)
{
    std::vector<qirMsgListItem*> items = Items();
    Open(items[1]);
    Open(items[2]);
    MsgView* view = Open(items[0]);
    MsgViewDock* dock = view->Controller();
    view->Next();
    EXPECT_EQ(view->Message(), items[3]);
    EXPECT_EQ(S(view->PositionText()), "     4/12");
    EXPECT_EQ(items[3]->ViewDock(), dock);
    EXPECT_EQ(items[0]->ViewDock(), nullptr);
    EXPECT_TRUE(items[3]->IsRead());
    view->Previous();
    EXPECT_EQ(view->Message(), items[0]);
    view->Previous();
    EXPECT_EQ(view->Message(), items[0]) << "nothing before the first";
    // The first message's controller is made again on its next double click.
    items[11]->RowItem()->activate();
    MsgView* last = items[11]->ViewDock()->View();
    last->Next();
    EXPECT_EQ(last->Message(), items[11]);
}

TEST_F(MsgViewTest, DeleteAndNextAndTheDeletedMark)
{
    std::vector<qirMsgListItem*> items = Items();
    MsgView* view = Open(items[5]);
    int deleted = work->Counts().Deleted();
    view->DeleteAndNext();
    EXPECT_TRUE(items[5]->IsRemoved());
    EXPECT_EQ(items[5]->StatusCard(), 2);
    EXPECT_EQ(work->Counts().Deleted(), deleted + 1);
    EXPECT_EQ(view->Message(), items[6]);
    view->Previous();
    EXPECT_EQ(S(view->StatusText()), "   deleted");
    EXPECT_EQ(view->DeletedCard(), 1);
    // On a deleted message it undeletes and stays.
    view->DeleteAndNext();
    EXPECT_EQ(view->Message(), items[5]);
    EXPECT_FALSE(items[5]->IsRemoved());
    EXPECT_EQ(view->DeletedCard(), 0);
    // The row's own status button reaches the open view.
    items[5]->RightPressed();
    EXPECT_EQ(view->DeletedCard(), 1);
    EXPECT_EQ(S(view->StatusText()), "   deleted");
}

// A move takes the message out of its folder and the view steps on to the
// next one, or closes after the last; a failed move changes nothing, and
// the own folder is refused with the list window's warning.
TEST_F(MsgViewTest, MoveTakesTheMessageAwayAndStepsOnOrCloses)
{
    std::vector<qirMsgListItem*> items = Items();
    MsgView* view = Open(items[4]);
    auto choose = [](int row) {
        return [row](qirDialog* d) {
            if (auto* c = dynamic_cast<qirChooseFolderDialog*>(d)) {
                c->Rows()->UnselectAll();
                c->Rows()->Item(row)->toggle();
                c->Ok(0);
            } else {
                d->dismiss(true);
            }
        };
    };
    int rowOfWork = -1, rowOfOther = -1;
    int i = 0;
    for (qirFolder* f = qirApp->FolderList()->First(); f; f = qirFolderList::Next(f), i++) {
        if (f == work) rowOfWork = i;
        if (f == other) rowOfOther = i;
    }
    ASSERT_GE(rowOfWork, 0);
    ASSERT_GE(rowOfOther, 0);

    // Cancelled: nothing happens.
    Answer() = [](qirDialog* d) { d->dismiss(false); };
    view->MoveToFolder();
    EXPECT_FALSE(items[4]->IsRemoved());
    EXPECT_EQ(view->Message(), items[4]);

    // The own folder: the warning, nothing moved.
    Answer() = choose(rowOfWork);
    view->MoveToFolder();
    EXPECT_NE(Log().find("You may not move messages to the same folder!"), std::string::npos);
    EXPECT_FALSE(items[4]->IsRemoved());
    EXPECT_EQ(view->Message(), items[4]);
    EXPECT_EQ(work->qirFolder::Count(), 12);

    // A folder that cannot take the copy (its directory is a file now, which
    // stops root as well): the message stays as it was.
    std::string target = dir + "/Other.QIR";
    ASSERT_EQ(rename(target.c_str(), (target + ".away").c_str()), 0);
    FILE* blocker = fopen(target.c_str(), "w");
    fclose(blocker);
    Answer() = choose(rowOfOther);
    view->MoveToFolder();
    unlink(target.c_str());
    ASSERT_EQ(rename((target + ".away").c_str(), target.c_str()), 0);
    EXPECT_FALSE(items[4]->IsRemoved());
    EXPECT_EQ(view->Message(), items[4]);

    // Moved: gone from here at once, and the view shows the next message
    // in the row it leaves.
    view->MoveToFolder();
    EXPECT_EQ(work->qirFolder::Count(), 11);
    EXPECT_EQ(view->Message(), items[5]);
    EXPECT_EQ(S(view->PositionText()), "     5/11");
    for (qirMsg* m = work->qirFolder::First(); m; m = work->qirFolder::Next(m))
        EXPECT_NE(SubjectOf(m), "Message 4");
    qirFolder copy{qirPath(target.c_str())};
    copy.Load();
    ASSERT_EQ(copy.Count(), 1);
    EXPECT_EQ(SubjectOf(copy.First()), "Message 4");

    // A copy into the own folder: a new message at the end, the view stays.
    Answer() = choose(rowOfWork);
    view->CopyToFolder();
    EXPECT_EQ(work->qirFolder::Count(), 12);
    EXPECT_EQ(view->Message(), items[5]);
    EXPECT_EQ(SubjectOf(work->qirFolder::Last()), "Message 5");
    EXPECT_EQ(S(view->PositionText()), "     5/12");

    // The last message moved: nothing to go on to, so its view closes.
    MsgView* last = Open(static_cast<qirMsgListItem*>(work->qirFolder::Last()));
    Answer() = choose(rowOfOther);
    last->MoveToFolder();
    EXPECT_EQ(last->Message(), nullptr);
    qirAfterEvent::RunPending();
    EXPECT_EQ(work->qirFolder::Count(), 11);
    EXPECT_EQ(view->Message(), items[5]);
    qirFolder again{qirPath(target.c_str())};
    again.Load();
    EXPECT_EQ(again.Count(), 2);

    // Moved from the list window while its view is open: the view closes,
    // as after a purge.
    qirMsgListItem* shown = static_cast<qirMsgListItem*>(work->qirFolder::First());
    MsgView* open = Open(shown);
    qirMsg* m = shown;
    EXPECT_EQ(qirMsgActions::CopyTo(work, &m, 1, other, 1, nullptr), 1);
    EXPECT_EQ(open->Message(), nullptr);
    qirAfterEvent::RunPending();
    EXPECT_EQ(work->qirFolder::Count(), 10);
    EXPECT_EQ(view->Message(), items[5]);
}

// Copying a deleted message into its own folder purges it in the copy's
// flush: its view closes and the action lets go of it.
TEST_F(MsgViewTest, CopyOfADeletedMessageIntoItsFolderClosesItsView)
{
    std::vector<qirMsgListItem*> items = Items();
    MsgView* view = Open(items[7]);
    view->Delete();
    int rowOfWork = 0;
    for (qirFolder* f = qirApp->FolderList()->First(); f && f != work; f = qirFolderList::Next(f)) rowOfWork++;
    Answer() = [rowOfWork](qirDialog* d) {
        auto* c = static_cast<qirChooseFolderDialog*>(d);
        c->Rows()->UnselectAll();
        c->Rows()->Item(rowOfWork)->toggle();
        c->Ok(0);
    };
    view->CopyToFolder();
    EXPECT_EQ(view->Message(), nullptr);
    qirAfterEvent::RunPending();
    EXPECT_EQ(work->qirFolder::Count(), 12);
    EXPECT_EQ(SubjectOf(work->qirFolder::Last()), "Message 7");
}

// Save body of a multipart message saves its first part's file, saved or
// appended; when that part is not text, a warning says what was saved.
TEST_F(MsgViewTest, SaveBodySavesTheFirstPart)
{
    MsgView* view = Open(Items()[1]);
    std::string file = home + "/text.txt";
    answers = {file};
    view->SaveBody();
    EXPECT_EQ(qirReadFile(file), "Text 1\n");
    view = Open(Items()[2]);
    std::vector<std::string> titles;
    answers = {file};
    Answer() = [&](qirDialog* d) {
        titles.push_back(S(d->title()));
        if (qirChoiceDialog* c = dynamic_cast<qirChoiceDialog*>(d)) {
            c->choose(1);   // append
        } else {
            qirgui::Shot("msgview_save_body_warning");
            d->dismiss(true);
        }
    };
    view->SaveBody();
    EXPECT_EQ(qirReadFile(file), "Text 1\nPNG");
    EXPECT_EQ(titles, (std::vector<std::string>{"Confirm", "Warning"}));
    EXPECT_NE(Log().find("W The first part is not text: its image/png file was saved to " + file + "\n"),
              std::string::npos) << Log();
    EXPECT_EQ(Log().find("Error copying file"), std::string::npos);
    EXPECT_EQ(Log().find("Error appending file"), std::string::npos);

    // Export: the mbox separator, the MIME text, an empty line.
    std::string mbox = home + "/export.mbox";
    answers = {mbox};
    view->Export();
    std::string exported = qirReadFile(mbox);
    EXPECT_EQ(exported.rfind("From s2@example.org Mon Jan  1 10:12:00 2024\n", 0), 0u) << exported.substr(0, 80);
    EXPECT_NE(exported.find("Subject: Message 2\n"), std::string::npos);
    EXPECT_EQ(exported.substr(exported.size() - 2), "\n\n");
}

// Closing from the view's own button or menu: the window goes now and the
// view is deleted after the event; a double click opens a new one.
TEST_F(MsgViewTest, CloseIsDeferredAndTheRowOpensAgain)
{
    qirMsgListItem* m = Items()[0];
    MsgView* view = Open(m);
    ASSERT_NE(qirgui::WaitWindow("Message View"), 0u);
    int pending = qirAfterEvent::Pending();
    view->CloseView();
    EXPECT_FALSE(m->ViewDock()->is_open());
    EXPECT_FALSE(view->TheWindow()->is_mapped());
    EXPECT_EQ(qirAfterEvent::Pending(), pending + 1);
    qirAfterEvent::RunPending();
    MsgView* again = Open(m);
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(m->ViewDock()->is_open());
}

// A flush renumbers the message directories: the open views read their
// parts from the new places.
TEST_F(MsgViewTest, FlushAndSortRefreshTheOpenViews)
{
    std::vector<qirMsgListItem*> items = Items();
    MsgView* view = Open(items[2]);
    items[0]->SetRemoved(1);
    items[0]->Refresh();
    work->Flush();
    ASSERT_EQ(view->Attachments()->Count(), 3);
    for (AttachItem* a = view->Attachments()->First(); a; a = AttachList::Next(a)) {
        struct stat st;
        EXPECT_EQ(stat(S(a->Path()).c_str(), &st), 0) << S(a->Path());
    }
    EXPECT_EQ(S(view->PositionText()), "     2/11");
    // By subject: "Message 1", "Message 10", "Message 11", "Message 2" ...
    work->Sort(5);
    EXPECT_EQ(S(view->PositionText()), "     4/11");
}

TEST_F(MsgViewTest, AddSenderMakesTheAliasUnique)
{
    qirAddrBook* book = qirApp->Book();
    ASSERT_NE(book, nullptr);
    for (const char* alias : {"s3", "s3 (1)"}) {
        qirAddrBookEntry* e = new qirAddrBookEntry;
        e->SetAlias(alias);
        book->Append(e);
    }
    MsgView* view = Open(Items()[3]);
    view->AddSender();
    ASSERT_NE(book->Last(), nullptr);
    EXPECT_EQ(S(book->Last()->Alias()), "s3 (1) (2)");
    EXPECT_EQ(S(book->Last()->Address()), "s3@example.org");
    EXPECT_NE(qirReadFile(dir + "/book").find("s3 (1) (2)"), std::string::npos);
}

// A message whose "Header.822" is gone opens from its summary, but every
// action that needs its text refuses it in one warning box, before any
// dialog: nothing is saved, exported, copied, moved, printed or sent.
TEST_F(MsgViewTest, ActionsRefuseAMessageThatCannotBeReadWhole)
{
    std::string brokenDir = dir + "/Work.QIR/Message5";
    ASSERT_EQ(unlink((brokenDir + "/Header.822").c_str()), 0);
    std::string script = home + "/print.sh";
    FILE* f = fopen(script.c_str(), "w");
    fprintf(f, "#!/bin/sh\ncp \"$1\" '%s/job.ps'\n", home.c_str());
    fclose(f);
    chmod(script.c_str(), 0755);
    qirConfig.Set("Printer.Command", (script + " %s").c_str());
    std::string book = qirReadFile(dir + "/book");
    qirMsgListItem* broken = nullptr;
    for (qirMsgListItem* m : Items())
        if (S(m->Path()) == brokenDir) broken = m;
    ASSERT_NE(broken, nullptr);
    std::vector<std::string> titles;
    Answer() = [&](qirDialog* d) {
        titles.push_back(S(d->title()));
        d->dismiss(true);
    };
    MsgView* view = Open(broken);
    ASSERT_NE(view, nullptr);
    const struct {
        const char* what;
        void (MsgView::*action)();
    } cases[] = {
        {"save text", &MsgView::SaveBody},       {"export", &MsgView::Export},
        {"copy", &MsgView::CopyToFolder},        {"move", &MsgView::MoveToFolder},
        {"print", &MsgView::Print},              {"add sender", &MsgView::AddSender},
        {"forward", &MsgView::Forward},          {"reply", &MsgView::ReplyDefault},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        answers = {home + "/out"};
        titles.clear();
        size_t logged = Log().size();
        (view->*c.action)();
        EXPECT_EQ(titles, std::vector<std::string>{"Warning"}) << "refused before any dialog";
        EXPECT_NE(Log().find("W Nothing was done: the message Work.QIR/Message5 cannot be read whole", logged),
                  std::string::npos)
            << Log().substr(logged);
        ASSERT_EQ(broken->ViewDock() ? broken->ViewDock()->View() : nullptr, view) << "the view stays on it";
    }
    EXPECT_EQ(access((home + "/out").c_str(), F_OK), -1);
    EXPECT_EQ(access((home + "/job.ps").c_str(), F_OK), -1);
    EXPECT_EQ(other->qirFolder::Count(), 0);
    EXPECT_EQ(qirApp->ComposeDocks().Count(), 0);
    EXPECT_EQ(qirReadFile(dir + "/book"), book);
    EXPECT_EQ(broken->IsRemoved(), 0);
}

} // namespace
