// The help window and its viewer on a real X server: pages with the
// shipped configuration, links, back, forward and index, the selection
// and the cut buffer, and a broken configuration that must not end the
// program.
#include <gtest/gtest.h>

#include "qirGuiTest.h"

#include <unistd.h>

#include "qirConfiguration.h"
#include "qirError.h"
#include "qirLanguageGroup.h"
#include "qirTestProgram.h"

#include "qirAfterEvent.h"
#include "qirHelpManager.h"
#include "qirHelpWindow.h"
#include "qirRTFColorTable.h"
#include "qirRTFFontTable.h"
#include "qirRTFRunGlyph.h"
#include "qirRTFView.h"
#include "qirUiText.h"

#include <IV-look/button.h>
#include <IV-look/kit.h>
#include <InterViews/layout.h>
#include <InterViews/telltale.h>
#include <InterViews/window.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

class HelpTest : public ::testing::Test {
protected:
    void SetUp() override {
        qirgui::TheSession();
        home = qirMakeTempDir("qirhelp");
        qirConfig.Remove(nullptr);
        ASSERT_EQ(qirConfig.Load(QIR_BUILD_DATA "/QIR.cfg"), 0);
        qirConfig.Set("HelpPath", QIR_BUILD_DATA "/QIR/Help");
        qirLanguage.Load(QIR_BUILD_DATA "/QIR/Languages/English");
        qirLog = new qirError();
        qirLog->Open((home + "/QIR.log").c_str(), 5, -1);
    }
    void TearDown() override {
        qirHelp.Close();
        qirAfterEvent::RunPending();
        qirgui::Pump();
        delete qirLog;
        qirLog = nullptr;
        qirConfig.Remove(nullptr);
        qirRemoveTree(home);
    }
    std::string Log() const { return qirReadFile(home + "/QIR.log"); }
    // A page of the test's own; HelpPath then points at the test's home.
    void Page(const std::string& name, const std::string& text) {
        std::ofstream(home + "/" + name) << text;
        qirConfig.Set("HelpPath", home.c_str());
    }
    // The text of every laid-out line of the view, as drawn.
    static std::vector<std::string> Lines(qirRTFView* view) {
        std::vector<std::string> lines;
        for (int l = 0; l < view->LineCount(); ++l) {
            std::string text;
            int end = l + 1 < view->LineCount() ? view->LineStart(l + 1) : static_cast<int>(view->Runs().size());
            for (int r = view->LineStart(l); r < end; ++r) {
                const qirRTFRun& run = view->Runs()[r]->Run();
                for (const qirRTFElement* e = run.first; e; e = qirRTFEngine::Next(e)) {
                    if (e->type() == qirRTFTextType && static_cast<const qirRTFGlyphElement*>(e)->shown)
                        text += static_cast<char>(static_cast<const qirRTFGlyphElement*>(e)->ch);
                    if (e == run.last)
                        break;
                }
            }
            lines.push_back(text);
        }
        return lines;
    }
    qirx::XWin Shown() {
        qirHelpWindow* w = qirHelp.HelpWindow();
        return w ? qirgui::WaitWindow(qirUiText(1100)) : 0;
    }
    // Handles the events sent and the work they left for after them.
    static void Settle() {
        for (int i = 0; i < 3; ++i) {
            qirgui::Pump();
            qirAfterEvent::RunPending();
        }
    }
    static std::string Target() {
        qirHelpWindow* w = qirHelp.HelpWindow();
        return w && w->Page().target.Data() ? w->Page().target.Data() : "";
    }
    // Window pixels of the centre of the first run showing text (on its
    // line's baseline side), or of a handler.
    static bool WhereIs(qirRTFView* view, const std::string& text, int* x, int* y) {
        for (qirRTFRunGlyph* run : view->Runs()) {
            std::vector<const qirRTFGlyphElement*> chars;
            std::string shown;
            for (const qirRTFElement* e = run->Run().first; e; e = qirRTFEngine::Next(e)) {
                if (e->type() == qirRTFTextType) {
                    chars.push_back(static_cast<const qirRTFGlyphElement*>(e));
                    shown += static_cast<char>(chars.back()->ch);
                }
                if (e == run->Run().last)
                    break;
            }
            size_t at = shown.find(text);
            if (at == std::string::npos || !run->IsAllocated())
                continue;
            const Allocation& a = run->Allocated();
            Coord cx = a.left();
            for (const qirRTFElement* q = run->Run().first; q != chars[at]; q = qirRTFEngine::Next(q)) {
                if (q->type() == qirRTFTextType && static_cast<const qirRTFGlyphElement*>(q)->shown)
                    cx += static_cast<const qirRTFGlyphElement*>(q)->width;
                else if (q->type() == qirRTFSpaceType && static_cast<const qirRTFSpaceElement*>(q)->shown)
                    cx += static_cast<const qirRTFSpaceElement*>(q)->width;
            }
            cx += chars[at]->width / 2;
            *x = qirgui::Px(cx);
            *y = qirgui::Px(view->canvas()->height() - (a.bottom() + a.top()) / 2);
            return true;
        }
        return false;
    }
    static void Press(Button* b, qirx::XWin w) {
        int x, y;
        qirgui::Centre(b->canvas(), b->allocation(), &x, &y);
        qirx::Click(w, x, y);
        Settle();
    }

