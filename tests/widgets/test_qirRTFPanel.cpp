// The editor panel on a real X server: its file and string operations, the
// editor commands, keys and pointer through the panel's input handler, the
// cut buffer as other X clients see it, and the tool bar and menus.
#include <gtest/gtest.h>

#include "qirGuiTest.h"
#include "qirScratchDir.h"

#include "qirConfiguration.h"
#include "qirEditorTags.h"
#include "qirImagePath.h"
#include "qirRTFPanel.h"
#include "qirRTFXlib.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>
#include <InterViews/layout.h>
#include <InterViews/style.h>
#include <InterViews/telltale.h>
#include <InterViews/window.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#undef Text
#undef Font

namespace {

std::unique_ptr<qirConfiguration> Config() {
    qirgui::TheSession();
    std::unique_ptr<qirConfiguration> c(new qirConfiguration());
    EXPECT_EQ(c->Load(QIR_BUILD_DATA "/QIR.cfg"), 0);
    return c;
}

void SetCutBuffer(const std::string& s) {
    XStoreBytes(qirx::Connection(), s.data(), static_cast<int>(s.size()));
    XSync(qirx::Connection(), False);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& s) {
    std::ofstream(path, std::ios::binary) << s;
}

// A panel under a menu bar with an "Edit" pulldown, in a window of its own.
struct PanelWindow {
    std::unique_ptr<qirConfiguration> config = Config();
    Menu* pulldown;
    qirRTFPanel* panel;
    Menu* bar = nullptr;
    TopLevelWindow* window = nullptr;
    std::string title;
    qirx::XWin xwin = 0;

    PanelWindow(const char* name, int mode = qirRTFEditMode, bool show = true, int width = 560,
                int height = 320)
        : title(qirgui::Title(name)) {
        WidgetKit* kit = WidgetKit::instance();
        LayoutKit* lk = LayoutKit::instance();
        bar = kit->menubar();
        Resource::ref(bar);   // a panel never shown has no window to hold it
        MenuItem* edit = kit->menubar_item("Edit");
        pulldown = kit->pulldown();
        edit->menu(pulldown);
        bar->append_item(edit);
        panel = new qirRTFPanel(config.get(), nullptr, mode, pulldown);
        Resource::ref(panel);
        if (!show)
            return;
        Display* d = qirgui::TheSession()->default_display();
        Glyph* body = lk->fixed(lk->vbox(bar, panel), d->to_coord(width), d->to_coord(height));
        window = qirgui::MapTitled(body, title, &xwin);
    }
    ~PanelWindow() {
        if (window) {
            window->unmap();
            delete window;
        }
        Resource::unref(panel);
        Resource::unref(bar);
        qirgui::Pump();
    }

    qirRTFEditor* ed() const { return panel->Editor(); }
    const std::string& Text() const { return ed()->Document().Text(); }

    void Load(const char* text, int enriched) {
        qirScratchDir dir;
        std::string path = dir.Path() + "/in";
        WriteFile(path, text);
        ASSERT_EQ(panel->load(path.c_str(), enriched), 0);
        qirgui::Pump();
    }

    // Keys go where the pointer is: into the text area.
    void Key(KeySym sym, unsigned int state = 0) {
        qirx::XDisplay* dpy = qirx::Connection();
        XEvent ev;
        Time t = qirx::NextTime(50);
        for (int type : {KeyPress, KeyRelease}) {
            qirx::Fill(ev, type, xwin, ed()->AreaLeft() + 5, ed()->AreaTop() + 5, state, t++);
            ev.xkey.keycode = XKeysymToKeycode(dpy, sym);
            XSendEvent(dpy, xwin, False, NoEventMask, &ev);
        }
        XSync(dpy, False);
        qirgui::Pump();
    }

