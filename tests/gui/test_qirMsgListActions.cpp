// The message list window's actions inside the application: refused
// actions and their warning box, flags and selection with the counters,
// moves and copies between open folders (a failed move deletes nothing),
// the export and import of a mailbox file, the sort settings, the close
// from the window's own menu, and the senders for the address book.
#include <gtest/gtest.h>

#include "qirAddress.h"
#include "qirMsg.h"
#include "qirMsgListItem.h"
#include "qirMsgSort.h"

#include <string>

// Read before InterViews' macros rename the word.
static std::string SubjectOf(const qirMsg* m) { return m->Subject() && m->Subject()->Data() ? m->Subject()->Data() : ""; }

#include "qirAppTestSupport.h"

#include "qirAfterEvent.h"
#include "qirChoiceDialog.h"
#include "qirChooseFolderDialog.h"
#include "qirFolderListView.h"
#include "qirListBox.h"
#include "qirMailTestText.h"
#include "qirMsgComponent.h"
#include "qirMsgList.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

using qirapp::Answer;

namespace {

std::string chosenFile;
int ScriptedChooser(const char*, const qirString&, const qirString&, const char*, Window*, qirString* chosen) {
    *chosen = chosenFile.c_str();
    return 1;
}

std::string MessageText(int i) {
    std::string body = "Line one of " + std::to_string(i) + "\n";
    // Every fifth message has lines a mailbox reader would take for the
    // start of another message.
    if (i % 5 == 0)
        body = "From the first line\n\n" + body + "From the middle\n>From quoted already\n";
    std::string from = i == 7 ? "" : "From: Sender " + std::to_string(i % 9) + " <s" + std::to_string(i % 9) +
                                         "@example.org>\n";
    char date[64];
    snprintf(date, sizeof date, "Date: Mon, 01 Jan 2024 %02d:%02d:00 +0000\n", 10 + i / 60, i % 60);
    return from + "To: qir@example.org\n" + date + "Subject: Message " + std::to_string(i) + "\n\n" + body;
}

class ListActionsTest : public qirapp::AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        setenv("TZ", "UTC", 1);
        tzset();
        savedChooser = qirMainWindow::ChooseFile;
        qirMainWindow::ChooseFile = ScriptedChooser;
        Answer() = [this](qirDialog* d) {
            titles.push_back(d->title().Data());
            if (d->title() == "Choose folder") {
                qirChooseFolderDialog* c = static_cast<qirChooseFolderDialog*>(d);
                c->Rows()->UnselectAll();
                c->Rows()->Item(Index(target))->toggle();
                c->Ok(0);
            } else if (d->title() == "Confirm") {
                static_cast<qirChoiceDialog*>(d)->choose(1); // append
            } else {
                d->dismiss(true);
            }
        };
    }
    void TearDown() override {
        qirMainWindow::ChooseFile = savedChooser;
        AppTest::TearDown();
    }

    void Fill(const std::string& base, int n, int first = 0) {
        MakeFolder(base);
        for (int i = first; i < first + n; i++) {
            std::string text = MessageText(i);
            FILE* f = fmemopen(&text[0], text.size(), "r");
            qirMsg m{qirPath((dir + "/" + base + ".QIR/Message" + std::to_string(i - first)).c_str())};
            ASSERT_EQ(m.ImportRFC822(f), 0);
            ASSERT_EQ(m.Save(), 0);
            fclose(f);
        }
    }
    qirMsgList* Folder(const char* name) {
        for (qirFolder* f = qirApp->FolderList()->First(); f; f = qirFolderList::Next(f))
            if (f->Name() == name)
                return static_cast<qirMsgList*>(f);
        ADD_FAILURE() << "no folder " << name;
        return nullptr;
    }
    int Index(qirFolder* folder) {
        int i = 0;
        for (qirFolder* f = qirApp->FolderList()->First(); f && f != folder; f = qirFolderList::Next(f))
            i++;
        return i;
    }
    static std::vector<qirMsgListItem*> Items(qirMsgList* list) {
        std::vector<qirMsgListItem*> out;
        for (qirMsg* m = list->qirFolder::First(); m; m = list->qirFolder::Next(m))
            out.push_back(static_cast<qirMsgListItem*>(m));
        return out;
    }
    static void Select(qirMsgList* list, std::vector<int> rows) {
        list->UnselectAll();
        for (int r : rows)
            list->MessageRows()->Item(r)->toggle();
    }
    // The counters shown against a count over the folder and its rows.
    static void ExpectCounters(qirMsgList* list, const char* where) {
        int read = 0, deleted = 0, selected = 0;
        for (qirMsgListItem* m : Items(list)) {
            read += m->IsRead() != 0;
            deleted += m->IsRemoved() != 0;
            selected += m->RowItem()->Selected() != 0;
            EXPECT_EQ(m->StatusCard(), m->IsRemoved() ? 2 : m->IsRead() ? 1 : 0) << where;
        }
        int expected[4] = {list->qirFolder::Count(), read, deleted, selected};
        for (int i = 0; i < 4; i++) {
            char text[16];
            snprintf(text, sizeof text, "%3d", expected[i]);
            EXPECT_STREQ(list->CounterText(i).Data(), text) << where << ", counter " << i;
        }
        EXPECT_EQ(list->MessageRows()->Count(), list->qirFolder::Count()) << where;
    }
    static std::vector<std::string> Subjects(qirFolder* f) {
        std::vector<std::string> out;
        for (qirMsg* m = f->First(); m; m = f->Next(m))
            out.push_back(SubjectOf(m));
        return out;
    }
    // The subjects in a folder directory on disk, sorted.
    std::vector<std::string> OnDisk(const std::string& base) {
        qirFolder f{qirPath((dir + "/" + base + ".QIR").c_str())};
        f.Load();
        std::vector<std::string> out = Subjects(&f);
        std::sort(out.begin(), out.end());
        return out;
    }

    qirFolder* target = nullptr;
    std::vector<std::string> titles;
    decltype(qirMainWindow::ChooseFile) savedChooser = nullptr;
};

