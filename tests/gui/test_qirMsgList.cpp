// The message list window of a folder: rows, counters, flags, flush, copy
// and sort, on a folder of a few hundred messages.
#include <gtest/gtest.h>

// Mail headers before InterViews: its macros rename common words.
#include "qirAddress.h"
#include "qirConfiguration.h"
#include "qirHeaderFields.h"
#include "qirHistory.h"
#include "qirLanguageGroup.h"
#include "qirLayout.h"
#include "qirMsgListItem.h"
#include "qirMsgSort.h"
#include "qirScratchDir.h"
#include "qirXFace.h"

// Read before InterViews' macros rename the word.
static std::string SubjectOf(const qirMsg* m) { return m->Subject() && m->Subject()->Data() ? m->Subject()->Data() : ""; }

#include "qirGuiTest.h"
#include "qirListBox.h"
#include "qirMarkedItem.h"
#include "qirMsgList.h"
#include "qirMsgRow.h"

#include <InterViews/display.h>
#include <InterViews/layout.h>
#include <InterViews/patch.h>
#include <InterViews/session.h>
#include <InterViews/window.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

const int messages = 300;

std::string Subject(int i) { return "Subject " + std::to_string((i * 37) % 101) + " of message " + std::to_string(i); }
std::string Mailbox(int i) { return "sender" + std::to_string(i % 17) + "@example.org"; }
// What the fixture made of message i, and the number back from its subject.
bool MadeRead(int i) { return i % 3 == 0; }
bool MadeDeleted(int i) { return i % 50 == 7; }
int Number(const std::string& subject) { return atoi(subject.c_str() + subject.rfind(' ') + 1); }
// The status button's card: deleted 2, read 1, else 0.
int Card(bool deleted, bool read) { return deleted ? 2 : read ? 1 : 0; }

class MsgListTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        qirgui::TheSession();
        setenv("TZ", "UTC", 1);
        tzset();
        qirConfig.Load(QIR_BUILD_DATA "/QIR.cfg");
        qirLanguage.Load(QIR_BUILD_DATA "/QIR/Languages/English");
    }
    void SetUp() override
    {
        folderDir = dir.Path() + "/Work.QIR";
        mkdir(folderDir.c_str(), 0700);
        title = qirgui::Title("Work");
        qirScratchDir::WriteFile(folderDir + "/Name.txt", title + "\n");
        for (int i = 0; i < messages; i++) {
            qirMsg m(qirPath((folderDir + "/Message" + std::to_string(i)).c_str()));
            qirHeaderFields fields;
            fields.Add("Subject:", Subject(i).c_str());
            m.SetFields(&fields);
            qirString s(Subject(i).c_str());
            m.SetSubject(&s);
            qirAddress a(Mailbox(i).c_str(), ("Sender " + std::to_string(i % 17)).c_str());
            m.AddFrom(&a);
            m.SetDate(1700000000 + (i * 7919) % 100000);
            m.SetRead(MadeRead(i));
            m.SetRemoved(MadeDeleted(i));
            ASSERT_EQ(m.Save(), 0);
        }
        folderRows = new qirListBox(0, nullptr);
        Resource::ref(folderRows);
        list = new qirMsgList(qirPath(folderDir.c_str()), folderRows);
    }
    void TearDown() override
    {
        delete list;
        Resource::unref(folderRows);
        qirgui::Pump();
    }

    std::vector<qirMsgListItem*> Items() const
    {
        std::vector<qirMsgListItem*> out;
        for (qirMsg* m = list->qirFolder::First(); m; m = list->qirFolder::Next(m))
            out.push_back(static_cast<qirMsgListItem*>(m));
        return out;
    }
    // The counters against a count over the folder and the rows.
    void ExpectCounters(const char* where)
    {
        int read = 0, deleted = 0, selected = 0;
        for (qirMsgListItem* m : Items()) {
            read += m->IsRead() != 0;
            deleted += m->IsRemoved() != 0;
            selected += m->RowItem()->Selected() != 0;
        }
        char text[16];
        snprintf(text, sizeof text, "%3d", read);
        EXPECT_STREQ(list->CounterText(1).Data(), text) << where;
        snprintf(text, sizeof text, "%3d", deleted);
        EXPECT_STREQ(list->CounterText(2).Data(), text) << where;
        snprintf(text, sizeof text, "%3d", selected);
        EXPECT_STREQ(list->CounterText(3).Data(), text) << where;
        snprintf(text, sizeof text, "%3d", list->qirFolder::Count());
        EXPECT_STREQ(list->CounterText(0).Data(), text) << where;
    }

    qirScratchDir dir;
    std::string folderDir, title;
    qirListBox* folderRows = nullptr;
    qirMsgList* list = nullptr;
};