    std::string home;
};

}  // namespace


// Every page shipped opens, its page links lead to pages that exist, and
// each of them leads back to the index, which leads to all of them.
TEST_F(HelpTest, ShippedPagesOpenAndLinkToOneAnother) {
    const char* pages[] = {"index.rtf", "h_folders.rtf", "h_msglist.rtf", "h_msg_view.rtf",
                           "h_msg_edit.rtf", "filters.rtf", "h_addrbook.rtf"};
    for (const char* page : pages) {
        SCOPED_TRACE(page);
        qirHelp.Show(qirHelpReference(qirString("t"), qirPath(page)));
        ASSERT_TRUE(qirHelp.IsOpen()) << Log();
        ASSERT_NE(Shown(), 0u);
        Settle();
        qirRTFView* view = qirHelp.HelpWindow()->View();
        EXPECT_GT(view->LineCount(), 5);
        std::vector<std::string> targets;
        for (qirObject* n = view->References()->First(); n; n = n->Next())
            targets.push_back(static_cast<qirHelpReferenceNode*>(n)->Reference().target.Data());
        for (const std::string& t : targets) {
            if (t.find(':') == std::string::npos) {
                EXPECT_EQ(access((std::string(QIR_BUILD_DATA "/QIR/Help/") + t).c_str(), R_OK), 0) << t;
            }
        }
        if (std::string(page) == "index.rtf") {
            for (const char* other : pages) {
                if (std::string(other) != "index.rtf") {
                    EXPECT_NE(std::find(targets.begin(), targets.end(), other), targets.end()) << other;
                }
            }
        } else {
            EXPECT_NE(std::find(targets.begin(), targets.end(), "index.rtf"), targets.end());
        }
        EXPECT_EQ(Log().find(" E "), std::string::npos) << Log();
        // The pages name the menus and entries as the windows show them.
        const struct {
            const char* page;
            const char* before;
            int text;
            const char* after;
        } named[] = {{"h_folders.rtf", "The ", 440, " menu"},
                     {"h_msglist.rtf", "", 454, " opens"},
                     {"h_msglist.rtf", "", 482, " is kept"},
                     {"h_addrbook.rtf", "", 446, " in the"}};
        std::string shown;
        for (const std::string& line : Lines(view))
            shown += line + " ";
        for (const auto& n : named) {
            if (std::string(n.page) == page) {
                std::string want = n.before + std::string(qirUiText(n.text)) + n.after;
                EXPECT_NE(shown.find(want), std::string::npos) << want;
            }
        }
        if (getenv("QIR_SHOT_DIR")) {
            // Tall enough for the whole page to be seen.
            XMoveResizeWindow(qirx::Connection(), Shown(), 0, 0, 640, 1010);
            XSync(qirx::Connection(), False);
            Settle();
        }
        qirgui::Shot((std::string("help_") + std::string(page, strlen(page) - 4)).c_str());
    }
}