// Each refused action logs its warning at level 2, shows the warning box,
// and changes no flag, selection or message.
TEST_F(ListActionsTest, RefusedActionsWarnAndChangeNothing) {
    Fill("Work", 6);
    Start();
    qirMsgList* work = Folder("Work");
    work->OpenWindow();
    const std::string atLeastOne = "You should select at least one message!";
    const std::string exactlyOne = "You should select EXACTLY one message!";
    struct Case {
        const char* what;
        std::vector<int> rows;
        void (qirMsgList::*action)();
        std::string text;
    } cases[] = {
        {"copy", {}, &qirMsgList::CopySelected, atLeastOne},
        {"move", {}, &qirMsgList::MoveSelected, atLeastOne},
        {"export", {}, &qirMsgList::ExportSelected, atLeastOne},
        {"forward none", {}, &qirMsgList::Forward, exactlyOne},
        {"forward two", {1, 3}, &qirMsgList::Forward, exactlyOne},
        {"move into itself", {2}, &qirMsgList::MoveSelected, "You may not move messages to the same folder!"},
    };
    target = work;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Select(work, c.rows);
        titles.clear();
        size_t logged = Log().size();
        (work->*c.action)();
        EXPECT_EQ(titles.back(), "Warning");
        EXPECT_NE(Log().find("W " + c.text, logged), std::string::npos);
        EXPECT_EQ(work->Counts().Selected(), (int)c.rows.size());
        EXPECT_EQ(work->Counts().Deleted(), 0);
        EXPECT_EQ(work->qirFolder::Count(), 6);
    }
    for (int quote : {0, 1}) {
        Select(work, {0, 1, 2});
        titles.clear();
        work->Reply(quote);
        EXPECT_EQ(titles, std::vector<std::string>{"Warning"});
    }
    EXPECT_EQ(OnDisk("Work").size(), 6u);
}

TEST_F(ListActionsTest, DeleteUndeleteAndSelectionMoveTheCounters) {
    Fill("Work", 40);
    Start();
    qirMsgList* work = Folder("Work");
    work->OpenWindow();
    Items(work)[3]->StatusPressed(); // read
    work->DeleteSelected();          // nothing selected: nothing changes
    EXPECT_EQ(work->Counts().Deleted(), 0);
    work->SelectAll();
    ExpectCounters(work, "select all");
    EXPECT_EQ(work->Counts().Selected(), 40);
    work->DeleteSelected();
    ExpectCounters(work, "delete all");
    EXPECT_EQ(work->Counts().Deleted(), 40);
    Select(work, {0, 5, 39});
    std::vector<std::string> kept = {SubjectOf(Items(work)[0]), SubjectOf(Items(work)[5]), SubjectOf(Items(work)[39])};
    std::sort(kept.begin(), kept.end());
    work->UndeleteSelected();
    ExpectCounters(work, "undelete three");
    EXPECT_EQ(work->Counts().Deleted(), 37);
    work->UnselectAll();
    ExpectCounters(work, "unselect all");
    // The rescan takes the deleted messages away, on disk too.
    work->Rescan();
    ExpectCounters(work, "rescan");
    EXPECT_EQ(work->qirFolder::Count(), 3);
    EXPECT_EQ(OnDisk("Work"), kept);
}