TEST_F(MsgListTest, OpensWithOneRowPerMessageAndItsCounters)
{
    list->activate();
    ASSERT_TRUE(list->IsOpen());
    ASSERT_NE(qirgui::WaitWindow(title), 0ul);
    ASSERT_EQ(list->MessageRows()->Count(), messages);
    ASSERT_EQ(list->qirFolder::Count(), messages);

    // Rows in the folder's order, each showing its own message's line in
    // the shipped layout (date, sender's mailbox, subject) and its status.
    const std::map<int, std::string> lines = {
        {0, "14 Nov 23 22:13   sender0@example.org           Subject 0 of message 0"},
        {1, "15 Nov 23 0:25    sender1@example.org           Subject 37 of message 1"},
        {7, "15 Nov 23 13:37   sender7@example.org           Subject 57 of message 7"},
    };
    int row = 0;
    for (qirMsgListItem* m : Items()) {
        ASSERT_EQ(list->MessageRows()->Item(row++), m->RowItem());
        std::string text = m->RowText().Data();
        int i = Number(SubjectOf(m));
        if (lines.count(i)) {
            EXPECT_EQ(text, lines.at(i));
        }
        EXPECT_NE(text.find(Subject(i)), std::string::npos) << text;
        EXPECT_NE(text.find(Mailbox(i)), std::string::npos) << text;
        EXPECT_EQ(m->StatusCard(), Card(MadeDeleted(i), MadeRead(i))) << text;
    }
    ExpectCounters("open");
    EXPECT_STREQ(list->CounterText(0).Data(), "300");
    qirgui::Shot("msglist");

    // So many rows would reach past the screen: the body is three quarters
    // of its height, the menu bar above it.
    Coord limit = Session::instance()->default_display()->height() * 3 / 4;
    Coord height = list->ListWindow()->height();
    EXPECT_GT(height, limit + 10);
    EXPECT_LT(height, limit + 60) << height << " " << limit;

    // Opening again changes nothing.
    list->activate();
    EXPECT_EQ(list->MessageRows()->Count(), messages);
}

TEST_F(MsgListTest, FlagsAndSelectionsMoveTheCounters)
{
    list->OpenWindow();
    std::vector<qirMsgListItem*> items = Items();
    qirMsgListItem* deleted = nullptr;
    for (qirMsgListItem* m : items)
        if (m->IsRemoved()) deleted = m;
    ASSERT_NE(deleted, nullptr);
    int before = list->Counts().Deleted();
    deleted->StatusPressed(); // undeletes
    EXPECT_FALSE(deleted->IsRemoved());
    EXPECT_EQ(list->Counts().Deleted(), before - 1);
    EXPECT_EQ(deleted->StatusCard(), Card(false, MadeRead(Number(SubjectOf(deleted)))));
    ExpectCounters("undelete");

    items[1]->StatusPressed(); // read flips
    items[2]->RightPressed();  // deleted flips
    items[2]->RightPressed();
    items[4]->RightPressed();
    items[5]->RowItem()->toggle();
    items[6]->RowItem()->toggle();
    items[6]->RowItem()->toggle();
    items[8]->RowItem()->toggle();
    ExpectCounters("flips");
    EXPECT_EQ(list->Counts().Selected(), 2);
    list->MessageRows()->UnselectAll();
    ExpectCounters("unselect");
    EXPECT_STREQ(list->CounterText(3).Data(), "  0");
}