TEST_F(HelpTest, LinksBackForwardIndexAndAMissingPage) {
    Page("index.rtf", "The index.\n");
    Page("a.rtf", "Page A: go to <href><param>b.rtf</param>page B</href> or "
                  "<href><param>gone.rtf</param>a lost page</href>.\n");
    Page("b.rtf", "<bold>Page B</bold> is here.\n");
    qirHelp.Show(qirHelpReference(qirString("A"), qirPath("a.rtf")));
    qirx::XWin w = Shown();
    ASSERT_NE(w, 0u);
    Settle();
    qirHelpWindow* win = qirHelp.HelpWindow();
    qirRTFView* view = win->View();
    EXPECT_EQ(Lines(view), std::vector<std::string>({"Page A: go to page B or a lost page."}));
    // The index always comes first in the history.
    EXPECT_TRUE(win->BackButton()->state()->test(TelltaleState::is_enabled));
    EXPECT_FALSE(win->ForwardButton()->state()->test(TelltaleState::is_enabled));

    // Following a link inside its own event changes nothing yet: the page
    // holding the link goes only after the event.
    ASSERT_EQ(view->References()->Count(), 2);
    static_cast<qirHelpReferenceNode*>(view->References()->First())->Follow();
    EXPECT_EQ(Target(), "a.rtf");
    EXPECT_EQ(qirAfterEvent::Pending(), 1);
    EXPECT_EQ(view->References()->Count(), 2);
    qirAfterEvent::RunPending();
    EXPECT_EQ(Target(), "b.rtf");
    Press(win->BackButton(), w);
    ASSERT_EQ(Target(), "a.rtf");

    int x, y;
    ASSERT_TRUE(WhereIs(view, "page B", &x, &y));
    qirx::Click(w, x, y);
    Settle();
    EXPECT_EQ(Target(), "b.rtf");
    EXPECT_EQ(Lines(view), std::vector<std::string>({"Page B is here."}));
    EXPECT_TRUE(win->BackButton()->state()->test(TelltaleState::is_enabled));
    EXPECT_FALSE(win->ForwardButton()->state()->test(TelltaleState::is_enabled));

    // B was the last page already: from A it is entered again.
    Press(win->BackButton(), w);
    EXPECT_EQ(Target(), "b.rtf");
    EXPECT_TRUE(win->ForwardButton()->state()->test(TelltaleState::is_enabled));
    Press(win->BackButton(), w);
    EXPECT_EQ(Target(), "a.rtf");
    Press(win->ForwardButton(), w);
    EXPECT_EQ(Target(), "b.rtf");
    Press(win->IndexButton(), w);
    EXPECT_EQ(Target(), "index.rtf");
    EXPECT_EQ(Lines(view), std::vector<std::string>({"The index."}));

    // A page that is not there: reported, and the page shown stays.
    for (const char* back : {"b.rtf", "b.rtf", "b.rtf", "a.rtf"}) {
        Press(win->BackButton(), w);
        ASSERT_EQ(Target(), back);
    }
    ASSERT_TRUE(WhereIs(view, "a lost page", &x, &y));
    qirx::Click(w, x, y);
    Settle();
    EXPECT_EQ(Target(), "a.rtf");
    EXPECT_EQ(Lines(view).at(0), "Page A: go to page B or a lost page.");
    EXPECT_NE(Log().find("E Page \"a lost page\" at path '" + home + "/gone.rtf' not found !"), std::string::npos)
        << Log();

    // The window manager's close box leaves the window; its button closes it.
    qirx::SendDelete(w);
    Settle();
    EXPECT_TRUE(qirHelp.IsOpen());
    Press(win->CloseButton(), w);
    EXPECT_FALSE(qirHelp.IsOpen());
}

