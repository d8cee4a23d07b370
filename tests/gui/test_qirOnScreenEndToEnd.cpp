// The real qir keeping its windows on the screen, as a user meets them: a
// short message list window opens high enough for its Message menu to fit
// below the bar; moved to the screen's bottom right corner, the dialogs it
// opens ("Choose folder", the file chooser of Export) lie wholly on the
// screen, and its Message menu opens upwards so that its last entries can
// be chosen.  Geometry is read back from the X server.
#include <gtest/gtest.h>

#include "qirXTest.h"

#include "qirMailTestText.h"
#include "qirWindowTest.h"

#include <sys/stat.h>

#include <string>

namespace {

struct Box {
    int x = 0, y = 0, width = 0, height = 0;
};

class OnScreenEndToEnd : public qirWindowTest {
protected:
    void SetUp() override {
        qirWindowTest::SetUp();
        if (IsSkipped())
            return;
        mkdir((Dir() + "/Incoming.QIR").c_str(), 0700);
        ASSERT_EQ(ImportMessage(Dir() + "/Incoming.QIR/Message0",
                                "From: a@example.org\nTo: me@example.org\nSubject: one\n\ntext\n"),
                  0);
        XWindowAttributes root;
        XGetWindowAttributes(qirx::Connection(), DefaultRootWindow(qirx::Connection()), &root);
        screen = {0, 0, root.width, root.height};
    }
    static Box Geometry(unsigned long w) {
        Box b;
        qirx::Geometry(w, &b.x, &b.y, &b.width, &b.height);
        return b;
    }
    ::testing::AssertionResult OnScreen(unsigned long w) const {
        Box b = Geometry(w);
        if (b.width > 0 && b.x >= 0 && b.y >= 0 && b.x + b.width <= screen.width && b.y + b.height <= screen.height)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << b.width << "x" << b.height << "+" << b.x << "+" << b.y
                                             << " on a screen of " << screen.width << "x" << screen.height;
    }
    Box screen;
};

TEST_F(OnScreenEndToEnd, WindowsDialogsAndMenusOpenWhollyOnTheScreen) {
    Start();
    unsigned long main = MainWindow();
    ASSERT_NE(main, 0u) << LogTail();
    EXPECT_TRUE(OnScreen(main));
    unsigned long list = OpenFolder(main, "Incoming");
    ASSERT_NE(list, 0u);
    EXPECT_TRUE(OnScreen(list));
    ASSERT_TRUE(WaitFor([&] { return Shows(list, "Selected 0"); }, 5000));

    // Where it opened, its Message menu fits below the bar.
    unsigned long menu = 0;
    ASSERT_TRUE(ChooseMenu(list, "Message", "Select all", "msglist-menu", &menu));
    EXPECT_TRUE(WaitFor([&] { return Shows(list, "Selected 1"); }, 5000));
    ASSERT_NE(menu, 0u);
    EXPECT_TRUE(OnScreen(menu));
    EXPECT_GE(Geometry(menu).y, Geometry(list).y) << "the menu opens below the bar";

    // Moved into the bottom right corner.
    qirShell("xdotool windowmove " + std::to_string(list) + " " + std::to_string(screen.width - 120) + " " +
             std::to_string(screen.height - 80) + " sleep 0.3");
    Box moved = Geometry(list);
    ASSERT_GT(moved.x + moved.width, screen.width) << "the window was not moved off the edge";
    ASSERT_TRUE(ChooseMenu(list, "Message", "Unselect all", "msglist-menu-up", &menu));
    EXPECT_TRUE(WaitFor([&] { return Shows(list, "Selected 0"); }, 5000)) << "the last entry was not chosen";
    EXPECT_TRUE(OnScreen(menu));
    ASSERT_TRUE(ChooseMenu(list, "Message", "Select all"));
    ASSERT_TRUE(WaitFor([&] { return Shows(list, "Selected 1"); }, 5000));

    // Its dialogs: a chooser of the program's own and the toolkit's file
    // chooser, each closed by the window manager's request.
    struct Dialog {
        const char* entry;
        const char* title;
    } dialogs[] = {{"Move to folder...", "Choose folder"}, {"Export...", "Save file"}};
    for (const Dialog& d : dialogs) {
        SCOPED_TRACE(d.title);
        ASSERT_TRUE(ChooseMenu(list, "Message", d.entry));
        unsigned long dialog = WaitWindow(d.title);
        ASSERT_NE(dialog, 0u) << LogTail();
        EXPECT_TRUE(OnScreen(dialog));
        Shot(d.title[0] == 'C' ? "choose-folder-corner" : "save-file-corner");
        qirx::SendDelete(dialog);
        ASSERT_TRUE(WaitFor([&] { return Window(d.title) == 0; }, 5000));
    }
    EXPECT_EQ(Quit(main), 0) << LogTail();
}

}  // namespace
