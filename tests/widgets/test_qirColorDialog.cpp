// The colour dialog on a real X server: the 64 swatches seen by pixel
// probes, selection by clicks, and the three ways out.
#include <gtest/gtest.h>

#include "dialogTestSupport.h"

#include "qirColorDialog.h"

#include <cstdio>
#include <string>

namespace {

using dialogtest::ClickOn;
using dialogtest::posted;

class ColorDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(qirx::Connection(), nullptr) << "no X display";
        dialogtest::SetUp();
    }
    void TearDown() override { dialogtest::TearDown(); }
};

int SelectedCount(qirColorDialog* d) {
    int n = 0;
    for (int i = 0; i < qirColorDialog::Swatches; i++)
        n += d->Swatch(i)->IsSelected();
    return n;
}

bool Post(qirColorDialog* d, std::function<void(qirDialog*)> answer) {
    dialogtest::answer() = answer;
    bool accepted = d->post_at(640, 512);
    EXPECT_NE(posted().xwin, 0u);
    return accepted;
}

TEST_F(ColorDialogTest, PaletteOrder) {
    struct Case {
        int row, column;
        const char* name;
    } cases[] = {{0, 0, "#000000"}, {0, 3, "#00ff00"}, {0, 4, "#550000"}, {1, 0, "#aa0000"},
                 {1, 7, "#ffff00"}, {2, 0, "#000055"}, {7, 7, "#ffffff"}, {6, 6, "#55aaff"}, {5, 6, "#ffaaaa"}};
    for (const Case& c : cases) {
        char name[8];
        qirColorDialog::PaletteName(c.row, c.column, name);
        EXPECT_STREQ(name, c.name) << c.row << "," << c.column;
    }
}

TEST_F(ColorDialogTest, SwatchesShowTheirColours) {
    qirColorDialog* d = new qirColorDialog("#55aaff");
    Resource::ref(d);
    EXPECT_STREQ(d->Selected(), "#55aaff");
    bool got = Post(d, [d](qirDialog*) {
        qirgui::Shot("color");
        for (int i = 0; i < qirColorDialog::Swatches; i++) {
            qirColorSwatch* s = d->Swatch(i);
            ASSERT_NE(s->canvas(), nullptr) << "swatch " << i << " not drawn";
            int x, y;
            qirgui::Centre(s->canvas(), s->allocation(), &x, &y);
            unsigned long want = strtoul(s->Name() + 1, nullptr, 16);
            EXPECT_EQ(dialogtest::Pixel(posted().xwin, x, y), want) << "swatch " << i << " " << s->Name();
        }
        ClickOn(d->AcceptButton());
    });
    EXPECT_TRUE(got);
    EXPECT_EQ(d->Default(), 0);
    EXPECT_STREQ(d->Selected(), "#55aaff");
    Resource::unref(d);
}

TEST_F(ColorDialogTest, UnknownInitialColourSelectsBlack) {
    for (const char* initial : {"red", "#55AAFF", "", static_cast<const char*>(nullptr)}) {
        qirColorDialog* d = new qirColorDialog(initial);
        Resource::ref(d);
        EXPECT_STREQ(d->Selected(), "#000000") << (initial ? initial : "null");
        EXPECT_EQ(SelectedCount(d), 1);
        Resource::unref(d);
    }
}

TEST_F(ColorDialogTest, ClicksSelectOneSwatchAndButtonsAnswer) {
    qirColorDialog* d = new qirColorDialog("#000000");
    Resource::ref(d);
    unsigned long before = 0, after = 0;
    EXPECT_TRUE(Post(d, [d, &before, &after](qirDialog*) {
        qirColorSwatch* a = d->Swatch(10);
        qirColorSwatch* b = d->Swatch(45);
        // A pressed swatch is drawn sunk: its top-left bevel turns dark.
        int x, y;
        qirgui::Centre(a->canvas(), a->allocation(), &x, &y);
        int edge = qirgui::Px(a->allocation().left()) + 1;
        int top = qirgui::Px(a->canvas()->height() - a->allocation().top()) + 1;
        before = dialogtest::Pixel(posted().xwin, edge, top);
        ClickOn(a);
        qirgui::Pump();
        after = dialogtest::Pixel(posted().xwin, edge, top);
        ClickOn(b);
        ClickOn(d->AcceptButton());
    }));
    EXPECT_NE(before, after) << "the pressed swatch was not redrawn sunk";
    EXPECT_STREQ(d->Selected(), d->Swatch(45)->Name());
    EXPECT_EQ(SelectedCount(d), 1);
    EXPECT_FALSE(d->Swatch(10)->IsSelected());

    // Default: accepted with the flag, whatever is selected.
    EXPECT_TRUE(Post(d, [d](qirDialog*) { ClickOn(d->DefaultButton()); }));
    EXPECT_EQ(d->Default(), 1);
    Resource::unref(d);

    for (int how = 0; how < 2; how++) {
        d = new qirColorDialog("#ffffff");
        Resource::ref(d);
        EXPECT_FALSE(Post(d, [d, how](qirDialog*) {
            if (how == 0)
                ClickOn(d->CancelButton());
            else
                qirx::SendDelete(posted().xwin);
        }));
        EXPECT_EQ(d->Default(), 0);
        Resource::unref(d);
    }
}

}  // namespace