TEST_F(MsgListTest, FlushDropsDeletedRowsAndCopiesAppendAtTheEnd)
{
    list->OpenWindow();
    int deleted = list->Counts().Deleted();
    ASSERT_GT(deleted, 0);
    EXPECT_EQ(list->Flush(), 0);
    EXPECT_EQ(list->MessageRows()->Count(), messages - deleted);
    EXPECT_EQ(list->qirFolder::Count(), messages - deleted);
    EXPECT_EQ(list->Counts().Deleted(), 0);
    ExpectCounters("flush");
    for (qirMsgListItem* m : Items()) EXPECT_FALSE(m->IsRemoved());

    // A message copied in from elsewhere becomes the last row.
    qirMsg other(qirPath((dir.Path() + "/Other").c_str()));
    qirHeaderFields fields;
    fields.Add("Subject:", "Copied in");
    other.SetFields(&fields);
    qirString s("Copied in");
    other.SetSubject(&s);
    other.SetRead(1);
    ASSERT_EQ(other.Save(), 0);
    ASSERT_EQ(list->CopyIn(&other), 0);
    EXPECT_EQ(list->MessageRows()->Count(), messages - deleted + 1);
    qirMsgListItem* last = Items().back();
    EXPECT_EQ(list->MessageRows()->Item(list->MessageRows()->Count() - 1), last->RowItem());
    EXPECT_EQ(SubjectOf(last), "Copied in");
    ExpectCounters("copy");
    EXPECT_NE(std::string(list->CountText().Data()).find(std::to_string(messages - deleted + 1)), std::string::npos);
}

// The face panel follows the pictures, not where they lie: a picture read
// after a flush purged the message last pointed at may take the purged
// picture's place in memory, and is drawn all the same.
TEST_F(MsgListTest, TheFacePanelShowsEachNewPictureAfterAFlush)
{
    for (int i : {7, 8})
        qirScratchDir::WriteFile(folderDir + "/Message" + std::to_string(i) + "/XFace.pbm",
                                 "P4\n48 48\n" + std::string(qirXFaceRasterBytes, i == 7 ? '\xf0' : '\x0f'));
    list->OpenWindow();
    qirMsgListItem* purged = Items()[7];
    qirMsgListItem* next = Items()[8];
    ASSERT_TRUE(purged->IsRemoved());
    ASSERT_NE(purged->XFaceBits(), nullptr);
    purged->RowItem()->hook();
    Glyph* shown = list->FacePatch()->body();
    purged->RowItem()->hook();
    EXPECT_EQ(list->FacePatch()->body(), shown) << "the same picture is not drawn again";
    ASSERT_EQ(list->Flush(), 0);
    next->RowItem()->hook();
    EXPECT_NE(list->FacePatch()->body(), shown);

    // Whatever the allocator does: a new picture in the same place.
    std::vector<unsigned char> bits(qirXFaceRasterBytes, 0xaa);
    list->ShowFace(bits.data());
    shown = list->FacePatch()->body();
    std::fill(bits.begin(), bits.end(), 0x55);
    list->ShowFace(bits.data());
    EXPECT_NE(list->FacePatch()->body(), shown);
    list->ShowFace(nullptr);
    shown = list->FacePatch()->body();
    list->ShowFace(nullptr);
    EXPECT_EQ(list->FacePatch()->body(), shown);
}

TEST_F(MsgListTest, SortReordersRowsWithTheFolderAndKeepsSelections)
{
    list->OpenWindow();
    std::vector<qirMsgListItem*> items = Items();
    items[10]->RowItem()->toggle();
    items[20]->RowItem()->toggle();
    for (int method : {qirMsgSort::BySubject, qirMsgSort::ByDate, qirMsgSort::BySenderMailbox, qirMsgSort::ByNothing}) {
        list->Sort(method);
        std::vector<qirMsgListItem*> now = Items();
        ASSERT_EQ(int(now.size()), messages);
        for (size_t i = 0; i + 1 < now.size(); i++)
            ASSERT_LE(qirMsgSort::Compare(method, now[i], now[i + 1]), 0) << method << " at " << i;
        for (int i = 0; i < messages; i++) ASSERT_EQ(list->MessageRows()->Item(i), now[i]->RowItem()) << method;
        EXPECT_TRUE(items[10]->RowItem()->Selected());
        EXPECT_TRUE(items[20]->RowItem()->Selected());
        ExpectCounters("sort");
    }
    list->Sort(qirMsgSort::ByDate);
    qirgui::Pump();
    qirgui::Shot("msglist-by-date");
}

