// The list box's bulk operations: a new order of all rows at once, and
// taking every row away, for lists too long for one-by-one changes.
#include <gtest/gtest.h>

#include "qirGuiTest.h"
#include "qirListBox.h"
#include "qirMarkedItem.h"

#include <IV-look/kit.h>
#include <InterViews/layout.h>

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