// A move takes exactly the moved messages out of the source, rows and
// all, and the target gets them with one flush; both open windows keep
// exact counters.  A message whose directory is away stays; into a target
// that cannot be written nothing moves.  A copy into the folder itself
// keeps the originals.
TEST_F(ListActionsTest, MoveTakesOnlyWhatArrivedAndCopyIntoItselfKeepsTheOriginals) {
    Fill("Work", 20);
    Fill("Archive", 3, 100);
    Start();
    qirMsgList* work = Folder("Work");
    qirMsgList* archive = Folder("Archive");
    work->OpenWindow();
    archive->OpenWindow();
    Items(archive)[0]->RightPressed(); // purged by the move's flush

    // One source message, read whole, is away from the disk for a moment:
    // it stays.
    std::vector<qirMsgListItem*> items = Items(work);
    ASSERT_EQ(items[4]->Whole(), 0);
    std::string gone = items[4]->Path().Data();
    std::vector<std::string> moved = {SubjectOf(items[1]), SubjectOf(items[2]), SubjectOf(items[3])};
    std::string stays = SubjectOf(items[4]);
    items[2]->RightPressed(); // a deletion mark does not go along
    ASSERT_EQ(rename(gone.c_str(), (home + "/away").c_str()), 0);
    Select(work, {1, 2, 3, 4});
    target = archive;
    work->MoveSelected();
    ASSERT_EQ(rename((home + "/away").c_str(), gone.c_str()), 0);
    std::vector<std::string> left = Subjects(work);
    EXPECT_EQ(left.size(), 17u);
    for (const std::string& s : moved)
        EXPECT_EQ(std::count(left.begin(), left.end(), s), 0) << s;
    EXPECT_EQ(std::count(left.begin(), left.end(), stays), 1);
    ExpectCounters(work, "source after move");
    ExpectCounters(archive, "target after move");
    EXPECT_EQ(archive->qirFolder::Count(), 5);
    EXPECT_EQ(archive->Counts().Deleted(), 0);
    EXPECT_NE(Log().find("Error moving <" + gone), std::string::npos);

    // Into a folder that cannot be written: nothing moves, and the target
    // is not flushed.
    Items(archive)[0]->RightPressed();
    std::string archiveDir = dir + "/Archive.QIR";
    chmod(home.c_str(), 0711);
    chmod(dir.c_str(), 0711);
    chmod(archiveDir.c_str(), 0555);
    Select(work, {6, 7, 8});
    if (getuid() == 0) {
        ASSERT_EQ(seteuid(65534), 0); // root writes anywhere
    }
    work->MoveSelected();
    if (getuid() == 0) {
        ASSERT_EQ(seteuid(0), 0);
    }
    chmod(archiveDir.c_str(), 0700);
    EXPECT_EQ(Subjects(work), left);
    EXPECT_EQ(archive->qirFolder::Count(), 5);
    EXPECT_TRUE(Items(archive)[0]->IsRemoved());
    ExpectCounters(work, "failed move");

    // A copy into the folder itself, a message marked deleted among the
    // selected: the walk survives the flush, which purges that message; its
    // copy is not marked deleted and stays.
    work->Rescan();
    ASSERT_EQ(work->qirFolder::Count(), 17);
    Select(work, {0, 1, 2});
    Items(work)[1]->RightPressed();
    std::string kept0 = SubjectOf(Items(work)[0]), kept1 = SubjectOf(Items(work)[1]),
                kept2 = SubjectOf(Items(work)[2]);
    target = work;
    work->CopySelected();
    ExpectCounters(work, "copy into itself");
    std::vector<std::string> subjects = Subjects(work);
    EXPECT_EQ(subjects.size(), 19u);
    EXPECT_EQ(std::count(subjects.begin(), subjects.end(), kept0), 2);
    EXPECT_EQ(std::count(subjects.begin(), subjects.end(), kept1), 1);
    EXPECT_EQ(std::count(subjects.begin(), subjects.end(), kept2), 2);

    // After closing, the disk holds what the windows showed.
    EXPECT_EQ(work->CloseWindow(), 0);
    EXPECT_EQ(archive->CloseWindow(), 0);
    EXPECT_EQ(OnDisk("Work").size(), 19u);
    std::vector<std::string> archived = OnDisk("Archive");
    EXPECT_EQ(archived.size(), 4u); // the one marked deleted there went
    for (const std::string& s : moved)
        EXPECT_EQ(std::count(archived.begin(), archived.end(), s), 1) << s;
}

