// The list box and its marked rows in a real window, driven by synthetic
// clicks, Control-clicks and drags.
#include <gtest/gtest.h>

#include "qirGuiTest.h"

#include "qirListBox.h"
#include "qirMarkedItem.h"
#include "qirTopWindow.h"

#include <IV-look/kit.h>
#include <InterViews/layout.h>
#include <InterViews/window.h>

#include <string>
#include <vector>

namespace {

int destroyed = 0;

// A row that records what happens to it.
class Row : public qirMarkedItem {
public:
    Row(const char* name, qirListBox* owner)
        : qirMarkedItem(qirString(name), owner, WidgetKit::instance()->style(), WidgetKit::instance(),
                        LayoutKit::instance()) {}
    ~Row() override { destroyed++; }
    void right_press() override {
        rights++;
        if (removeOnRight)
            Owner()->remove(this);
    }
    void activate() override { activations++; }
    int rights = 0, activations = 0;
    bool removeOnRight = false;
};

std::string Names(const qirListBox* box) {
    std::string s;
    for (qirObject* n = box->Items().First(); n; n = qirList::Next(n))
        s += static_cast<qirMarkedItem*>(qirListItem::FromNode(n))->Label().Data();
    return s;
}

std::string Selected(const qirListBox* box) {
    std::string s;
    for (qirObject* n = box->Items().First(); n; n = qirList::Next(n)) {
        qirMarkedItem* m = static_cast<qirMarkedItem*>(qirListItem::FromNode(n));
        if (m->Selected())
            s += m->Label().Data();
        EXPECT_EQ(m->Selected(), m->TickShown()) << "tick out of step on " << m->Label().Data();
    }
    return s;
}

// Rows A to G in a box, with room beside it that belongs to no row.
class ListBoxTest : public ::testing::Test {
protected:
    void Open(int multi) {
        ASSERT_NE(qirx::Connection(), nullptr) << "no X display";
        qirgui::TheSession();
        WidgetKit* kit = WidgetKit::instance();
        LayoutKit* lk = LayoutKit::instance();
        box = new qirListBox(multi, kit->label("No folders"));
        for (const char* n : {"A", "B", "C", "D", "E", "F", "G"}) {
            rows.push_back(new Row(n, box));
            box->append(rows.back());
        }
        Glyph* body = lk->hbox(box, lk->hspace(150));
        window = new TopLevelWindow(kit->inset_frame(lk->vfixed(body, 200)));
        window->place(100, 200);
        title = qirgui::Title("List");
        qir_set_window_style(window, qirString(title.c_str()), qirgui::TheSession()->style());
        window->map();
        xwin = qirgui::WaitWindow(title);
        ASSERT_NE(xwin, 0u);
        destroyed = 0;
    }
    void TearDown() override {
        if (window) {
            window->unmap();
            delete window;  // drops the box and its rows
        }
    }
    void At(int i, int* x, int* y) {
        qirgui::Centre(rows[i]->canvas(), rows[i]->allocation(), x, y);
    }
    // Real pointer input: press on row i, optionally with Control held.
    void Press(int i, unsigned int mods, unsigned int button = Button1) {
        int x, y;
        At(i, &x, &y);
        qirx::PointerTo(xwin, x, y);
        qirgui::Pump();
        if (mods & ControlMask)
            qirx::ControlKey(true);
        qirx::PointerButton(button, true);
        qirgui::Pump();
    }
    void Release(unsigned int mods, unsigned int button = Button1) {
        qirx::PointerButton(button, false);
        if (mods & ControlMask)
            qirx::ControlKey(false);
        qirgui::Pump();
    }
    void Click(int i, unsigned int mods = 0, unsigned int button = Button1) {
        Press(i, mods, button);
        Release(mods, button);
        usleep(1000 * 300);  // no double click with the next one
    }
    // Press on row from, move with the button down over every row up to to
    // (or back), release there or beside the box.
    void Drag(int from, int to, unsigned int mods = 0, bool releaseOutside = false) {
        Press(from, mods);
        int x, y;
        int step = to >= from ? 1 : -1;
        for (int i = from;; i += step) {
            At(i, &x, &y);
            qirx::PointerTo(xwin, x + 3, y + 1);
            qirgui::Pump();
            qirx::PointerTo(xwin, x, y);
            qirgui::Pump();
            if (i == to)
                break;
        }
        if (releaseOutside) {
            qirx::PointerTo(xwin, qirgui::Px(rows[to]->allocation().right()) + 60, y);
            qirgui::Pump();
        }
        Release(mods);
        usleep(1000 * 300);
    }
    void MoveOverHeld(int i) { MoveOver(i); }
    void MoveOver(int i) {
        int x, y;
        At(i, &x, &y);
        qirx::PointerTo(xwin, x, y);
        qirgui::Pump();
        qirx::PointerTo(xwin, x + 3, y);
        qirgui::Pump();
    }

