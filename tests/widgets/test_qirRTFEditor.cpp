// The editor glyph on a real X server: its fonts and colours, what it draws
// (pixel probes), its scrolling, and keys and pointer input through its
// event entry.
#include <gtest/gtest.h>

#include "qirGuiTest.h"

#include "qirConfiguration.h"
#include "qirRTFEditor.h"

#include <InterViews/input.h>
#include <InterViews/layout.h>
#include <InterViews/style.h>
#include <InterViews/window.h>

#include <memory>
#include <string>

// The document's own names, not the InterViews macros.
#undef Text
#undef Font

namespace {

// What the panel's input handler does: every pointer and key event to the
// editor.
class EditorInput : public InputHandler {
public:
    explicit EditorInput(qirRTFEditor* e) : InputHandler(e, qirgui::TheSession()->style()), ed_(e) {}
    void move(const Event& e) override { ed_->handle(e); InputHandler::move(e); }
    void press(const Event& e) override { ed_->handle(e); InputHandler::press(e); }
    void drag(const Event& e) override { ed_->handle(e); InputHandler::drag(e); }
    void release(const Event& e) override { ed_->handle(e); InputHandler::release(e); }
    void keystroke(const Event& e) override { ed_->handle(e); }

private:
    qirRTFEditor* ed_;
};

// The shipped configuration with colours easy to tell apart.
std::unique_ptr<qirConfiguration> Config() {
    qirgui::TheSession();
    std::unique_ptr<qirConfiguration> c(new qirConfiguration());
    EXPECT_EQ(c->Load(QIR_BUILD_DATA "/QIR.cfg"), 0);
    c->Set("RTFEditor.Colors.BackgroundColor", "#204060");
    c->Set("RTFEditor.Colors.CursorColor", "#ff0000");
    c->Set("RTFEditor.Colors.BlockColor", "#00ff00");
    c->Set("RTFEditor.Colors.DefaultColor", "#000000");
    return c;
}

// An editor alone in a window of width x height X pixels.
struct EditorWindow {
    std::unique_ptr<qirConfiguration> config;
    qirRTFEditor* editor;
    TopLevelWindow* window;
    std::string title;
    qirx::XWin xwin = 0;

    EditorWindow(const char* name, int mode = qirRTFEditMode, int width = 400, int height = 300,
                 std::unique_ptr<qirConfiguration> cfg = Config())
        : config(std::move(cfg)), title(qirgui::Title(name)) {
        editor = new qirRTFEditor(config.get(), nullptr, mode, nullptr);
        Resource::ref(editor);
        Display* d = qirgui::TheSession()->default_display();
        Glyph* body = LayoutKit::instance()->fixed(new EditorInput(editor), d->to_coord(width),
                                                   d->to_coord(height));
        window = qirgui::MapTitled(body, title, &xwin);
    }
    ~EditorWindow() {
        window->unmap();
        delete window;
        Resource::unref(editor);
        qirgui::Pump();
    }

    void Load(const char* text, bool enriched) {
        qirRTFSource src(text);
        std::string t;
        std::vector<qirRTFStyle> runs;
        std::vector<qirRTFAlign> marks;
        if (enriched)
            editor->read_enriched(src, t, runs, marks);
        else
            editor->read_plain(src, t, runs, marks);
        editor->clear();
        editor->Document().insert(0, t, runs, marks);
        editor->SetFresh();
        editor->reallocate();
        editor->redraw();
        qirgui::Pump();
    }

    // The colour of a window pixel as 0xRRGGBB (the test server is 24 bits).
    unsigned long Probe(int x, int y) {
        qirgui::Pump();
        XImage* img = XGetImage(qirx::Connection(), xwin, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!img)
            return 0xdeadbeef;
        unsigned long p = XGetPixel(img, 0, 0) & 0xffffff;
        XDestroyImage(img);
        return p;
    }