TEST_F(HelpTest, HistoryKeepsEveryPageVisited) {
    for (const char* p : {"index.rtf", "a.rtf", "b.rtf", "c.rtf"})
        Page(p, std::string(p) + "\n");
    qirHelp.Show(qirHelpReference(qirString("i"), qirPath("index.rtf")));
    ASSERT_TRUE(qirHelp.IsOpen());
    // The history lasts as long as the process: only what this test added.
    const int before = qirHelp.History().Count() - 1;
    auto history = [before] {
        std::string h;
        for (qirObject* r = qirHelp.History().Nth(before); r; r = r->Next())
            h += std::string(static_cast<qirHelpReference*>(r)->target.Data()) +
                 (r == qirHelp.Current() ? "* " : " ");
        return h;
    };
    qirHelp.Show(qirHelpReference(qirString("A"), qirPath("a.rtf")));
    qirHelp.Show(qirHelpReference(qirString("B"), qirPath("b.rtf")));
    qirHelp.Show(qirHelpReference(qirString("B"), qirPath("b.rtf")));   // adds nothing
    qirHelp.Back();
    qirHelp.Show(qirHelpReference(qirString("C"), qirPath("c.rtf")));
    EXPECT_EQ(history(), "index.rtf a.rtf b.rtf a.rtf c.rtf* ");
    std::vector<std::string> back;
    for (int i = 0; i < 4; ++i) {
        qirHelp.Back();
        back.push_back(Target());
    }
    EXPECT_EQ(back, std::vector<std::string>({"a.rtf", "b.rtf", "a.rtf", "index.rtf"}));

    // From the middle of the history (the index) to the last page, C, and
    // after B and Back from C to B again: each is entered again.
    qirHelp.Show(qirHelpReference(qirString("C"), qirPath("c.rtf")));
    qirHelp.Show(qirHelpReference(qirString("B"), qirPath("b.rtf")));
    qirHelp.Back();
    qirHelp.Show(qirHelpReference(qirString("B"), qirPath("b.rtf")));
    EXPECT_EQ(history(), "index.rtf a.rtf b.rtf a.rtf c.rtf c.rtf b.rtf b.rtf* ");

    // An empty target is no page: reported, and kept out of the history.
    qirHelp.Show(qirHelpReference(qirString("Nothing"), qirPath("")));
    EXPECT_EQ(Target(), "b.rtf");
    EXPECT_EQ(history(), "index.rtf a.rtf b.rtf a.rtf c.rtf c.rtf b.rtf b.rtf* ");
    EXPECT_NE(Log().find("E Page \"Nothing\" at path '" + home + "/' not found !"), std::string::npos) << Log();
}

TEST_F(HelpTest, DragCopiesTheSelectionToCutBufferZero) {
    Page("p.rtf", "<fixed>Select these words</fixed> and\n\nnot the rest.\n");
    qirHelp.Show(qirHelpReference(qirString("P"), qirPath("p.rtf")));
    qirx::XWin w = Shown();
    ASSERT_NE(w, 0u);
    Settle();
    qirRTFView* view = qirHelp.HelpWindow()->View();
    int x0, y0, x1, y1;
    ASSERT_TRUE(WhereIs(view, "these", &x0, &y0));
    ASSERT_TRUE(WhereIs(view, "not", &x1, &y1));

    // A click without motion selects and copies nothing.
    XStoreBytes(qirx::Connection(), "untouched", 9);
    XSync(qirx::Connection(), False);
    qirx::Click(w, x0, y0);
    Settle();
    EXPECT_EQ(qirx::CutBuffer(), "untouched");

    // From the first letter of "these" to that of "not", dragging back
    // past the start on the way.
    qirx::PointerTo(w, x1, y1);
    Settle();
    qirx::PointerButton(1, true);
    Settle();
    qirx::PointerTo(w, x0 - 30, y0);
    Settle();
    qirx::PointerTo(w, x0, y0);
    Settle();
    qirx::PointerButton(1, false);
    Settle();
    EXPECT_EQ(qirx::CutBuffer(), "these words and\nn");
    ASSERT_NE(view->SelectionStart(), nullptr);
    qirgui::Shot("help_selection");

    // Formatting again keeps the lines and the selection, highlighted.
    std::vector<std::string> lines = Lines(view);
    view->format();
    Settle();
    EXPECT_EQ(Lines(view), lines);
    EXPECT_EQ(view->selected_text(), qirString("these words and\nn"));
    ASSERT_EQ(view->SelectionStart()->type(), qirRTFTextType);
    EXPECT_TRUE(static_cast<qirRTFGlyphElement*>(view->SelectionStart())->highlight);
}