// 100 messages, some with lines that begin "From ", exported and imported
// back through the window's own actions: mail tools count the same
// messages, and each comes back with its sender, date, subject and text
// (a "From " line quoted as ">From ", as mailbox files keep it).
TEST_F(ListActionsTest, ExportAndImportBackGiveTheSameMessages) {
    Fill("Work", 100);
    MakeFolder("Back");
    Start();
    qirMsgList* work = Folder("Work");
    work->OpenWindow();
    work->SortChosen(qirMsgSort::ByDate);
    work->SelectAll();
    chosenFile = home + "/out.mbox";
    work->ExportSelected();
    std::string count = "python3 -c 'import mailbox,sys; print(len(mailbox.mbox(sys.argv[1])))' ";
    EXPECT_EQ(qirShell(count + chosenFile), "100\n");
    std::string text = qirReadFile(chosenFile);
    EXPECT_EQ(text.rfind("From s0@example.org Mon Jan  1 10:00:00 2024\nFrom: ", 0), 0u) << text.substr(0, 80);
    EXPECT_NE(text.find("\n\nFrom MAILER-DAEMON Mon Jan  1 10:07:00 2024\n"), std::string::npos);

    qirMsgList* back = Folder("Back");
    back->OpenWindow();
    back->ImportMailbox();
    ExpectCounters(back, "import");
    ASSERT_EQ(back->qirFolder::Count(), 100);
    std::map<std::string, qirMsg*> original;
    for (qirMsg* m : Items(work))
        original[SubjectOf(m)] = m;
    auto mailbox = [](qirMsg* m) {
        const qirAddress* a = m->From() ? static_cast<const qirAddress*>(m->From()->First()) : nullptr;
        return a ? std::string(a->Mailbox().Data() ? a->Mailbox().Data() : "") : std::string("<none>");
    };
    auto body = [](qirMsg* m) { return m->Body() ? qirReadFile(m->Body()->Path().Data()) : std::string("<none>"); };
    for (qirMsg* m : Items(back)) {
        SCOPED_TRACE(SubjectOf(m));
        auto o = original.find(SubjectOf(m));
        ASSERT_NE(o, original.end());
        EXPECT_EQ(mailbox(m), mailbox(o->second));
        EXPECT_EQ(m->Date(), o->second->Date());
        std::string expected = body(o->second);
        for (size_t at = 0; (at = expected.find("From ", at)) != std::string::npos; at += 6)
            if (at == 0 || expected[at - 1] == '\n')
                expected.insert(at, ">");
        EXPECT_EQ(body(m), expected);
        original.erase(o);
    }

    // Appending (the file exists: the box asks) adds them after the others.
    work->ExportSelected();
    EXPECT_EQ(titles.back(), "Confirm");
    EXPECT_EQ(qirShell(count + chosenFile), "200\n");
    // A file that cannot be opened is reported, and nothing is made.
    chosenFile = home + "/missing/out.mbox";
    work->ExportSelected();
    EXPECT_NE(Log().find("E Error opening file!"), std::string::npos);
    EXPECT_EQ(access((home + "/missing").c_str(), F_OK), -1);
}

// A mailbox whose messages have fields that do not read imports whole:
// no box while it imports, one when the list shows every message.
TEST_F(ListActionsTest, ImportOfMailWithFieldsThatDoNotReadEndsWithOneBox) {
    MakeFolder("Back");
    Start();
    std::vector<std::string> texts = qirMalformedMessages();
    texts.push_back(qirEveryPartMimeMessage(1));
    std::string mbox;
    for (const std::string& t : texts)
        mbox += "From x@example.org Mon Jan  1 10:00:00 2024\n" + t + "\n";
    chosenFile = home + "/in.mbox";
    FILE* f = fopen(chosenFile.c_str(), "w");
    fputs(mbox.c_str(), f);
    fclose(f);
    qirMsgList* back = Folder("Back");
    back->OpenWindow();
    std::vector<int> rowsAtBox;
    Answer() = [&](qirDialog* d) {
        titles.push_back(d->title().Data());
        rowsAtBox.push_back(back->MessageRows()->Count());
        d->dismiss(true);
    };
    back->ImportMailbox();
    EXPECT_EQ(titles, std::vector<std::string>{"Warning"});
    EXPECT_EQ(rowsAtBox, std::vector<int>{4});
    EXPECT_NE(Log().find("W 3 of the received messages had fields or parts that could not be read"),
              std::string::npos);
}