    // Window pixel of the middle of a character's cell.
    void CellCentre(int pos, int* x, int* y) {
        qirRTFDocument& doc = editor->Document();
        int line = doc.LineOf(pos);
        int px = editor->LineOrigin(line);
        for (int q = doc.Lines()[line].start; q < pos; ++q)
            px += editor->Metrics(doc.Runs()[doc.RunOf(q)]).widths[(unsigned char)(doc.Text()[q] == '\n' ? ' ' : doc.Text()[q])];
        int py = editor->AreaTop();
        for (int l = editor->FirstVisible(); l < line; ++l)
            py += doc.Lines()[l].height;
        *x = px + 2;
        *y = py + doc.Lines()[line].height / 2;
    }

    void Key(KeySym sym, unsigned int state = 0) {
        qirx::SendKey(xwin, sym, state);
        qirgui::Pump();
    }

    std::string Text() const { return editor->Document().Text(); }
};

// Colours come back from the server within a step of the asked value.
::testing::AssertionResult Near(unsigned long got, unsigned long want) {
    for (int shift : {0, 8, 16}) {
        int a = (got >> shift) & 0xff, b = (want >> shift) & 0xff;
        if (a - b > 2 || b - a > 2)
            return ::testing::AssertionFailure() << std::hex << "0x" << got << " is not 0x" << want;
    }
    return ::testing::AssertionSuccess();
}

TEST(qirRTFEditor, DrawsBackgroundCursorAndSelectionColours) {
    EditorWindow w("Editor colours");
    w.Load("a   b    c\nsecond line\n", false);
    qirRTFEditor* ed = w.editor;
    EXPECT_EQ(ed->Cursor(), 0);
    EXPECT_TRUE(Near(w.Probe(ed->AreaRight() - 5, ed->AreaBottom() - 5), 0x204060));

    // The cursor cell on a blank, a selection of blanks behind it.
    ed->SetCursor(2);
    ed->Document().anchor = 5;
    ed->Document().selectionEnd = 9;
    ed->redraw();
    int x, y;
    w.CellCentre(2, &x, &y);
    EXPECT_TRUE(Near(w.Probe(x, y), 0xff0000));
    w.CellCentre(6, &x, &y);
    EXPECT_TRUE(Near(w.Probe(x, y), 0x00ff00));
    w.CellCentre(9, &x, &y);
    EXPECT_TRUE(Near(w.Probe(x, y), 0x204060));   // the selection's end is not in it
    // The newline is a cell the cursor can stand on.
    ed->SetCursor(10);
    ed->redraw();
    w.CellCentre(10, &x, &y);
    EXPECT_TRUE(Near(w.Probe(x, y), 0xff0000));
}

TEST(qirRTFEditor, ViewModeDrawsNoCursorUnlessConfigured) {
    EditorWindow w("Viewer cursor", qirRTFViewMode);
    w.Load("a   b\n", false);
    w.editor->SetCursor(2);
    w.editor->redraw();
    int x, y;
    w.CellCentre(2, &x, &y);
    EXPECT_TRUE(Near(w.Probe(x, y), 0x204060));
    auto cfg = Config();
    cfg->Set("RTFEditor.ShowCursorInViewer", "yes");
    qirRTFEditor shown(cfg.get(), nullptr, qirRTFViewMode, nullptr);
    EXPECT_EQ(shown.ShowCursor(), 1);
}

TEST(qirRTFEditor, UnknownColourNamesFallBackToARealDefaultEntry) {
    qirgui::TheSession();
    qirConfiguration cfg;
    for (const char* k : {"CursorColor", "BackgroundColor", "BlockColor", "DefaultColor"})
        cfg.Set((std::string("RTFEditor.Colors.") + k).c_str(), "no-such-colour");
    qirRTFEditor ed(&cfg, nullptr, qirRTFEditMode, nullptr);
    for (const qirRTFEditorColor* c : {ed.CursorColor(), ed.BackgroundColor(), ed.BlockColor(),
                                       ed.DefaultColor(), ed.ColorByName("still-no-colour"),
                                       ed.ColorByName(nullptr)}) {
        ASSERT_NE(c, nullptr);
        EXPECT_STREQ(c->Name(), "#000000");
    }
    EXPECT_EQ(ed.ColorCount(), 1);
    // Known names make one entry each, found again by name.
    const qirRTFEditorColor* red = ed.ColorByName("red");
    EXPECT_STREQ(red->Name(), "red");
    EXPECT_EQ(ed.ColorByName("red"), red);
    EXPECT_EQ(ed.ColorCount(), 2);

    // Without a configuration the defaults of the table.
    qirRTFEditor plain(nullptr, nullptr, qirRTFEditMode, nullptr);
    EXPECT_STREQ(plain.CursorColor()->Name(), "#0000ff");
    EXPECT_STREQ(plain.BackgroundColor()->Name(), "#505050");
    EXPECT_STREQ(plain.BlockColor()->Name(), "#101010");
    EXPECT_STREQ(plain.DefaultColor()->Name(), "#000000");
}

TEST(qirRTFEditor, FontTablesFollowStylesAndSizeSteps) {
    qirgui::TheSession();
    const std::string helv = "-adobe-helvetica-medium-r-normal--";
    auto name = [&](int px) { return helv + std::to_string(px) + "-*-*-*-p-*-iso8859-1"; };
    qirConfiguration cfg;
    cfg.Set("RTFEditor.Fonts.Normal.Smaller", name(10).c_str());
    cfg.Set("RTFEditor.Fonts.Normal.Smaller1", "-no-such-font-at-all");   // skipped
    cfg.Set("RTFEditor.Fonts.Normal.Smaller2", name(8).c_str());
    cfg.Set("RTFEditor.Fonts.Normal.Normal", name(12).c_str());
    cfg.Set("RTFEditor.Fonts.Normal.Bigger", name(14).c_str());
    cfg.Set("RTFEditor.Fonts.Bold.Bigger", name(18).c_str());
    cfg.Set("RTFEditor.Fonts.Bold.Bigger1", name(24).c_str());
    cfg.Set("RTFEditor.Fonts.Italic.Smaller", name(10).c_str());
    cfg.Set("RTFEditor.Fonts.Italic.Smaller1", name(8).c_str());
    cfg.Set("RTFEditor.Fonts.Fixed.Normal", (helv + "300-*-*-*-p-*-iso8859-1").c_str());
    qirRTFEditor ed(&cfg, nullptr, qirRTFEditMode, nullptr);

    struct Case {
        int bits, step;
        int px;
    } cases[] = {
        {0, 0, 12},   {0, -1, 10},  {0, -2, 8},   {0, -25, 8}, {0, 1, 14}, {0, 25, 14},
        {qirRTFBold, 0, 18}, {qirRTFBold, 1, 24}, {qirRTFBold, 9, 24},   // only Bigger keys
        {qirRTFItalic, 0, 10}, {qirRTFItalic, -1, 8}, {qirRTFItalic, -7, 8},   // only Smaller keys
        {qirRTFItalic | qirRTFBold, 0, 12},   // no such style: Normal's fonts
        {qirRTFUnderline, 1, 14},             // underline picks no font
        {-3, 0, 12},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ed.Font(c.bits, c.step)->Name(), name(c.px)) << c.bits << " " << c.step;

    // Metrics are the font's own, in ints: a 300 pixel font does not fit a byte.
    const qirRTFEditorFont* big = ed.Font(qirRTFFixed, 0);
    EXPECT_GT(big->Ascent() + big->Descent(), 255);
    EXPECT_GT(big->MaxWidth(), 100);
    const qirRTFEditorFont* f = ed.Font(0, 0);
    EXPECT_GT(f->Width('W'), f->Width('i'));
    EXPECT_EQ(f->Width(255), f->MaxWidth());
    EXPECT_NE(f->FontId(), 0u);

    // No fonts configured at all: still a font that measures and draws.
    qirRTFEditor bare(nullptr, nullptr, qirRTFEditMode, nullptr);
    EXPECT_GT(bare.Font(0, 0)->Ascent(), 0);
    EXPECT_GT(bare.Font(7, 3)->Width('m'), 0);
}

TEST(qirRTFEditor, TypesAndMovesByTheKeysOfTheKeyMap) {
    EditorWindow w("Editor keys");
    w.Load("\n", false);
    for (KeySym k : {XK_h, XK_i})
        w.Key(k);
    w.Key(XK_1, ShiftMask);
    w.Key(XK_comma);
    w.Key(XK_space);
    w.Key(XK_a, ShiftMask | LockMask);
    EXPECT_EQ(w.Text(), "hi!, a\n");
    EXPECT_EQ(w.editor->Cursor(), 6);
    w.Key(XK_Return);
    w.Key(XK_x);
    w.Key(XK_BackSpace);
    w.Key(XK_y);
    EXPECT_EQ(w.Text(), "hi!, a\ny\n");
    w.Key(XK_Up);
    EXPECT_EQ(w.editor->LineOf(w.editor->Cursor()), 0);
    w.Key(XK_Home);
    EXPECT_EQ(w.editor->Cursor(), 0);
    w.Key(XK_Right);
    w.Key(XK_Right);
    EXPECT_EQ(w.editor->Cursor(), 2);
    w.Key(XK_Delete);
    EXPECT_EQ(w.Text(), "hi, a\ny\n");
    w.Key(XK_End, ControlMask);
    EXPECT_EQ(w.editor->Cursor(), w.editor->Document().Length() - 1);
    // A key without a binding does nothing.
    w.Key(XK_F12);
    EXPECT_EQ(w.Text(), "hi, a\ny\n");

    // View mode: keys move, nothing is typed.
    EditorWindow v("Viewer keys", qirRTFViewMode);
    v.Load("abc\n", false);
    v.Key(XK_x);
    v.Key(XK_Return);
    EXPECT_EQ(v.Text(), "abc\n");
    v.Key(XK_Right);
    EXPECT_EQ(v.editor->Cursor(), 1);
}

TEST(qirRTFEditor, UpAndDownKeepTheGoalColumnThroughShortLines) {
    EditorWindow w("Editor goal x");
    w.Load("0123456789 long line\nab\n0123456789 long line\n", false);
    w.editor->SetCursor(8);
    w.editor->RememberX();
    w.Key(XK_Down);
    EXPECT_EQ(w.editor->Cursor(), 23);   // the short line's newline
    w.Key(XK_Down);
    EXPECT_EQ(w.editor->Cursor(), 24 + 8);
    w.Key(XK_Up);
    w.Key(XK_Up);
    EXPECT_EQ(w.editor->Cursor(), 8);
}

TEST(qirRTFEditor, DraggingSelectsAndFillsTheCutBuffer) {
    EditorWindow w("Editor drag");
    w.Load("select these words\nnext line\n", false);
    int x0, y0, x1, y1;
    w.CellCentre(7, &x0, &y0);
    w.CellCentre(12, &x1, &y1);
    qirx::PointerTo(w.xwin, x0, y0);
    qirgui::Pump();
    qirx::PointerButton(1, true);
    qirgui::Pump();
    EXPECT_TRUE(w.editor->Dragging());
    qirx::PointerTo(w.xwin, (x0 + x1) / 2, y0);
    qirgui::Pump();
    qirx::PointerTo(w.xwin, x1, y1);
    qirgui::Pump();
    qirx::PointerButton(1, false);
    qirgui::Pump();
    EXPECT_FALSE(w.editor->Dragging());
    EXPECT_EQ(w.editor->Document().anchor, 7);
    EXPECT_EQ(w.editor->Document().selectionEnd, 12);
    EXPECT_EQ(qirx::CutBuffer(), "these");
    // A click right of a line's end lands on its newline.
    qirx::Click(w.xwin, w.editor->AreaRight() - 3, y0);
    qirgui::Pump();
    EXPECT_EQ(w.editor->Cursor(), 18);
}

TEST(qirRTFEditor, ClearEndsADragAndResetsTheSelection) {
    EditorWindow w("Editor clear");
    w.Load("a long first text to select from\n", false);
    int x0, y0, x1, y1;
    w.CellCentre(2, &x0, &y0);
    w.CellCentre(20, &x1, &y1);
    qirx::PointerTo(w.xwin, x0, y0);
    qirgui::Pump();
    qirx::PointerButton(1, true);
    qirx::PointerTo(w.xwin, x1, y1);
    qirgui::Pump();
    ASSERT_TRUE(w.editor->Dragging());
    ASSERT_NE(w.editor->Document().anchor, w.editor->Document().selectionEnd);

    w.editor->ResetText();   // what clear and load start with
    w.Load("short\n", false);
    EXPECT_FALSE(w.editor->Dragging());
    EXPECT_EQ(w.editor->Document().anchor, 0);
    EXPECT_EQ(w.editor->Document().selectionEnd, 0);
    // The rest of the old gesture changes nothing and copies nothing.
    XStoreBytes(qirx::Connection(), "untouched", 9);
    XSync(qirx::Connection(), False); // before the editor's own store
    qirx::PointerTo(w.xwin, x1 + 30, y1);
    qirgui::Pump();
    qirx::PointerButton(1, false);
    qirgui::Pump();
    EXPECT_EQ(w.editor->Document().anchor, w.editor->Document().selectionEnd);
    EXPECT_EQ(qirx::CutBuffer(), "untouched");
    EXPECT_EQ(qirgui::TheSession()->default_display()->grabber(), nullptr);
    // A copy with a stale selection past the shorter text is clamped.
    w.editor->Document().anchor = 3;
    w.editor->Document().selectionEnd = 30;
    w.editor->CopySelection(-1, -1);
    EXPECT_EQ(qirx::CutBuffer(), "rt");
}

TEST(qirRTFEditor, LinesTallerThanTheAreaNeverIndexOutsideTheLines) {
    // An area shorter than one line: no line is visible.
    EditorWindow w("Editor tiny", qirRTFEditMode, 300, 8);
    std::string text;
    for (int i = 0; i < 30; ++i)
        text += "line " + std::to_string(i) + "\n";
    w.Load(text.c_str(), false);
    qirRTFEditor* ed = w.editor;
    EXPECT_EQ(ed->VisibleLines(), 0);
    const int lines = static_cast<int>(ed->Document().Lines().size());
    auto sane = [&](const char* what) {
        EXPECT_GE(ed->FirstVisible(), 0) << what;
        EXPECT_LT(ed->FirstVisible(), lines) << what;
        EXPECT_GE(ed->Cursor(), 0) << what;
        EXPECT_LT(ed->Cursor(), ed->Document().Length()) << what;
    };
    for (int code : {qirCmdDown, qirCmdPageDown, qirCmdPageDown, qirCmdEndOfText, qirCmdUp,
                     qirCmdPageUp, qirCmdPageUp, qirCmdStartOfText, qirCmdPageUp, qirCmdEnd}) {
        ed->execute(code, 0);
        ed->ScrollToCursor();
        sane("command");
    }
    ed->execute(qirCmdEndOfText, 0);
    ed->ScrollToCursor();
    EXPECT_EQ(ed->FirstVisible(), lines - 1);
    for (double v : {-50.0, 0.0, 3.0, 29.0, 1000.0}) {
        ed->scroll_to(Dimension_Y, v);
        sane("scroll");
    }
    ed->CursorIntoView();
    sane("into view");
    for (int y : {-100, 0, 4, 50, 1000}) {
        int p = ed->PositionAt(10, y);
        EXPECT_GE(p, 0);
        EXPECT_LT(p, ed->Document().Length());
    }
    w.Key(XK_Down);
    w.Key(XK_a);
    sane("typing");
}

TEST(qirRTFEditor, ScrollingAndTheCursorStayTogether) {
    EditorWindow w("Editor scroll", qirRTFEditMode, 300, 120);
    std::string text;
    for (int i = 0; i < 10000; ++i)
        text += "line number " + std::to_string(i) + "\n";
    w.Load(text.c_str(), false);
    qirRTFEditor* ed = w.editor;
    const int lines = static_cast<int>(ed->Document().Lines().size());
    ASSERT_EQ(lines, 10000);
    int count = ed->VisibleCount();
    ASSERT_GT(count, 2);

    // The end of the text in one jump: the last line at the bottom.
    ed->execute(qirCmdEndOfText, 0);
    ed->ScrollToCursor();
    EXPECT_EQ(ed->FirstVisible() + ed->VisibleCount(), lines);
    EXPECT_EQ(ed->cur_lower(Dimension_Y), 0);
    // Scrolling further down changes nothing once the last line shows.
    int fv = ed->FirstVisible();
    ed->scroll_to(Dimension_Y, -5);
    EXPECT_EQ(ed->FirstVisible(), fv);

    // To the top by the scroll bar: the cursor follows onto the last
    // visible line.
    ed->scroll_to(Dimension_Y, lines);
    EXPECT_EQ(ed->FirstVisible(), 0);
    EXPECT_EQ(ed->LineOf(ed->Cursor()), ed->VisibleCount() - 1);

    // Typing on the top line of the view shows one more line above it.
    ed->scroll_to(Dimension_Y, lines - 50 - ed->VisibleCount());
    ASSERT_EQ(ed->FirstVisible(), 50);
    ed->SetCursor(ed->Document().Lines()[50].start);
    ed->Type('x');
    EXPECT_EQ(ed->FirstVisible(), 49);
    EXPECT_EQ(ed->Document().Text().compare(ed->Document().Lines()[50].start, 16, "xline number 50\n"), 0);

    // Dragging below the area selects into the line under the view.
    int last = ed->FirstVisible() + ed->VisibleCount() - 1;
    int below = ed->PositionAt(20, ed->AreaBottom() + 2);
    EXPECT_EQ(ed->LineOf(below), last + 1);
    int above = ed->PositionAt(20, ed->AreaTop() - 2);
    EXPECT_EQ(ed->LineOf(above), ed->FirstVisible() - 1);
}

TEST(qirRTFEditor, ShowsStyledText) {
    EditorWindow w("Editor styled", qirRTFEditMode, 560, 360);
    w.Load("<center><bigger><bold>Quorvane editor</bold></bigger></center>\n\n"
           "Plain text, <bold>bold</bold>, <italic>italic</italic>, "
           "<fixed>fixed width</fixed>, <underline>underlined</underline> and "
           "<bold><italic>bold italic</italic></bold>.\n\n"
           "<x-color><param>red</param>Red</x-color>, "
           "<x-color><param>#008000</param>green</x-color> and "
           "<x-color><param>blue</param>blue</x-color> words.\n\n"
           "<indent><indent>An indented paragraph that is long enough to wrap onto a second "
           "line inside its indents.</indent></indent>\n\n"
           "<flushright>Flush right</flushright>\n"
           "<center><smaller>centred and smaller</smaller></center>\n",
           true);
    qirRTFEditor* ed = w.editor;
    const auto& doc = ed->Document();
    // The red word is drawn in red.
    int red = static_cast<int>(doc.Text().find("Red"));
    ASSERT_GE(red, 0);
    EXPECT_STREQ(ed->ColorName(doc.Runs()[doc.RunOf(red)].color), "red");
    int line = doc.LineOf(red);
    int x0 = ed->LineOrigin(line), y0 = ed->AreaTop();
    for (int l = 0; l < line; ++l)
        y0 += doc.Lines()[l].height;
    bool sawRed = false;
    for (int y = y0; y < y0 + doc.Lines()[line].height && !sawRed; ++y)
        for (int x = x0; x < x0 + 20 && !sawRed; ++x)
            sawRed = Near(w.Probe(x, y), 0xff0000);
    EXPECT_TRUE(sawRed);
    // The centred title starts right of the left edge.
    EXPECT_GT(ed->LineOrigin(0), ed->AreaLeft() + 50);
    qirgui::Shot("rtfeditor_styled");
}

}  // namespace