    void CellCentre(int pos, int* x, int* y) {
        const qirRTFDocument& doc = ed()->Document();
        int line = doc.LineOf(pos);
        int px = ed()->LineOrigin(line);
        for (int q = doc.Lines()[line].start; q < pos; ++q) {
            unsigned char c = doc.Text()[q];
            px += ed()->Metrics(doc.Runs()[doc.RunOf(q)]).widths[c == '\n' ? ' ' : c];
        }
        int py = ed()->AreaTop();
        for (int l = ed()->FirstVisible(); l < line; ++l)
            py += doc.Lines()[l].height;
        *x = px + 2;
        *y = py + doc.Lines()[line].height / 2;
    }

    void Run(int code) {
        ed()->execute(code, 0);
        qirgui::Pump();
    }
};

bool Chosen(MenuItem* item) { return item && item->state()->test(TelltaleState::is_chosen); }
bool Chosen(Button* b) { return b && b->state()->test(TelltaleState::is_chosen); }

TEST(qirRTFPanel, TypingAndStyleKeysThroughTheInputHandler) {
    PanelWindow w("Panel keys");
    qirRTFEditor* ed = w.ed();
    for (KeySym k : {XK_a, XK_b})
        w.Key(k);
    w.Key(XK_b, ControlMask);   // Bold
    EXPECT_TRUE(ed->InsertionStyle().bits & qirRTFBold);
    EXPECT_TRUE(Chosen(ed->boldItem));
    EXPECT_TRUE(Chosen(ed->boldButton));
    w.Key(XK_c);
    w.Key(XK_b, ControlMask);
    EXPECT_FALSE(Chosen(ed->boldButton));
    w.Key(XK_d);
    EXPECT_EQ(w.Text(), "abcd\n");
    const qirRTFDocument& doc = ed->Document();
    EXPECT_FALSE(doc.Runs()[doc.RunOf(1)].bits & qirRTFBold);
    EXPECT_TRUE(doc.Runs()[doc.RunOf(2)].bits & qirRTFBold);
    EXPECT_FALSE(doc.Runs()[doc.RunOf(3)].bits & qirRTFBold);
    // Ctrl+r right-aligns; the check marks follow the cursor's paragraph.
    w.Key(XK_r, ControlMask);
    EXPECT_EQ(doc.Marks()[doc.MarkOf(ed->Cursor())].code, qirAlignRight);
    EXPECT_TRUE(Chosen(ed->flushRightItem));
    EXPECT_FALSE(Chosen(ed->flushLeftButton));
    // Size and indent keys clamp and show in the number displays.
    for (int i = 0; i < 12; ++i)
        w.Key(XK_bracketright, ControlMask);
    EXPECT_EQ(ed->InsertionStyle().size, 10);
    w.Key(XK_m, ControlMask);
    w.Key(XK_m, ControlMask | ShiftMask);
    w.Key(XK_m, ControlMask | ShiftMask);
    EXPECT_EQ(ed->InsertionStyle().left, 0);
    // Ctrl+k on the line's newline joins the next line.
    w.Key(XK_Return);
    w.Key(XK_e);
    w.Key(XK_Up);
    w.Key(XK_End);
    w.Key(XK_k, ControlMask);
    EXPECT_EQ(w.Text(), "abcde\n");
    EXPECT_EQ(qirx::CutBuffer(), "\n");
}

// Held read-only while its text is edited elsewhere: keys, paste and
// commands change nothing, the cursor still moves, the program still loads.
TEST(qirRTFPanel, ReadOnlyEditorKeepsItsText) {
    PanelWindow w("Panel read-only");
    qirRTFEditor* ed = w.ed();
    w.Load("one two\n", 0);
    ed->SetReadOnly(1);
    w.Key(XK_x);
    w.Key(XK_Delete);
    w.Key(XK_Return);
    w.Key(XK_End);
    EXPECT_EQ(ed->Cursor(), 7);
    SetCutBuffer("pasted");
    w.Run(qirCmdPasteBuffer);
    w.Run(qirTagBold);
    w.Run(qirCmdDeletePreviousWord);
    int x, y;
    w.CellCentre(2, &x, &y);
    qirx::Click(w.xwin, x, y, Button2);
    qirgui::Pump();
    EXPECT_EQ(w.Text(), "one two\n");
    EXPECT_FALSE(ed->InsertionStyle().bits & qirRTFBold);
    w.Load("reloaded\n", 0);
    EXPECT_EQ(w.Text(), "reloaded\n");
    ed->SetReadOnly(0);
    w.Key(XK_x);
    EXPECT_EQ(w.Text(), "xreloaded\n");
}

TEST(qirRTFPanel, DeletingCommandsFillTheCutBuffer) {
    struct Case {
        const char* name;
        int cursor;
        int code;
        const char* text;
        const char* cut;
        int cursorAfter;
    } cases[] = {
        {"previous word", 8, qirCmdDeletePreviousWord, "one three\n", "two ", 4},
        {"next word", 3, qirCmdDeleteNextWord, "one three\n", " two", 3},
        {"next word on the final newline", 13, qirCmdDeleteNextWord, "one two three\n", "", 13},
        {"to end of line", 4, qirCmdDeleteToEOL, "one \n", "two three", 4},
    };
    PanelWindow w("Panel deletes");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        w.Load("one two three\n", 0);
        SetCutBuffer("");
        w.ed()->SetCursor(c.cursor);
        w.Run(c.code);
        EXPECT_EQ(w.Text(), c.text);
        EXPECT_EQ(qirx::CutBuffer(), c.cut);
        EXPECT_EQ(w.ed()->Cursor(), c.cursorAfter);
    }
    // Cut of a marked block.
    w.Load("one two three\n", 0);
    w.ed()->SetCursor(4);
    w.Run(qirCmdStartMarking);
    w.ed()->SetCursor(8);
    w.Run(qirCmdRight);   // extends the selection to the cursor
    w.Run(qirCmdCutToBuffer);
    EXPECT_EQ(w.Text(), "one hree\n");
    EXPECT_EQ(qirx::CutBuffer(), "two t");
    EXPECT_EQ(w.ed()->Cursor(), 4);
}

