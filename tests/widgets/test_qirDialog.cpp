// Top-level windows and modal dialogs on a real X server: the window
// manager's close request, placement, titles and the modal loop.
#include <gtest/gtest.h>

#include "qirGuiTest.h"

#include "qirAfterEvent.h"
#include "qirCloseHandler.h"
#include "qirDialog.h"
#include "qirDispatch.h"
#include "qirTopWindow.h"

#include <IV-look/kit.h>
#include <InterViews/action.h>
#include <InterViews/layout.h>
#include <InterViews/window.h>

#include <functional>
#include <unistd.h>
#include <vector>

namespace {

class CountingWindow : public qirTopWindow {
public:
    int close_request() override {
        requests++;
        return 1;
    }
    int requests = 0;
};

class FunctionAction : public Action {
public:
    explicit FunctionAction(std::function<void()> f) : f_(f) {}
    void execute() override { f_(); }

private:
    std::function<void()> f_;
};

// A dialog with an OK button, built the way the standard dialogs are.
class OkDialog : public qirDialog {
public:
    OkDialog(qirString title)
        : qirDialog(LayoutKit::instance()->vbox(), qirgui::TheSession()->style(), title) {
        WidgetKit* kit = WidgetKit::instance();
        LayoutKit* lk = LayoutKit::instance();
        ok = kit->push_button("OK", new FunctionAction([this] { dismiss(true); }));
        Glyph* box = body();
        box->append(lk->vspace(10));
        box->append(lk->hcenter(kit->label("Keep going?")));
        box->append(lk->vspace(10));
        box->append(lk->hcenter(ok));
        box->append(lk->vspace(10));
        static_cast<MonoGlyph*>(this)->body(kit->outset_frame(lk->margin(box, 10)));
    }
    Button* ok;
};

// The parent: a top-level window set up as every window of the program is.
struct Parent {
    CountingWindow owner;
    int pressed = 0;
    Button* button;
    TopLevelWindow* window;
    std::string title = qirgui::Title("Parent");

    Parent() {
        WidgetKit* kit = WidgetKit::instance();
        LayoutKit* lk = LayoutKit::instance();
        button = kit->push_button("Press", new FunctionAction([this] { pressed++; }));
        Glyph* body = kit->inset_frame(lk->fixed(lk->center(button), 400, 300));
        window = new TopLevelWindow(body);
        qir_set_window_style(window, qirString(title.c_str()), qirgui::TheSession()->style());
        window->wm_delete(new qirCloseHandler(&owner));
        window->place(200, 300);
        window->map();
        qirgui::Pump();
    }
    ~Parent() {
        window->unmap();
        delete window;
    }
    qirx::XWin xwin() { return qirgui::WaitWindow(title); }
};

// What the hook saw of each post.
struct Seen {
    int posts = 0;
    qirx::XWin xwin = 0;
    int x = 0, y = 0, w = 0, h = 0;
    bool hadWindow = false;
};
Seen seen;
std::function<void(qirDialog*)> answer;

void hook(qirDialog* d) {
    qirgui::Pump();
    seen.posts++;
    seen.hadWindow = d->window() != nullptr;
    seen.xwin = qirgui::WaitWindow(d->title().Data());
    if (seen.xwin)
        qirx::Geometry(seen.xwin, &seen.x, &seen.y, &seen.w, &seen.h);
    if (answer)
        answer(d);
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(qirx::Connection(), nullptr) << "no X display";
        // The server's pointer rests where an earlier test on it left it:
        // resting over a window this test maps, it would put a grab there
        // that takes the synthetic clicks below (a real pointer would leave
        // it as it moves).
        qirx::PointerTo(DefaultRootWindow(qirx::Connection()), 1, 1);
        qirgui::TheSession();
        seen = Seen();
        answer = nullptr;
        qirDialog::MappedHook = hook;
    }
    void TearDown() override { qirDialog::MappedHook = nullptr; }
};

TEST_F(DialogTest, CloseRequestLeavesTopWindowOpen) {
    Parent p;
    qirx::XWin w = p.xwin();
    ASSERT_NE(w, 0u) << "window not mapped under its title";
    qirx::SendDelete(w);
    qirgui::Pump();
    EXPECT_EQ(p.owner.requests, 1);
    EXPECT_TRUE(p.window->is_mapped());
    EXPECT_FALSE(qirgui::TheSession()->done());
    EXPECT_EQ(qirx::FindWindow(p.title.c_str()), w);
}

TEST_F(DialogTest, CloseRequestCancelsDialogPostedForParent) {
    Parent p;
    std::string title = qirgui::Title("Question");
    OkDialog* d = new OkDialog(qirString(title.c_str()));
    Resource::ref(d);
    answer = [](qirDialog*) { qirx::SendDelete(seen.xwin); };
    EXPECT_FALSE(d->post_for(p.window));
    ASSERT_NE(seen.xwin, 0u) << "dialog not mapped under its title";
    EXPECT_TRUE(seen.hadWindow);
    EXPECT_EQ(d->window(), nullptr);
    EXPECT_EQ(qirx::FindWindow(title.c_str()), 0u) << "dialog window left mapped";
    EXPECT_EQ(p.owner.requests, 0);
    EXPECT_FALSE(qirgui::TheSession()->done());

    // Centred on the parent.
    int px, py, pw, ph;
    qirx::Geometry(p.xwin(), &px, &py, &pw, &ph);
    EXPECT_NEAR(seen.x + seen.w / 2.0, px + pw / 2.0, 2);
    EXPECT_NEAR(seen.y + seen.h / 2.0, py + ph / 2.0, 2);

    // Posted again: shown again in a window of its own.
    qirx::XWin first = seen.xwin;
    EXPECT_FALSE(d->post_for(p.window));
    EXPECT_EQ(seen.posts, 2);
    EXPECT_NE(seen.xwin, 0u);
    EXPECT_NE(seen.xwin, first);
    Resource::unref(d);
}

