// The progress indicator window on a real X server: what it shows, and
// that the application's input waits while it is up.
#include <gtest/gtest.h>

#include "dialogTestSupport.h"

#include "qirCloseHandler.h"
#include "qirProgressIndicator.h"
#include "qirRedrawPatch.h"
#include "qirTopWindow.h"

#include <IV-look/kit.h>
#include <InterViews/action.h>
#include <InterViews/layout.h>
#include <InterViews/window.h>

#include <string>

namespace {

const char* title = "Progress Indicator";

class Owner : public qirTopWindow {
public:
    int close_request() override { return ++requests; }
    int requests = 0;
};

class Count : public Action {
public:
    explicit Count(int* n) : n_(n) {}
    void execute() override { ++*n_; }

private:
    int* n_;
};

// Another window of the application with a button, as the main window's
// "check mail" or "quit".
struct OtherWindow {
    Owner owner;
    int pressed = 0;
    Button* button;
    TopLevelWindow* window;
    std::string name = qirgui::Title("Folders");
    OtherWindow() {
        WidgetKit* kit = WidgetKit::instance();
        LayoutKit* lk = LayoutKit::instance();
        button = kit->push_button("Check mail", new Count(&pressed));
        window = new TopLevelWindow(kit->inset_frame(lk->fixed(lk->center(button), 300, 200)));
        qir_set_window_style(window, qirString(name.c_str()), qirgui::TheSession()->style());
        window->wm_delete(new qirCloseHandler(&owner));
        window->place(50, 500);
        window->map();
        qirgui::Pump();
    }
    ~OtherWindow() {
        window->unmap();
        delete window;
    }
    // Sends a click without handling any event here.
    void Click() {
        if (!xwin)
            xwin = qirgui::WaitWindow(name);
        int x, y;
        qirgui::Centre(button->canvas(), button->allocation(), &x, &y);
        qirx::Click(xwin, x, y);
    }
    qirx::XWin xwin = 0;
};

int CountWindows(const char* name) {
    qirx::XDisplay* dpy = qirx::Connection();
    XSync(dpy, False);
    qirx::XWin root = DefaultRootWindow(dpy), parent, *kids = nullptr;
    unsigned int n = 0;
    int found = 0;
    XQueryTree(dpy, root, &root, &parent, &kids, &n);
    for (unsigned int i = 0; i < n; i++) {
        char* wname = nullptr;
        XWindowAttributes wa;
        if (XFetchName(dpy, kids[i], &wname) && wname) {
            if (strcmp(wname, name) == 0 && XGetWindowAttributes(dpy, kids[i], &wa) &&
                wa.map_state == IsViewable)
                found++;
            XFree(wname);
        }
    }
    if (kids)
        XFree(kids);
    return found;
}

// The longest run of pure blue pixels across the middle of the window.
int BluePixels(qirx::XWin w) {
    int x, y, width, height;
    qirx::Geometry(w, &x, &y, &width, &height);
    XImage* img = XGetImage(qirx::Connection(), w, 0, 0, width, height, AllPlanes, ZPixmap);
    if (!img)
        return -1;
    int best = 0;
    for (int row = 0; row < height; row++) {
        int run = 0;
        for (int col = 0; col < width; col++) {
            if ((XGetPixel(img, col, row) & 0xffffff) == 0x0000ff)
                best = std::max(best, ++run);
            else
                run = 0;
        }
    }
    XDestroyImage(img);
    return best;
}

class ProgressTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(qirx::Connection(), nullptr) << "no X display";
        dialogtest::SetUp();
        lines.Append(new qirString("Fetching new mail from pop.example.org"));
        lines.Append(new qirString("Message 3 of 12"));
    }
    void TearDown() override {
        progress.End();
        lines.Remove(nullptr);
        dialogtest::TearDown();
    }
    Session* session = qirgui::TheSession();  // before the kits
    qirProgressIndicator progress;
    qirList lines;
};

TEST_F(ProgressTest, ShowsPercentageAndBar) {
    progress.Begin(3, 0, 1, &lines);
    qirx::XWin w = qirgui::WaitWindow(title);
    ASSERT_NE(w, 0u) << "indicator not mapped";
    EXPECT_TRUE(progress.Patch()->Drawn()) << "Begin returned before the window was drawn";
    EXPECT_EQ(progress.Percent(), 0);
    EXPECT_EQ(BluePixels(w), 0) << "0 per cent shows an empty bar";

    struct Case {
        uint32_t set;
        int percent;
    } cases[] = {{1, 33}, {2, 66}, {3, 100}, {4, 100}};
    for (const Case& c : cases) {
        progress.Set(c.set);
        qirgui::Pump();
        EXPECT_EQ(progress.Percent(), c.percent) << c.set;
        EXPECT_NEAR(BluePixels(w), qirgui::Px(qirProgressIndicator::BarWidth(c.percent)), 4) << c.set;
        if (c.set == 2)
            qirgui::Shot("progress");
    }
    progress.End();
    qirgui::Pump();
    EXPECT_EQ(CountWindows(title), 0);
    EXPECT_EQ(progress.TheWindow(), nullptr);
}