TEST(qirRTFPanel, DeleteToEndOfAWrappedLineKeepsItsLastCharacter) {
    PanelWindow w("Panel wrapped");
    w.Load("alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi rho sigma tau upsilon phi chi psi omega alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi rho sigma tau upsilon phi chi psi omega\n", 0);
    const qirRTFDocument& doc = w.ed()->Document();
    ASSERT_GT(doc.Lines().size(), 2u);
    int end = doc.LineEnd(0);   // the first line is wrapped, not ended
    w.ed()->SetCursor(0);
    std::string before = doc.Text();
    w.Run(qirCmdDeleteToEOL);
    EXPECT_EQ(w.Text(), before.substr(end - 1));
}

TEST(qirRTFPanel, AlignmentChangesEveryParagraphOfItsMark) {
    PanelWindow w("Panel align");
    // One mark for all three paragraphs.
    qirRTFStyle run = w.ed()->InsertionStyle();
    w.ed()->clear();
    w.ed()->Document().insert(0, "first\nsecond\nthird\n", std::vector<qirRTFStyle>(1, run),
                              std::vector<qirRTFAlign>(1, qirRTFAlign(qirAlignLeft, 0)));
    w.ed()->reallocate();
    const qirRTFDocument& doc = w.ed()->Document();
    ASSERT_EQ(doc.MarkOf(0), doc.MarkOf(13));
    w.ed()->SetCursor(0);
    w.Run(qirTagFlushRight);
    EXPECT_TRUE(Chosen(w.ed()->flushRightButton));
    for (int l = 0; l < 3; ++l)
        EXPECT_GT(w.ed()->LineOrigin(l), w.ed()->AreaLeft() + 100) << l;
}