TEST_F(DialogTest, CloseRequestCancelsDialogPostedAtPointAndSessionGoesOn) {
    std::string title = qirgui::Title("Password");
    OkDialog* d = new OkDialog(qirString(title.c_str()));
    Resource::ref(d);
    answer = [](qirDialog*) { qirx::SendDelete(seen.xwin); };
    EXPECT_FALSE(d->post_at(640, 512));
    ASSERT_NE(seen.xwin, 0u);
    EXPECT_NEAR(seen.x + seen.w / 2.0, qirgui::Px(640), 2);
    EXPECT_NEAR(seen.y + seen.h / 2.0, 1024 - qirgui::Px(512), 2);
    EXPECT_FALSE(qirgui::TheSession()->done());

    // The session still runs dialogs and windows after it.
    answer = [d](qirDialog*) {
        int x, y;
        qirgui::Centre(d->ok->canvas(), d->ok->allocation(), &x, &y);
        qirx::Click(seen.xwin, x, y);
    };
    EXPECT_TRUE(d->post_at(640, 512));
    Resource::unref(d);
}

TEST_F(DialogTest, ButtonAcceptsAndOtherWindowsGetNoPointerInput) {
    Parent p;
    std::string title = qirgui::Title("Accept");
    OkDialog* d = new OkDialog(qirString(title.c_str()));
    Resource::ref(d);
    answer = [&p, d](qirDialog*) {
        qirgui::Shot("dialog");
        int x, y;
        qirgui::Centre(p.button->canvas(), p.button->allocation(), &x, &y);
        qirx::Click(p.xwin(), x, y);
        qirgui::Centre(d->ok->canvas(), d->ok->allocation(), &x, &y);
        qirx::Click(seen.xwin, x, y);
    };
    EXPECT_TRUE(d->post_for(p.window));
    EXPECT_EQ(p.pressed, 0) << "the parent took a click while the dialog was posted";
    qirgui::Pump();
    // Once the dialog is gone the parent takes clicks again.
    int x, y;
    qirgui::Centre(p.button->canvas(), p.button->allocation(), &x, &y);
    qirx::Click(p.xwin(), x, y);
    qirgui::Pump();
    EXPECT_EQ(p.pressed, 1);
    Resource::unref(d);
}

TEST_F(DialogTest, EndingTheSessionEndsThePostWithFalse) {
    std::string title = qirgui::Title("Ending");
    OkDialog* d = new OkDialog(qirString(title.c_str()));
    Resource::ref(d);
    answer = [](qirDialog*) {
        qirgui::TheSession()->quit();
        // Something to read, so that the loop looks at the session again.
        qirx::SendMotion(seen.xwin, 5, 5, 0, qirx::NextTime());
    };
    EXPECT_FALSE(d->post_at(300, 300));
    qirgui::TheSession()->unquit();
    Resource::unref(d);
}


struct Counted {
    ~Counted() { gone++; }
    static inline int gone = 0;
};

// Turns the dispatcher until nothing is due: Pump reads events only.
void Turn() {
    for (int i = 0; i < 3; i++) {
        long sec = 0, usec = 20000;
        Dispatcher::instance().dispatch(sec, usec);
    }
}

// A window closing itself hands its deletion to qirAfterEvent: it must
// not run inside the asking handler, nor inside a dialog's loop that the
// asking action may still be waiting in.
TEST_F(DialogTest, WorkAskedInAHandlerRunsAfterTheEventAndNeverDuringAPostedDialog) {
    static std::vector<int> ran;
    ran.clear();
    auto note = [](void* p) { ran.push_back(*static_cast<int*>(p)); };
    int one = 1, two = 2, three = 3;
    qirAfterEvent::Run(note, &one);
    qirAfterEvent::Run(note, &two);
    qirAfterEvent::Run(note, &three);
    EXPECT_EQ(qirAfterEvent::Cancel(&two), 1);
    EXPECT_TRUE(ran.empty());
    Turn();
    EXPECT_EQ(ran, (std::vector<int>{1, 3}));

    // Asked while a dialog is posted: the dialog's loop turns the
    // dispatcher until the click, yet the work waits for the dialog to go.
    ran.clear();
    std::string title = qirgui::Title("Later");
    OkDialog* d = new OkDialog(qirString(title.c_str()));
    Resource::ref(d);
    answer = [&one, note, d](qirDialog*) {
        qirAfterEvent::Run(note, &one);
        Turn();
        int x, y;
        qirgui::Centre(d->ok->canvas(), d->ok->allocation(), &x, &y);
        qirx::Click(seen.xwin, x, y);
    };
    EXPECT_TRUE(d->post_for(nullptr));
    EXPECT_TRUE(ran.empty());
    Turn();
    EXPECT_EQ(ran, (std::vector<int>{1}));
    Resource::unref(d);

    // Deleting an object later.
    qirAfterEvent::Delete(new Counted);
    EXPECT_EQ(Counted::gone, 0);
    qirAfterEvent::RunPending();
    EXPECT_EQ(Counted::gone, 1);
    EXPECT_EQ(qirAfterEvent::Pending(), 0);
}

}  // namespace