// A page read as plain text shows its commands as text and breaks the line
// at every line end.
TEST_F(HelpTest, APlainPageShowsItsCommandsAndLineEnds) {
    Page("p.rtf", "x\n");
    qirHelp.Show(qirHelpReference(qirString("P"), qirPath("p.rtf")));
    ASSERT_NE(Shown(), 0u);
    qirRTFView* view = qirHelp.HelpWindow()->View();
    ASSERT_EQ(view->ClearPage(0), 0);
    EXPECT_EQ(view->Enriched(), 0);
    ASSERT_NE(view->First(), nullptr);
    ASSERT_EQ(view->First()->type(), qirRTFCommandType);
    EXPECT_EQ(static_cast<qirRTFCommand*>(view->First())->code, qirRTFOff);
    view->insert_text(qirString("<bold>one</bold>\ntwo\n"), 0);
    view->reformat();
    Settle();
    EXPECT_EQ(Lines(view), std::vector<std::string>({"<bold>one</bold>", "two"}));
}

// A drag from the margin left of a centred title onto its first letter
// starts on the filler that centres the line.  A resize lays the page out
// again and deletes every filler: the selection then holds the letter, and
// a click in the page or Back afterwards finds nothing freed.
TEST_F(HelpTest, ASelectionFromTheMarginOfACentredLineOutlivesAResize) {
    Page("first.rtf", "The page before.\n");
    Page("title.rtf", "<center>Centred title</center>\n\nText under the title.\n");
    qirHelp.Show(qirHelpReference(qirString("F"), qirPath("first.rtf")));
    qirHelp.Show(qirHelpReference(qirString("T"), qirPath("title.rtf")));
    qirx::XWin w = Shown();
    ASSERT_NE(w, 0u);
    Settle();
    ASSERT_EQ(Target(), "title.rtf");
    qirRTFView* view = qirHelp.HelpWindow()->View();
    int x, y, textX, textY;
    ASSERT_TRUE(WhereIs(view, "Centred", &x, &y));
    ASSERT_TRUE(WhereIs(view, "under", &textX, &textY));
    ASSERT_GT(x, 60);
    qirx::PointerTo(w, x - 40, y);
    Settle();
    qirx::PointerButton(1, true);
    Settle();
    qirx::PointerTo(w, x, y);
    Settle();
    qirx::PointerButton(1, false);
    Settle();
    EXPECT_EQ(qirx::CutBuffer(), "C");

    int left, top, width, height;
    qirx::Geometry(w, &left, &top, &width, &height);
    const float before = view->LayoutWidth();
    XResizeWindow(qirx::Connection(), w, width + 160, height);
    XSync(qirx::Connection(), False);
    for (int i = 0; i < 20 && view->LayoutWidth() == before; ++i)
        Settle();
    ASSERT_NE(view->LayoutWidth(), before);
    // Both ends are the title's first letter, still on the page.
    for (qirRTFElement* end : {view->SelectionStart(), view->SelectionEnd()}) {
        qirRTFElement* e = view->First();
        while (e && e != end)
            e = qirRTFEngine::Next(e);
        ASSERT_NE(e, nullptr) << "a selection end is no longer on the page";
        ASSERT_EQ(e->type(), qirRTFTextType);
        EXPECT_EQ(static_cast<qirRTFGlyphElement*>(e)->ch, 'C');
    }
    Settle();
    qirgui::Shot("help_selection_after_resize");
    ASSERT_TRUE(WhereIs(view, "under", &textX, &textY));
    qirx::Click(w, textX, textY);
    Settle();
    EXPECT_EQ(view->SelectionStart(), nullptr);
    qirHelp.Back();
    Settle();
    EXPECT_EQ(Target(), "first.rtf");
}