    qirListBox* box = nullptr;
    std::vector<Row*> rows;
    TopLevelWindow* window = nullptr;
    std::string title;
    qirx::XWin xwin = 0;
};

TEST_F(ListBoxTest, MultiSelectClicksAndDrags) {
    Open(1);
    struct Step {
        const char* what;
        int from, to;
        unsigned int mods;
        const char* selected;
    } steps[] = {
        {"click A", 0, -1, 0, "A"},
        {"control-click C", 2, -1, ControlMask, "AC"},
        {"control-click A", 0, -1, ControlMask, "C"},
        {"click B", 1, -1, 0, "B"},
        {"drag B to D", 1, 3, 0, "BCD"},
        {"control-drag F to G", 5, 6, ControlMask, "BCDFG"},
    };
    for (const Step& s : steps) {
        if (s.to < 0)
            Click(s.from, s.mods);
        else
            Drag(s.from, s.to, s.mods);
        EXPECT_EQ(Selected(box), s.selected) << s.what;
    }
    EXPECT_EQ(box->FirstSelected(), rows[1]);
    qirgui::Shot("listbox");
}

TEST_F(ListBoxTest, DraggingBackOnlyAdds) {
    Open(1);
    Press(1, 0);
    for (int i : {2, 3, 2})
        MoveOverHeld(i);
    Release(0);
    EXPECT_EQ(Selected(box), "BCD");
}

TEST_F(ListBoxTest, DragEndingOutsideAddsNothingLater) {
    Open(1);
    Drag(1, 2, 0, true);
    EXPECT_EQ(Selected(box), "BC");
    // The release went to no row; plain motion afterwards is no drag.
    MoveOver(5);
    MoveOver(6);
    EXPECT_EQ(Selected(box), "BC");
    EXPECT_FALSE(box->Dragging());
}

TEST_F(ListBoxTest, SingleSelectAndOtherButtons) {
    Open(0);
    Click(2);
    Click(4, ControlMask);
    EXPECT_EQ(Selected(box), "E");
    Drag(1, 3);
    EXPECT_EQ(Selected(box), "B");
    Click(3, 0, Button3);
    EXPECT_EQ(rows[3]->rights, 1);
    EXPECT_EQ(Selected(box), "B") << "a right press changed the selection";
    Press(5, 0);
    Release(0);
    Press(5, 0);
    Release(0);
    EXPECT_EQ(rows[5]->activations, 1);
    EXPECT_EQ(Selected(box), "F");
}

TEST_F(ListBoxTest, RowsComeAndGoInOrder) {
    Open(1);
    EXPECT_FALSE(box->PlaceholderShown());
    EXPECT_EQ(box->remove(rows[2]), 6);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(Names(box), "ABDEFG");
    Row* x = new Row("x", box);
    box->InsertBefore(x, rows[1]);
    EXPECT_EQ(Names(box), "AxBDEFG");
    EXPECT_EQ(box->remove(rows[0]), 6);
    EXPECT_EQ(Names(box), "xBDEFG");
    box->InsertBefore(new Row("y", box), nullptr);
    EXPECT_EQ(Names(box), "yxBDEFG");
    Row* stranger = new Row("s", box);
    Resource::ref(stranger);
    EXPECT_EQ(box->remove(stranger), -1) << "an item not in the box";
    Resource::unref(stranger);
    EXPECT_EQ(box->count(), 7);
    box->append(nullptr);
    box->InsertBefore(nullptr, x);
    EXPECT_EQ(box->count(), 7);
    qirgui::Pump();
    // Rows follow the box on screen: x now sits where A was.
    EXPECT_NE(x->canvas(), nullptr);
}

TEST_F(ListBoxTest, PlaceholderWhileEmpty) {
    Open(1);
    while (box->Count() > 1) {
        int left = box->Count() - 1;
        EXPECT_EQ(box->remove(box->Item(0)), left);
    }
    EXPECT_EQ(box->remove(box->Item(0)), 0);
    EXPECT_TRUE(box->PlaceholderShown());
    EXPECT_EQ(box->count(), 1) << "the placeholder is the only row";
    qirgui::Pump();
    qirgui::Shot("listbox-empty");
    EXPECT_EQ(destroyed, 7);
    rows.clear();
    destroyed = 0;
    qirgui::Pump();
    Row* a = new Row("a", box);
    box->InsertBefore(a, nullptr);
    EXPECT_FALSE(box->PlaceholderShown());
    EXPECT_EQ(box->count(), 1);
    EXPECT_EQ(box->remove(a), 0);
    box->append(new Row("b", box));
    EXPECT_FALSE(box->PlaceholderShown());
    EXPECT_EQ(Names(box), "b");
}

// Items whose rows are dropped are not touched again: neither as the
// anchor of a drag under way, nor from their own button handler.
TEST_F(ListBoxTest, DroppedRowsAreNotUsed) {
    Open(1);
    Press(1, 0);
    ASSERT_EQ(Selected(box), "B");
    Resource::ref(rows[3]);  // keeps D readable after its row goes
    box->remove(rows[1]);    // the anchor
    box->remove(rows[3]);
    EXPECT_EQ(rows[3]->Next(), nullptr);
    EXPECT_EQ(rows[3]->Prev(), nullptr);
    MoveOver(4);
    Release(0);
    EXPECT_EQ(Selected(box), "") << "a drag from a removed anchor selected rows";
    Resource::unref(rows[3]);

    rows[5]->removeOnRight = true;
    Click(5, 0, Button3);
    EXPECT_EQ(Names(box), "ACEG");
    Click(4);
    EXPECT_EQ(Selected(box), "E");
}

TEST_F(ListBoxTest, DestroyingTheBoxDropsEveryRowOnce) {
    Open(1);
    Resource::ref(rows[0]);
    window->unmap();
    delete window;
    window = nullptr;
    EXPECT_EQ(destroyed, 6);
    EXPECT_EQ(rows[0]->Next(), nullptr);
    Resource::unref(rows[0]);
    EXPECT_EQ(destroyed, 7);
}

TEST_F(ListBoxTest, SharedTickLivesWithTheMarkedItems) {
    Open(1);
    EXPECT_EQ(qirMarkedItem::LiveCount(), 7);
    const Stencil* tick = qirMarkedItem::SharedTick();
    EXPECT_NE(tick, nullptr);
    rows[0]->SetLabel(qirString("Incoming"));
    EXPECT_EQ(Names(box).substr(0, 8), "Incoming");
    window->unmap();
    delete window;
    window = nullptr;
    EXPECT_EQ(qirMarkedItem::LiveCount(), 0);
    EXPECT_EQ(qirMarkedItem::SharedTick(), nullptr);
    rows.clear();
    Open(1);
    EXPECT_NE(qirMarkedItem::SharedTick(), nullptr);
    Click(2);
    EXPECT_EQ(Selected(box), "C");
}

}  // namespace