TEST(qirRTFPanel, SearchFindsCaseFreeMatchesButNotTheFinalNewline) {
    PanelWindow w("Panel search");
    w.Load("Hello WORLD and world \xc4x \xe4x\nabc\n", 0);
    qirRTFEditor* ed = w.ed();
    ed->SetCursor(0);
    ed->Search("world", 1, 0);
    EXPECT_EQ(ed->Cursor(), 6);
    EXPECT_EQ(ed->Document().anchor, 6);
    EXPECT_EQ(ed->Document().selectionEnd, 11);
    ed->Search("world", 1, 1);
    EXPECT_EQ(ed->Cursor(), 16);
    ed->Search("WORLD", 0, 1);
    EXPECT_EQ(ed->Cursor(), 6);
    // Bytes above 127 match only themselves.
    ed->SetCursor(0);
    ed->Search("\xe4x", 1, 0);
    EXPECT_EQ(ed->Cursor(), 25);
    // No match takes in the final newline; nothing moves without a match.
    ed->Search("abc\n", 1, 1);
    EXPECT_EQ(ed->Cursor(), 25);
    ed->Search("abc", 1, 1);
    EXPECT_EQ(ed->Cursor(), 28);
    ed->SetCursor(w.Text().size() - 1);
    ed->Search("c\n", 0, 1);
    EXPECT_EQ(ed->Cursor(), static_cast<int>(w.Text().size()) - 1);
}

TEST(qirRTFPanel, CopyPasteKeepsStylesUnlessAnotherClientChangedTheBuffer) {
    PanelWindow w("Panel paste");
    w.Load("<bold>bold</bold> <center>mid</center>\n", 1);
    qirRTFEditor* ed = w.ed();
    const qirRTFDocument& doc = ed->Document();
    ed->CopySelection(0, 4);
    EXPECT_EQ(qirx::CutBuffer(), "bold");
    ed->Paste(doc.Length() - 1);
    int at = doc.Length() - 5;
    EXPECT_EQ(doc.Text().substr(at, 4), "bold");
    EXPECT_TRUE(doc.Runs()[doc.RunOf(at)].bits & qirRTFBold);
    // Another client's text comes in the insertion style.
    SetCutBuffer("plain\nnext");
    int end = doc.Length() - 1;
    int x, y;
    w.CellCentre(end, &x, &y);
    qirx::Click(w.xwin, x, y, Button2);
    qirgui::Pump();
    ASSERT_EQ(doc.Text().substr(end, 10), "plain\nnext");
    EXPECT_FALSE(doc.Runs()[doc.RunOf(end)].bits & qirRTFBold);
    EXPECT_EQ(doc.Marks()[doc.MarkOf(end + 6)].code, qirAlignLeft);
    EXPECT_EQ(ed->Cursor(), end + 10);
    // A copy after loading a shorter text is clamped to it.
    ed->CopySelection(0, 30);
    w.Load("ab\n", 0);
    ed->Document().anchor = 0;
    ed->Document().selectionEnd = 40;
    ed->CopySelection(-1, -1);
    EXPECT_EQ(qirx::CutBuffer(), "ab");
}

TEST(qirRTFPanel, DraggingSelectsIntoTheCutBuffer) {
    PanelWindow w("Panel drag");
    w.Load("select these words\n", 0);
    int x0, y0, x1, y1;
    w.CellCentre(7, &x0, &y0);
    w.CellCentre(12, &x1, &y1);
    qirx::PointerTo(w.xwin, x0, y0);
    qirgui::Pump();
    qirx::PointerButton(1, true);
    qirgui::Pump();
    qirx::PointerTo(w.xwin, x1, y1);
    qirgui::Pump();
    qirx::PointerButton(1, false);
    qirgui::Pump();
    EXPECT_EQ(qirx::CutBuffer(), "these");
}