// The sort menu's settings go to the layout store when the window closes
// from its menu; the window leaves the screen at once and is deleted
// after the event, also when the folder opens again before that.
TEST_F(ListActionsTest, SortSettingsAndCloseFromTheMenu) {
    Fill("Work", 30);
    Start();
    qirMsgList* work = Folder("Work");
    work->OpenWindow();
    ASSERT_NE(qirgui::WaitWindow("Work"), 0ul);
    work->SortChosen(qirMsgSort::BySubject);
    std::vector<std::string> sorted = Subjects(work);
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
    int pending = qirAfterEvent::Pending();
    EXPECT_EQ(work->CloseWindow(), 0);
    EXPECT_EQ(qirAfterEvent::Pending(), pending + 1);
    EXPECT_EQ(qirApp->LayoutStore()->MenuInt("Work.Sort.Method"), int(qirMsgSort::BySubject));
    // Open again before the old window's deletion has run.
    work->OpenWindow();
    EXPECT_EQ(qirAfterEvent::Pending(), pending);
    EXPECT_EQ(work->SortMethod(), int(qirMsgSort::BySubject));
    EXPECT_EQ(Subjects(work), sorted);
    EXPECT_NE(qirgui::WaitWindow("Work"), 0ul);
    work->CloseWindow();
    for (int i = 0; i < 3; i++) {
        long sec = 0, usec = 20000;
        Dispatcher::instance().dispatch(sec, usec);
    }
    qirgui::Pump();
    EXPECT_EQ(qirAfterEvent::Pending(), 0);
    EXPECT_EQ(qirx::FindWindow("Work"), 0ul);
}

// Printing the selection: one job per selected message not marked
// deleted, in folder order.
TEST_F(ListActionsTest, PrintSkipsDeletedMessagesAndKeepsFolderOrder) {
    Fill("Work", 5);
    // The shipped configuration (printer fonts), with the test's folders
    // and a print command of its own.
    ASSERT_EQ(qirConfig.Load(QIR_BUILD_DATA "/QIR.cfg"), 0);
    qirConfig.Set("FolderDir", dir.c_str());
    qirConfig.Set("AddrBook", (dir + "/book").c_str());
    qirConfig.Set("Layout", (dir + "/layout").c_str());
    qirConfig.Set("CheckMailOnStartup", "no");
    Start();
    std::string script = home + "/spool.sh";
    FILE* f = fopen(script.c_str(), "w");
    fprintf(f, "#!/bin/sh\nn=$(ls '%s' | grep -c '^job')\ncp \"$1\" '%s/job'$n.ps\n", home.c_str(), home.c_str());
    fclose(f);
    chmod(script.c_str(), 0755);
    qirConfig.Set("Printer.Command", (script + " %s").c_str());
    qirMsgList* work = Folder("Work");
    work->OpenWindow();
    Select(work, {0, 2, 3});
    Items(work)[2]->RightPressed();
    std::vector<std::string> expected = {SubjectOf(Items(work)[0]), SubjectOf(Items(work)[3])};
    work->PrintSelected();
    std::vector<std::string> printed;
    for (int n = 0; n < 3; n++) {
        std::string job = home + "/job" + std::to_string(n) + ".ps";
        if (access(job.c_str(), F_OK) != 0)
            break;
        std::string text = qirShell("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=txtwrite -sOutputFile=- '" + job + "'");
        size_t at = text.find("Subject: ");
        printed.push_back(at == std::string::npos ? "?" : text.substr(at + 9, text.find('\n', at) - at - 9));
    }
    ASSERT_EQ(printed.size(), 2u) << Log();
    for (int i = 0; i < 2; i++)
        EXPECT_NE(printed[i].find(expected[i]), std::string::npos) << printed[i];
}

