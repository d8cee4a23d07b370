// The list box's bulk operations: a new order of all rows at once, taking
// every row away and appending many, for lists too long for one-by-one
// changes; and scrolling a row into view.
#include <gtest/gtest.h>

#include "qirGuiTest.h"
#include "qirListBox.h"
#include "qirMarkedItem.h"

#include <IV-look/kit.h>
#include <InterViews/layout.h>
#include <InterViews/observe.h>

#include <string>
#include <vector>

namespace {

int gone = 0;

class BulkRow : public qirMarkedItem {
public:
    BulkRow(const char* name, qirListBox* owner)
        : qirMarkedItem(qirString(name), owner, WidgetKit::instance()->style(), WidgetKit::instance(),
                        LayoutKit::instance()) {}
    ~BulkRow() override { gone++; }
};

std::string Names(const qirListBox* box)
{
    std::string s;
    for (qirObject* n = box->Items().First(); n; n = qirList::Next(n))
        s += static_cast<qirMarkedItem*>(qirListItem::FromNode(n))->Label().Data();
    return s;
}

TEST(ListBoxBulk, SetOrderTakesOnlyAPermutationAndKeepsRowsAndSelections)
{
    qirgui::TheSession();
    Glyph* placeholder = LayoutKit::instance()->hspace(50);
    qirListBox* box = new qirListBox(1, placeholder);
    Resource::ref(box);
    std::vector<qirListItem*> rows;
    for (const char* name : {"A", "B", "C", "D"}) {
        rows.push_back(new BulkRow(name, box));
        box->append(rows.back());
    }
    // Appending a row twice leaves one row.
    box->append(rows[1]);
    EXPECT_EQ(Names(box), "ABCD");
    rows[2]->toggle();

    gone = 0;
    qirListItem* order[] = {rows[3], rows[1], rows[0], rows[2]};
    EXPECT_EQ(box->SetOrder(order, 4), 0);
    EXPECT_EQ(Names(box), "DBAC");
    EXPECT_EQ(gone, 0);
    EXPECT_TRUE(rows[2]->Selected());
    EXPECT_EQ(box->Item(3), rows[2]);

    // Duplicates, strangers and wrong lengths leave the order alone.
    BulkRow* stranger = new BulkRow("X", box);
    Resource::ref(stranger);
    qirListItem* twice[] = {rows[0], rows[0], rows[1], rows[2]};
    qirListItem* foreign[] = {rows[0], rows[1], rows[2], stranger};
    qirListItem* shorter[] = {rows[0], rows[1], rows[2]};
    EXPECT_EQ(box->SetOrder(twice, 4), -1);
    EXPECT_EQ(box->SetOrder(foreign, 4), -1);
    EXPECT_EQ(box->SetOrder(shorter, 3), -1);
    EXPECT_EQ(Names(box), "DBAC");

    // Every row away at once: the rows nobody else holds are deleted and
    // the placeholder comes back.
    box->RemoveAll();
    EXPECT_EQ(box->Count(), 0);
    EXPECT_EQ(gone, 4);
    EXPECT_TRUE(box->PlaceholderShown());
    box->append(stranger);
    EXPECT_EQ(Names(box), "X");
    EXPECT_FALSE(box->PlaceholderShown());
    Resource::unref(stranger);
    Resource::unref(box);
}

// Counts the change notices the box sends its scroll bars.
class Notices : public Observer {
public:
    void update(Observable*) override { count++; }
    int count = 0;
};

TEST(ListBoxBulk, AppendAllSkipsStrangersAndNotifiesOnce)
{
    qirgui::TheSession();
    qirListBox* box = new qirListBox(0, LayoutKit::instance()->hspace(50));
    Resource::ref(box);
    Notices notices;
    box->attach(Dimension_Y, &notices);
    BulkRow* first = new BulkRow("A", box);
    box->append(first);
    notices.count = 0;
    std::vector<qirListItem*> rows = {nullptr, first};
    for (int i = 0; i < 1000; i++)
        rows.push_back(new BulkRow(i == 999 ? "Z" : "b", box));
    rows.push_back(rows.back()); // twice in the call: once in the box
    EXPECT_EQ(box->AppendAll(rows.data(), (int)rows.size()), 1000);
    EXPECT_EQ(notices.count, 1);
    EXPECT_EQ(box->Count(), 1001);
    EXPECT_EQ(box->Items().Count(), 1001);
    EXPECT_EQ(box->Item(1000), rows[1001]);
    EXPECT_FALSE(box->PlaceholderShown());
    // Nothing to add: no notice.
    EXPECT_EQ(box->AppendAll(rows.data(), 2), 0);
    EXPECT_EQ(notices.count, 1);
    // A row taken away answers the rows left; one not here changes nothing.
    Resource::ref(first);   // the box's reference goes with the row
    EXPECT_EQ(box->remove(first), 1000);
    EXPECT_EQ(box->remove(first), -1);
    Resource::unref(first);
    box->detach(Dimension_Y, &notices);
    Resource::unref(box);
}

// A box that was never laid out has no page to step through: ShowRow
// returns at once and the row is shown once the window maps; later calls
// scroll the least needed, or not at all for a row in view.
TEST(ListBoxBulk, ShowRowBeforeAndAfterTheFirstLayout)
{
    qirgui::TheSession();
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    qirListBox* box = new qirListBox(0, nullptr);
    std::vector<qirListItem*> rows;
    for (int i = 0; i < 200; i++)
        rows.push_back(new BulkRow(("row " + std::to_string(i)).c_str(), box));
    box->AppendAll(rows.data(), (int)rows.size());
    box->ShowRow(199);
    box->ShowRow(500); // no such row: nothing
    EXPECT_EQ(box->cur_length(Dimension_Y), 0);

    qirx::XWin xwin;
    TopLevelWindow* window =
        qirgui::MapTitled(lk->vfixed(lk->hbox(box, kit->vscroll_bar(box)), 200), qirgui::Title("ShowRow"), &xwin);
    ASSERT_NE(xwin, 0u);
    Coord page = box->cur_length(Dimension_Y);
    ASSERT_GT(page, 1);
    // Rows count from the bottom: the last row lowest, with a full page.
    EXPECT_EQ(box->cur_lower(Dimension_Y), 0);
    EXPECT_EQ(box->cur_upper(Dimension_Y), page - 1);

    box->ShowRow(0);
    EXPECT_EQ(box->cur_upper(Dimension_Y), 199);
    box->ShowRow(3); // in view: no scrolling
    EXPECT_EQ(box->cur_upper(Dimension_Y), 199);
    box->ShowRow(100); // below the page: it becomes the lowest row
    EXPECT_EQ(box->cur_lower(Dimension_Y), 99);
    box->ShowRow(50); // above: it becomes the top row
    EXPECT_EQ(box->cur_upper(Dimension_Y), 149);

    // An unmapped window keeps its page: scrolling still ends.
    window->unmap();
    qirgui::Pump();
    box->ShowRow(199);
    EXPECT_EQ(box->cur_lower(Dimension_Y), 0);
    delete window;
}

// Many rows away in one pass: the others keep their order and selections,
// rows that are not in the box are passed over.
TEST(ListBoxBulk, RemoveItemsTakesTheGivenRowsAndKeepsTheRest)
{
    qirgui::TheSession();
    qirListBox* box = new qirListBox(1, LayoutKit::instance()->hspace(50));
    Resource::ref(box);
    std::vector<qirListItem*> rows;
    for (const char* name : {"A", "B", "C", "D", "E", "F"}) {
        rows.push_back(new BulkRow(name, box));
        box->append(rows.back());
    }
    rows[2]->toggle();
    BulkRow* stranger = new BulkRow("X", box);
    Resource::ref(stranger);
    gone = 0;
    qirListItem* some[] = {rows[4], stranger, nullptr, rows[1]};
    EXPECT_EQ(box->RemoveItems(some, 4), 4);
    EXPECT_EQ(Names(box), "ACDF");
    EXPECT_EQ(gone, 2);
    EXPECT_TRUE(rows[2]->Selected());
    EXPECT_EQ(box->FirstSelected(), rows[2]);
    // The order the rows have is no change; the last rows bring back the
    // placeholder.
    qirListItem* same[] = {rows[0], rows[2], rows[3], rows[5]};
    EXPECT_EQ(box->SetOrder(same, 4), 0);
    EXPECT_EQ(box->RemoveItems(same, 4), 0);
    EXPECT_EQ(gone, 6);
    EXPECT_TRUE(box->PlaceholderShown());
    Resource::unref(stranger);
    Resource::unref(box);
}

} // namespace