TEST(qirRTFPanel, CutBufferStoreCutsSelectionsLargerThanARequest) {
    qirgui::TheSession();
    Display* d = qirgui::TheSession()->default_display();
    long room = XExtendedMaxRequestSize(qirx::Connection());
    if (room == 0)
        room = XMaxRequestSize(qirx::Connection());
    std::string big(static_cast<size_t>(room) * 4 + 1000, 'x');
    qirRTFXlib::StoreCutBuffer(d, big.data(), static_cast<int>(big.size()));
    std::string own;   // a round trip: the store has reached the server
    EXPECT_TRUE(qirRTFXlib::FetchCutBuffer(d, own));
    std::string got = qirx::CutBuffer();
    EXPECT_EQ(got.size(), own.size());
    EXPECT_GT(got.size(), 0u);
    EXPECT_LT(got.size(), big.size());
    SetCutBuffer("");   // no 16 MB property left on the server for later tests
}

TEST(qirRTFPanel, FileOperations) {
    qirScratchDir dir;
    std::string empty = dir.Path() + "/empty", path = dir.Path() + "/text";
    WriteFile(empty, "");
    // Never shown: no canvas, no layout.
    PanelWindow w("Panel files", qirRTFEditMode, false);
    qirRTFPanel* p = w.panel;
    EXPECT_EQ(p->save(nullptr, 0, 0), 1);   // nothing loaded
    EXPECT_EQ(p->load((dir.Path() + "/missing").c_str(), 0), 1);
    ASSERT_EQ(p->load(empty.c_str(), 0), 0);
    EXPECT_EQ(w.Text(), "\n");
    EXPECT_EQ(w.ed()->Cursor(), 0);
    p->go_end();   // before the first allocation: nothing
    EXPECT_EQ(w.ed()->Cursor(), 0);

    EXPECT_EQ(p->append_text("\n\n--\n\n", 1), 0);
    EXPECT_EQ(w.Text(), "\n--\n\n");
    EXPECT_EQ(p->append_text(nullptr, 0), 1);
    p->clear();
    EXPECT_EQ(w.Text(), "\n");
    EXPECT_EQ(p->append_text("first line\nsecond\n", 0), 0);
    // A plain save of a panel never laid out writes the text itself, back
    // into the loaded file.
    ASSERT_EQ(p->save(nullptr, 0, 0), 0);
    EXPECT_EQ(ReadFile(empty), "first line\nsecond\n\n");
    ASSERT_EQ(p->save(path.c_str(), 0, 1), 0);
    ASSERT_EQ(p->save(path.c_str(), 0, 1), 0);
    EXPECT_EQ(ReadFile(path), "first line\nsecond\n\nfirst line\nsecond\n\n");
    // A full disk answers failure, in both modes.
    EXPECT_EQ(p->save("/dev/full", 0, 1), 1);
    EXPECT_EQ(p->save("/dev/full", 1, 1), 1);
    EXPECT_EQ(p->save((dir.Path() + "/no/such/dir").c_str(), 1, 0), 1);
    // Enriched round trip through a file, then insert and append it.
    WriteFile(path, "<bold>B</bold>\n");
    ASSERT_EQ(p->load(path.c_str(), 1), 0);
    EXPECT_EQ(w.Text(), "B\n");
    w.ed()->SetCursor(0);
    ASSERT_EQ(p->insert_file(path.c_str(), 0), 0);
    EXPECT_EQ(w.Text(), "<bold>B</bold>\nB\n");
    EXPECT_EQ(w.ed()->Cursor(), 15);
    ASSERT_EQ(p->append_file(path.c_str(), 1), 0);
    EXPECT_EQ(w.Text(), "<bold>B</bold>\nBB\n");
    EXPECT_EQ(p->insert_file((dir.Path() + "/missing").c_str(), 0), 1);
    EXPECT_EQ(p->append_file(nullptr, 0), 1);
}