TEST_F(ProgressTest, CountModeAndEmptyTotal) {
    // A total of 0 shows 0 per cent and an empty bar, never a division by 0.
    progress.Begin(0, 0, 1, &lines);
    qirx::XWin w = qirgui::WaitWindow(title);
    ASSERT_NE(w, 0u);
    EXPECT_STREQ(progress.ProgressLine(), "Progress: 0%");
    EXPECT_EQ(BluePixels(w), 0);
    progress.End();

    // Count mode: both numbers right-aligned five wide, and no bar.
    progress.Begin(1200, 0, 0, nullptr);
    w = qirgui::WaitWindow(title);
    ASSERT_NE(w, 0u);
    EXPECT_STREQ(progress.ProgressLine(), "Progress:     0 of  1200");
    progress.Set(640);
    qirgui::Pump();
    EXPECT_STREQ(progress.ProgressLine(), "Progress:   640 of  1200");
    EXPECT_EQ(progress.Percent(), -1);
    EXPECT_EQ(BluePixels(w), 0);
    // More than the total changes nothing on the screen.
    progress.Set(1201);
    EXPECT_STREQ(progress.ProgressLine(), "Progress:   640 of  1200");
    qirgui::Shot("progress_count");
}

// A long fetch sets the progress for every message: the window is built
// and drawn again only when what it shows changes.
TEST_F(ProgressTest, OnlyAChangeOnScreenIsDrawnAgain) {
    progress.Begin(3000, 0, 1, &lines);
    ASSERT_NE(qirgui::WaitWindow(title), 0u);
    Glyph* shown = progress.Patch()->body();
    for (uint32_t i = 1; i < 30; ++i)
        progress.Set(i); // still 0 per cent
    EXPECT_EQ(progress.Patch()->body(), shown);
    progress.Set(30);
    EXPECT_EQ(progress.Percent(), 1);
    EXPECT_NE(progress.Patch()->body(), shown);

    progress.Begin(10, 0, 0, nullptr);
    shown = progress.Patch()->body();
    progress.Set(0);
    EXPECT_EQ(progress.Patch()->body(), shown);
    progress.Set(1);
    EXPECT_NE(progress.Patch()->body(), shown);
}

TEST_F(ProgressTest, SecondBeginEndsTheFirst) {
    progress.Begin(10, 0, 1, &lines);
    TopLevelWindow* first = progress.TheWindow();
    ASSERT_NE(qirgui::WaitWindow(title), 0u);
    progress.Begin(20, 5, 1, &lines);
    EXPECT_NE(progress.TheWindow(), nullptr);
    qirgui::Pump();
    EXPECT_EQ(CountWindows(title), 1) << "the first window is still up";
    EXPECT_EQ(progress.Total(), 20u);
    EXPECT_EQ(progress.Percent(), 25);
    (void)first;
    // And again after End.
    progress.End();
    progress.Begin(4, 0, 1, &lines);
    EXPECT_EQ(CountWindows(title), 1);
}

TEST_F(ProgressTest, InputToOtherWindowsIsDroppedWhileShown) {
    OtherWindow other;
    other.Click();
    qirgui::Pump();
    ASSERT_EQ(other.pressed, 1) << "the other window takes clicks before";

    progress.Begin(100, 0, 1, &lines);
    other.Click();
    qirx::SendDelete(other.xwin);
    progress.Set(50);  // handles pending events
    other.Click();
    qirx::SendDelete(qirx::FindWindow(title));
    progress.Set(100);
    other.Click();  // still queued when the work ends
    progress.End();
    qirgui::Pump();
    EXPECT_EQ(other.pressed, 1) << "a click ran an action inside the work in progress";
    EXPECT_EQ(other.owner.requests, 0) << "a close request ran inside the work in progress";

    other.Click();
    qirgui::Pump();
    EXPECT_EQ(other.pressed, 2) << "clicks work again after the progress";
}

TEST_F(ProgressTest, WaitForADrawingIsBounded) {
    // A patch in no window is never drawn: the wait must still end.
    qirRedrawPatch* never = new qirRedrawPatch(LayoutKit::instance()->hglue());
    Resource::ref(never);
    qirProgressIndicator::HandleEventsUntil(never, true);
    EXPECT_FALSE(never->Drawn());
    Resource::unref(never);
}

TEST_F(ProgressTest, CloseRequestLeavesItOpen) {
    progress.Begin(10, 0, 1, &lines);
    qirx::XWin w = qirgui::WaitWindow(title);
    ASSERT_NE(w, 0u);
    qirx::SendDelete(w);
    qirgui::Pump();
    EXPECT_EQ(qirx::FindWindow(title), w);
    EXPECT_FALSE(qirgui::TheSession()->done());
}

}  // namespace