TEST_F(HelpTest, ResizingLaysThePageOutTheSameAgain) {
    std::string text = "<center>A centred title that stays centred</center>\n\n<indent>";
    for (int i = 0; i < 40; ++i)
        text += "Words of an indented paragraph wrap at the window's edge. ";
    text += "</indent>\n\n<flushboth>";
    for (int i = 0; i < 20; ++i)
        text += "A justified paragraph fills its lines. ";
    text += "\n";
    Page("long.rtf", text);
    qirHelp.Show(qirHelpReference(qirString("L"), qirPath("long.rtf")));
    qirx::XWin w = Shown();
    ASSERT_NE(w, 0u);
    Settle();
    qirRTFView* view = qirHelp.HelpWindow()->View();
    std::vector<std::string> before = Lines(view);
    int x, y, width, height;
    qirx::Geometry(w, &x, &y, &width, &height);
    for (int wide : {width + 200, width - 100, width}) {
        XResizeWindow(qirx::Connection(), w, wide, height);
        XSync(qirx::Connection(), False);
        for (int i = 0; i < 10 && view->LayoutWidth() == 0; ++i)
            Settle();
        Settle();
        if (wide != width) {
            EXPECT_NE(Lines(view), before) << wide;
        }
    }
    EXPECT_EQ(Lines(view), before);
    // The scroll bar scrolls the page.
    Adjustable* a = view->adjustable();
    a->scroll_to(Dimension_Y, a->lower(Dimension_Y));
    Settle();
    EXPECT_GT(view->FirstShownLine(), 0);
    // A resize keeps the reader as far into the page, in proportion; one
    // at its start still sees the start.
    for (int place : {0, 12}) {
        a->scroll_to(Dimension_Y, a->upper(Dimension_Y) - place - a->cur_length(Dimension_Y) + 1);
        Settle();
        const int first = view->FirstShownLine();
        const Coord length = a->length(Dimension_Y);
        XResizeWindow(qirx::Connection(), w, width - 100, height);
        XSync(qirx::Connection(), False);
        Settle();
        Settle();
        ASSERT_GT(a->length(Dimension_Y), length);
        if (place == 0) {
            EXPECT_EQ(view->FirstShownLine(), 0);
        } else {
            EXPECT_NEAR(view->FirstShownLine(), first * a->length(Dimension_Y) / length, 1.5);
        }
        XResizeWindow(qirx::Connection(), w, width, height);
        XSync(qirx::Connection(), False);
        Settle();
    }
}