TEST(qirRTFPanel, PlainSaveWritesTheLinesAsLaidOut) {
    qirScratchDir dir;
    std::string path = dir.Path() + "/out";
    PanelWindow w("Panel wrap save");
    w.Load("alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi rho sigma tau upsilon phi chi psi omega alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu nu xi omicron pi rho sigma tau upsilon phi chi psi omega\n", 0);
    int lines = static_cast<int>(w.ed()->Document().Lines().size());
    ASSERT_GT(lines, 1);
    ASSERT_EQ(w.panel->save(path.c_str(), 0, 0), 0);
    std::string out = ReadFile(path);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), lines);
    w.panel->go_end();
    EXPECT_EQ(w.ed()->Cursor(), w.ed()->Document().Length() - 1);
    w.panel->go_start();
    EXPECT_EQ(w.ed()->Cursor(), 0);
}

TEST(qirRTFPanel, ViewModeHasNoToolBarAndOnlyTheSearchEntry) {
    PanelWindow v("Panel view", qirRTFViewMode, false);
    EXPECT_EQ(v.ed()->toolbar, nullptr);
    EXPECT_EQ(v.panel->count(), 1);
    EXPECT_EQ(v.pulldown->item_count(), 1);
    EXPECT_EQ(v.ed()->boldItem, nullptr);
    PanelWindow e("Panel edit", qirRTFEditMode, false);
    EXPECT_EQ(e.panel->count(), 2);
    // Separator, three submenus, separator, colour, separator, search.
    EXPECT_EQ(e.pulldown->item_count(), 8);
    EXPECT_NE(e.ed()->flushLeftButton, nullptr);
    EXPECT_TRUE(Chosen(e.ed()->flushLeftButton));
}

// Every tool-bar button shows its shipped picture, and a click on one runs
// its command; with "no_read.tif" among the images they show their texts.
// That picture ships too (a message row's unread face): it is put aside
// while the tool bar with pictures is made.
TEST(qirRTFPanel, ShowsEditModeWithToolBarAndMenus) {
    std::string noRead = qirImagePath("no_read.tif").Data();
    std::string aside = noRead + ".aside";
    bool shipped = rename(noRead.c_str(), aside.c_str()) == 0;
    PanelWindow w("Panel edit mode", qirRTFEditMode, true, 720, 400);
    if (shipped)
        rename(aside.c_str(), noRead.c_str());
    EXPECT_EQ(w.ed()->toolbarPictures, 15);
    w.Load("<center><bigger><bold>Quorvane editor</bold></bigger></center>\n\n"
           "Plain text, <bold>bold</bold>, <italic>italic</italic>, "
           "<fixed>fixed width</fixed> and <underline>underlined</underline>.\n\n"
           "<indent>An indented paragraph long enough to wrap onto a second line "
           "inside its indent.</indent>\n\n"
           "<flushright>Flush right</flushright>\n",
           1);
    w.ed()->SetCursor(14);
    Button* bold = w.ed()->boldButton;
    ASSERT_NE(bold, nullptr);
    ASSERT_NE(bold->canvas(), nullptr);
    int x, y;
    qirgui::Centre(bold->canvas(), bold->allocation(), &x, &y);
    qirx::Click(w.xwin, x, y);
    qirgui::Pump();
    EXPECT_TRUE(w.ed()->InsertionStyle().bits & qirRTFBold) << "the bold picture did not act";
    EXPECT_TRUE(Chosen(bold));
    w.Run(qirTagBigger);
    w.ed()->redraw();
    qirgui::Pump();
    qirgui::Shot("rtfpanel_edit");

    if (!shipped)
        WriteFile(noRead, "");
    PanelWindow labels("Panel labels", qirRTFEditMode, false);
    if (!shipped)
        unlink(noRead.c_str());
    EXPECT_EQ(labels.ed()->toolbarPictures, 0);
    EXPECT_NE(labels.ed()->boldButton, nullptr);
}

}  // namespace