TEST_F(MsgListTest, ClosingFlushesUnloadsAndClosesTheWindow)
{
    list->OpenWindow();
    ASSERT_NE(qirgui::WaitWindow(title), 0ul);
    int deleted = list->Counts().Deleted();
    EXPECT_EQ(list->CloseWindow(), 0);
    EXPECT_FALSE(list->IsOpen());
    EXPECT_EQ(list->ListWindow(), nullptr);
    EXPECT_EQ(list->MessageRows()->Count(), 0);
    EXPECT_FALSE(list->IsLoaded());
    EXPECT_EQ(list->qirFolder::Count(), messages - deleted);
    EXPECT_STREQ(list->CounterText(0).Data(), "");

    // Open again: the flushed folder, counters from the fresh load.
    list->OpenWindow();
    EXPECT_EQ(list->MessageRows()->Count(), messages - deleted);
    ExpectCounters("reopen");
    EXPECT_EQ(list->close_request(), 1);
    EXPECT_TRUE(list->IsOpen());
}

TEST_F(MsgListTest, PointerOnTheStatusButtonAndTheRow)
{
    list->OpenWindow();
    qirx::XWin xwin = qirgui::WaitWindow(title);
    ASSERT_NE(xwin, 0ul);
    qirgui::Pump();
    std::vector<qirMsgListItem*> items = Items();
    // The first rows are on screen: one read, one unread, then a right click.
    qirMsgListItem* m = items[0];
    Button* button = m->Row()->StatusButton();
    ASSERT_NE(button, nullptr);
    ASSERT_NE(button->canvas(), nullptr);
    // It leads the row, left of the tick's place, inside the row's frame.
    EXPECT_LT(button->allocation().left() - m->RowItem()->allocation().left(), 5);
    int read = m->IsRead(), deleted = list->Counts().Deleted();
    int x, y;
    qirgui::Centre(button->canvas(), button->allocation(), &x, &y);
    qirx::PointerTo(xwin, x, y);
    qirgui::Pump();
    qirx::PointerButton(Button1, true);
    qirgui::Pump();
    qirx::PointerButton(Button1, false);
    qirgui::Pump();
    EXPECT_NE(m->IsRead(), read) << "the status button did not flip the read flag";
    int n = Number(SubjectOf(m));
    EXPECT_EQ(m->StatusCard(), Card(false, !MadeRead(n)));
    ExpectCounters("status button");

    usleep(1000 * 300);
    qirMsgListItem* r = items[1];
    qirgui::Centre(r->RowItem()->canvas(), r->RowItem()->allocation(), &x, &y);
    qirx::PointerTo(xwin, x + 100, y);
    qirgui::Pump();
    qirx::PointerButton(Button3, true);
    qirgui::Pump();
    qirx::PointerButton(Button3, false);
    qirgui::Pump();
    EXPECT_EQ(list->Counts().Deleted(), deleted + (r->IsRemoved() ? 1 : -1));
    n = Number(SubjectOf(r));
    EXPECT_EQ(r->StatusCard(), Card(!MadeDeleted(n), MadeRead(n)));
    ExpectCounters("right button");
}

TEST_F(MsgListTest, FetchIntoTheOpenWindowAppendsRows)
{
    list->OpenWindow();
    // The fetch ends in a flush, which also purges the deleted messages.
    const int kept = messages - list->Counts().Deleted();
    std::string spool = dir.File("spool");
    qirScratchDir::WriteFile(spool,
                             "From a@example.org Mon Jan  1 00:00:00 2024\n"
                             "From: New One <new1@example.org>\nSubject: fresh one\n\nbody\n\n"
                             "From b@example.org Mon Jan  1 00:00:01 2024\n"
                             "From: new2@example.org\nSubject: fresh two\n\nbody\n");
    qirHistory history(dir.File("history").c_str(), 100);
    ASSERT_EQ(list->FetchMailbox(qirPath(spool.c_str()), &history, 1), 0);
    std::vector<qirMsgListItem*> items = Items();
    ASSERT_EQ(int(items.size()), kept + 2);
    std::vector<std::string> last = {SubjectOf(items[kept]), SubjectOf(items[kept + 1])};
    std::sort(last.begin(), last.end());
    EXPECT_EQ(last, (std::vector<std::string>{"fresh one", "fresh two"}));
    for (int i = kept; i < kept + 2; i++) {
        EXPECT_EQ(list->MessageRows()->Item(i), items[i]->RowItem());
        EXPECT_NE(std::string(items[i]->RowText().Data()).find("fresh"), std::string::npos);
    }
    ExpectCounters("fetch");
    EXPECT_NE(std::string(list->CountText().Data()).find(std::to_string(kept + 2)), std::string::npos);
}