// Without an address book (another live program holds its lock) adding
// senders says so and writes nothing; with one, the entries are saved.
TEST_F(ListActionsTest, AddSendersNeedsTheAddressBook) {
    Fill("Work", 3);
    std::string book = dir + "/book";
    FILE* lock = fopen((book + ".LOCK").c_str(), "w");
    fprintf(lock, "%d\n", (int)getppid());
    fclose(lock);
    Start();
    ASSERT_EQ(qirApp->Book(), nullptr);
    qirMsgList* work = Folder("Work");
    work->OpenWindow();
    work->SelectAll();
    work->AddSenders();
    EXPECT_NE(Log().find("E No sender added"), std::string::npos);
    EXPECT_EQ(access(book.c_str(), F_OK), -1);

    unlink((book + ".LOCK").c_str());
    ASSERT_EQ(qirApp->OpenAddressBook(), 0);
    work->AddSenders();
    std::string saved = qirReadFile(book);
    for (const char* alias : {"s0\n", "s1\n", "s2\n"})
        EXPECT_NE(saved.find(alias), std::string::npos) << saved;
}

// A message whose directory lost its "Header.822" is listed from its
// summary; every action that needs its text refuses it in one warning box
// before any dialog, and nothing is written, copied, printed or sent.
TEST_F(ListActionsTest, MessageThatCannotBeReadWholeIsRefusedByEveryAction) {
    Fill("Work", 3);
    MakeFolder("Other");
    ASSERT_EQ(qirConfig.Load(QIR_BUILD_DATA "/QIR.cfg"), 0);
    qirConfig.Set("FolderDir", dir.c_str());
    qirConfig.Set("AddrBook", (dir + "/book").c_str());
    qirConfig.Set("Layout", (dir + "/layout").c_str());
    qirConfig.Set("CheckMailOnStartup", "no");
    std::string brokenDir = dir + "/Work.QIR/Message1";
    ASSERT_EQ(unlink((brokenDir + "/Header.822").c_str()), 0);
    Start();
    std::string script = home + "/print.sh";
    FILE* f = fopen(script.c_str(), "w");
    fprintf(f, "#!/bin/sh\ncp \"$1\" '%s/job.ps'\n", home.c_str());
    fclose(f);
    chmod(script.c_str(), 0755);
    qirConfig.Set("Printer.Command", (script + " %s").c_str());
    ASSERT_EQ(qirApp->OpenAddressBook(), 0);
    std::string book = qirReadFile(dir + "/book");

    qirMsgList* work = Folder("Work");
    work->OpenWindow();
    qirMsgListItem* broken = nullptr;
    for (qirMsgListItem* m : Items(work))
        if (m->Path().Data() && m->Path().Data() == brokenDir)
            broken = m;
    ASSERT_NE(broken, nullptr);
    EXPECT_EQ(SubjectOf(broken), "Message 1") << "listed from its summary";
    // The first read of the rest fails and says so, once.
    titles.clear();
    EXPECT_NE(broken->Whole(), 0);
    EXPECT_EQ(titles, std::vector<std::string>{"Error"});
    target = Folder("Other");
    chosenFile = home + "/out.mbox";
    const struct {
        const char* what;
        std::function<void()> action;
    } cases[] = {
        {"export", [&] { work->ExportSelected(); }},
        {"copy", [&] { work->CopySelected(); }},
        {"move", [&] { work->MoveSelected(); }},
        {"print", [&] { work->PrintSelected(); }},
        {"add sender", [&] { work->AddSenders(); }},
        {"forward", [&] { work->Forward(); }},
        {"reply", [&] { work->Reply(0); }},
        {"reply quoting", [&] { work->Reply(1); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        work->UnselectAll();
        broken->RowItem()->toggle();
        ASSERT_EQ(work->Counts().Selected(), 1);
        titles.clear();
        size_t logged = Log().size();
        c.action();
        EXPECT_EQ(titles, std::vector<std::string>{"Warning"}) << "refused before any dialog";
        EXPECT_NE(Log().find("W Nothing was done: the message Work.QIR/Message1 cannot be read whole", logged),
                  std::string::npos)
            << Log().substr(logged);
    }
    EXPECT_EQ(access(chosenFile.c_str(), F_OK), -1);
    EXPECT_EQ(access((home + "/job.ps").c_str(), F_OK), -1);
    EXPECT_TRUE(OnDisk("Other").empty());
    EXPECT_EQ(qirApp->ComposeDocks().Count(), 0);
    EXPECT_EQ(qirReadFile(dir + "/book"), book);
    EXPECT_EQ(broken->IsRemoved(), 0);
    EXPECT_EQ(work->qirFolder::Count(), 3);
    EXPECT_EQ(access((brokenDir + "/Body.PARSED").c_str(), F_OK), 0) << "kept for the user";
}

}  // namespace