// A help setting that is missing or broken is reported; it never ends the
// program, and the window opens only when it can show pages.
TEST_F(HelpTest, BrokenConfigurationNeverEndsTheProgram) {
    Page("p.rtf", "<x-color><param>no such colour</param>text</x-color>\n");
    qirConfig.Remove(qirConfig.Find("RTF-View-Configuration"));
    qirHelp.Show(qirHelpReference(qirString("P"), qirPath("p.rtf")));
    EXPECT_FALSE(qirHelp.IsOpen());
    EXPECT_NE(Log().find("E NULL Configuration for qirRTFView"), std::string::npos) << Log();

    qirConfig.Set("RTF-View-Configuration.Indent-Width", "12pt");
    qirConfig.Find("RTFEditor")->Remove(qirConfig.Find("RTFEditor.Fonts"));
    qirHelp.Show(qirHelpReference(qirString("P"), qirPath("p.rtf")));
    EXPECT_FALSE(qirHelp.IsOpen());
    EXPECT_NE(Log().find("E Undefined configuration for fonts definition !!!"), std::string::npos) << Log();
    EXPECT_NE(Log().find("E Error fonts initialization."), std::string::npos) << Log();

    // Fonts and colours the display does not know: the kit's.
    for (const char* style : {"Normal", "Bold"})
        for (const char* size : {"Normal", "Bigger", "Smaller"})
            qirConfig.Set((std::string("RTFEditor.Fonts.") + style + "." + size).c_str(), "-no-such-font-*");
    qirConfig.Set("Colors.rtfDefault", "no such colour");
    qirConfig.Set("Colors.rtfBackground", "neither this");
    qirHelp.Show(qirHelpReference(qirString("P"), qirPath("p.rtf")));
    ASSERT_TRUE(qirHelp.IsOpen()) << Log();
    Settle();
    qirRTFView* view = qirHelp.HelpWindow()->View();
    EXPECT_EQ(Lines(view), std::vector<std::string>({"text"}));
    const qirRTFRun& run = view->Runs().at(0)->Run();
    const qirRTFFont* font = static_cast<const qirRTFFont*>(run.font);
    EXPECT_EQ(font->GetFont(), WidgetKit::instance()->font());
    EXPECT_GT(view->Width(font, 'x'), 0);
    qirRTFColorTable colors(qirString("no such colour"));
    EXPECT_EQ(colors.DefaultColor(), WidgetKit::instance()->foreground());
    EXPECT_EQ(colors.Find("nor this"), WidgetKit::instance()->foreground());
    // "12pt" is no number: four blanks to an indent step; "12" is twelve
    // points.
    EXPECT_FLOAT_EQ(view->IndentUnit(), 4 * view->Width(font, ' '));
    qirConfig.Set("RTF-View-Configuration.Indent-Width", "12");
    ASSERT_EQ(view->Configure(), 0);
    EXPECT_FLOAT_EQ(view->IndentUnit(), 12);
}

TEST_F(HelpTest, FontTableFallsBackByStyleThenSize) {
    auto name = [](const char* weight, const char* slant, int px) {
        return std::string("-adobe-helvetica-") + weight + "-" + slant + "-normal--" + std::to_string(px) +
               "-*-*-*-p-*-iso8859-1";
    };
    qirConfig.Find("RTFEditor")->Remove(qirConfig.Find("RTFEditor.Fonts"));
    qirConfig.Set("RTFEditor.Fonts.Normal.Normal", name("medium", "r", 12).c_str());
    qirConfig.Set("RTFEditor.Fonts.Normal.Bigger", name("medium", "r", 14).c_str());    // size 0 too
    qirConfig.Set("RTFEditor.Fonts.Normal.Bigger1", name("medium", "r", 18).c_str());
    qirConfig.Set("RTFEditor.Fonts.Normal.Bigger2", name("medium", "r", 24).c_str());
    qirConfig.Set("RTFEditor.Fonts.Normal.Smaller", name("medium", "r", 10).c_str());
    qirConfig.Set("RTFEditor.Fonts.Normal.Smaller1", name("medium", "r", 8).c_str());
    qirConfig.Set("RTFEditor.Fonts.Bold.Normal", name("bold", "r", 12).c_str());
    qirRTFFontTable table(qirString("Fonts"));
    ASSERT_EQ(table.StatusCode(), 0);
    const struct {
        int bits, size;
        int wantBits, wantSize;
    } cases[] = {
        {0, 0, 0, 0}, {0, 1, 0, 1}, {0, 5, 0, 2}, {0, -1, 0, -1}, {3, 0, 1, 0},
        {8, 2, 0, 2}, {12, 0, 0, 0}, {2, 0, 0, 0}, {1, 2, 1, 0},
    };
    for (const auto& c : cases) {
        const qirRTFFont* f = table.FindEntry(c.bits, c.size);
        EXPECT_EQ(f->bits, c.wantBits) << c.bits << "," << c.size;
        EXPECT_EQ(f->size, c.wantSize) << c.bits << "," << c.size;
        EXPECT_NE(f->GetFont(), nullptr);
    }
}