TEST_F(MsgListTest, SortSettingsComeFromTheLayoutStoreAndGoBackToIt)
{
    std::string file = dir.File("layout.cfg");
    struct Case {
        const char* text;
        int method, reverse;
    } cases[] = {
        {"", 0, 0},
        {"Menu {\n Work { Sort { Method 9\n ReverseOrder YES\n } }\n}\n", 0, 1},
        {"Menu {\n Work { Sort { Method 5\n ReverseOrder no\n } }\n}\n", 5, 0},
        {"Menu {\n Work { Sort { Method -1\n } }\n}\n", 0, 0},
    };
    for (const Case& c : cases) {
        qirScratchDir::WriteFile(file, c.text);
        qirLayout layout(qirPath(file.c_str()));
        qirMsgList::SetLayoutStore(&layout);
        list->OpenWindow();
        EXPECT_EQ(list->SortMethod(), c.method) << c.text;
        EXPECT_EQ(list->ReverseOrder(), c.reverse) << c.text;
        if (c.method == qirMsgSort::BySubject) {
            std::vector<qirMsgListItem*> now = Items();
            int wrong = 0;
            for (size_t i = 0; i + 1 < now.size(); i++) wrong += qirMsgSort::Compare(c.method, now[i], now[i + 1]) > 0;
            EXPECT_EQ(wrong, 0);
        }
        list->Sort(qirMsgSort::BySize);
        list->CloseWindow();
        EXPECT_EQ(layout.MenuInt("Work.Sort.Method"), int(qirMsgSort::BySize));
        int missing = 1;
        EXPECT_EQ(layout.MenuFlag("Work.Sort.ReverseOrder", &missing), c.reverse);
        EXPECT_EQ(missing, 0);
        qirMsgList::SetLayoutStore(nullptr);
    }
}

// The rows follow arrival order (the numbers of the message directories),
// and only the rows on screen have glyphs: the others show their line and
// their selection when they are scrolled into view.
TEST_F(MsgListTest, RowsInArrivalOrderWithGlyphsOnlyWhileShown)
{
    list->OpenWindow();
    ASSERT_NE(qirgui::WaitWindow(title), 0ul);
    qirgui::Pump();
    std::vector<qirMsgListItem*> items = Items();
    ASSERT_EQ(int(items.size()), messages);
    for (int i = 0; i < messages; i++) {
        ASSERT_EQ(items[i]->Number(), i);
        ASSERT_EQ(list->MessageRows()->Items().IndexOf(items[i]->RowItem()), i);
    }
    auto built = [&] {
        int n = 0;
        for (qirMsgListItem* m : Items()) n += m->Row()->Built();
        return n;
    };
    EXPECT_GT(built(), 5);
    EXPECT_LT(built(), 100);
    qirMsgListItem* last = items.back();
    EXPECT_TRUE(items[0]->Row()->Built());
    EXPECT_FALSE(last->Row()->Built());
    EXPECT_EQ(last->Row()->StatusButton(), nullptr);
    EXPECT_EQ(std::string(last->Row()->Label().Data()), std::string(last->RowText().Data()));
    last->RowItem()->toggle();
    last->StatusPressed();
    EXPECT_TRUE(last->Row()->TickShown());
    ExpectCounters("hidden row");

    list->MessageRows()->scroll_to(Dimension_Y, 0);
    qirgui::Pump();
    EXPECT_TRUE(last->Row()->Built());
    ASSERT_NE(last->Row()->StatusButton(), nullptr);
    EXPECT_NE(last->Row()->StatusButton()->canvas(), nullptr);
    EXPECT_TRUE(last->Row()->TickShown());
    EXPECT_FALSE(items[0]->Row()->Built()) << "a row scrolled away keeps its glyphs";
    EXPECT_LT(built(), 100);
    qirgui::Shot("msglist-end");
}

} // namespace
