// The viewer's engine without a display: what the tokenizer makes of
// text/enriched and plain text, and how the layout pass breaks, indents,
// aligns and justifies lines (the stub kit's fonts are 6 points a byte,
// some narrower or wider outside <fixed>; a blank is 6 points).
#include <gtest/gtest.h>

#include "qirRTFEngine.h"

#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Lines;

struct Page {
    qirRTFStubKit kit;
    qirHelpReferenceList refs;
    qirRTFEngine engine;

    Page() {
        engine.Begin(&kit);
        engine.SetReferences(&refs);
        engine.SetTabWidth(8 * 6);
        engine.SetIndentUnit(24);
    }
    Lines Lay(const char* text, float width = 600, int enriched = 1) {
        engine.Clear();
        engine.InsertText(qirString(text), enriched);
        engine.ApplyStyles();
        engine.SetLayoutWidth(width);
        engine.FormatAll();
        return kit.lines;
    }
    // The first shown character c of the page.
    qirRTFGlyphElement* Char(int c, int nth = 0) {
        for (qirRTFElement* e = engine.First(); e; e = qirRTFEngine::Next(e))
            if (e->type() == qirRTFTextType && static_cast<qirRTFGlyphElement*>(e)->ch == c && nth-- == 0)
                return static_cast<qirRTFGlyphElement*>(e);
        return nullptr;
    }
    float LineWidth(size_t line) const {
        float w = 0;
        for (const qirRTFRun& r : kit.runs.at(line))
            w += r.width;
        return w;
    }
};

struct Case {
    const char* text;
    int enriched;
    Lines lines;
};

}  // namespace

TEST(qirRTFEngine, TokenizerReadsLineEndsCommandsAndEscapes) {
    const Case cases[] = {
        {"one\ntwo", 1, {"one two"}},
        {"one\n\ntwo", 1, {"one", "two"}},
        {"one\n\n\ntwo", 1, {"one", "", "two"}},
        {"one\ntwo", 0, {"one", "two"}},
        {"a<<b", 1, {"a<b"}},
        {"a<<b", 0, {"a<b"}},
        {"a<param><<</param>b", 1, {"ab"}},
        {"a<comment>hid<<den</comment>b", 1, {"ab"}},
        {"<BOLD>x</Bold><Blink>y", 1, {"xy"}},
        {"<nofill>a\nb</nofill>", 1, {"a b"}},
        {"abc<bol", 1, {"abc"}},
        {"<rtf-off><bold>x<RTF-on><bold>y", 1, {"<bold>xy"}},
        // Plain text shows a command as it was looked up: lower-cased, its
        // first 39 characters; one never closed stays as it stands.
        {"<B>x <Rtf-Of> <b", 0, {"<b>x <rtf-of> <b"}},
        {"<ABCDEFGHIJabcdefghijABCDEFGHIJabcdefghijABCDE>x", 0, {"<abcdefghijabcdefghijabcdefghijabcdefghi>x"}},
        {"p<RTF-ON><bold>q", 0, {"pq"}},
        // Stray closings never take the depths below 0.
        {"</param></param>x<param>y</param>z", 1, {"xz"}},
        {"</comment>a<comment>b</comment>c", 1, {"ac"}},
    };
    for (const Case& c : cases) {
        Page page;
        EXPECT_EQ(page.Lay(c.text, 600, c.enriched), c.lines) << c.text;
    }
}

TEST(qirRTFEngine, StylesSizesAndColoursReachTheCharacters) {
    Page page;
    page.Lay("<BOLD><bold>a</bold>b</bold>c<bigger>B</bigger><smaller>s</smaller>"
             "<biggest>X<bigger>Y</bigger></biggest>z<fixed><italic>f</italic></fixed>"
             "<x-color><param>red</param>R<x-color><param>#00ff00</param>G</x-color>r</x-color>k"
             "<x-color><param>no such colour</param>d</x-color>");
    qirRTFStubKit& kit = page.kit;
    struct Expect {
        int c, bits, size;
        const char* color;
    } expect[] = {
        {'a', 1, 0, "black"}, {'b', 1, 0, "black"}, {'c', 0, 0, "black"}, {'B', 0, 1, "black"},
        {'s', 0, -1, "black"}, {'X', 0, 5, "black"}, {'z', 0, 0, "black"}, {'f', 6, 0, "black"},
        {'R', 0, 0, "red"},   {'G', 0, 0, "#00ff00"}, {'r', 0, 0, "red"}, {'k', 0, 0, "black"},
        {'d', 0, 0, "black"},
    };
    for (const Expect& e : expect) {
        qirRTFGlyphElement* g = page.Char(e.c);
        ASSERT_NE(g, nullptr) << char(e.c);
        EXPECT_EQ(kit.Bits(g->font), e.bits) << char(e.c);
        EXPECT_EQ(kit.Size(g->font), e.size) << char(e.c);
        EXPECT_STREQ(kit.ColorName(g->color), e.color) << char(e.c);
    }
}

TEST(qirRTFEngine, ExcerptsSpliceTheirMarkersOnce) {
    Page page;
    page.engine.SetExcerptStartText("[<bold><excerpt>");
    page.engine.SetExcerptEndText("</bold>]");
    EXPECT_EQ(page.Lay("say <excerpt>quoted</excerpt>!"), Lines({"say [quoted]!"}));
    EXPECT_EQ(page.kit.Bits(page.Char('q')->font), 1);
    EXPECT_EQ(page.kit.Bits(page.Char('!')->font), 0);

    page.engine.SetExcerptStartText("");
    page.engine.SetExcerptEndText("");
    EXPECT_EQ(page.Lay("say <excerpt>quoted</excerpt>!"), Lines({"say quoted!"}));
}

TEST(qirRTFEngine, HrefMakesAReferenceItsCharactersFollow) {
    Page page;
    page.Lay("See <href><param>h_folders.rtf</param>the\nfolders</href> now.</href>x");
    ASSERT_EQ(page.refs.Count(), 1);
    qirHelpReferenceNode* node = static_cast<qirHelpReferenceNode*>(page.refs.First());
    EXPECT_STREQ(node->Reference().target.Data(), "h_folders.rtf");
    EXPECT_STREQ(node->Reference().title.Data(), "the folders");
    for (int c : {'t', 'f'}) {
        qirRTFGlyphElement* g = page.Char(c);
        ASSERT_TRUE(g->IsLink());
        EXPECT_EQ(static_cast<qirRTFLinkElement*>(g)->target, node);
    }
    EXPECT_FALSE(page.Char('S')->IsLink());
    EXPECT_FALSE(page.Char('x')->IsLink());
    // The blank of the line end counts in the title and is no link.
    EXPECT_FALSE(page.Char(' ', 1)->IsLink());
    // Runs: text, the link, text.
    ASSERT_EQ(page.kit.runs.size(), 1u);
    std::vector<qirHelpReferenceNode*> links;
    for (const qirRTFRun& r : page.kit.runs[0])
        links.push_back(r.link);
    EXPECT_EQ(links, std::vector<qirHelpReferenceNode*>({nullptr, node, nullptr}));

    // Titles and targets are kept to 499 characters.
    std::string big(700, 'a');
    page.Lay(("<href><param>" + big + "</param>" + big + "</href>").c_str());
    ASSERT_EQ(page.refs.Count(), 1);
    node = static_cast<qirHelpReferenceNode*>(page.refs.First());
    EXPECT_EQ(node->Reference().target.Length(), 499);
    EXPECT_EQ(node->Reference().title.Length(), 499);
}

TEST(qirRTFEngine, LinesBreakAtBlanksHyphensAndPunctuation) {
    // <fixed>: every byte 6 points; a line breaks before a character when
    // the width is below x + 2w.
    const struct {
        const char* text;
        float width;
        Lines lines;
    } cases[] = {
        {"abcd", 30, {"abcd"}},                // fits exactly
        {"abcd", 29, {"abc", "d"}},            // no break character: cut
        {"abcdefgh", 30, {"abcd", "efgh"}},
        {"well-known", 50, {"well-", "known"}},
        {"ab,cd", 26, {"ab,", "cd"}},
        {"ab cd", 26, {"ab ", "cd"}},
        {"ab cdef gh", 40, {"ab ", "cdef ", "gh"}},
        {"ab", 5, {"a", "b"}},                 // a line's first character stays
    };
    for (const auto& c : cases) {
        Page page;
        std::string text = std::string("<fixed>") + c.text + "</fixed>";
        EXPECT_EQ(page.Lay(text.c_str(), c.width), c.lines) << c.text << " in " << c.width;
    }
}

TEST(qirRTFEngine, TabsIndentsAndAlignment) {
    Page page;
    page.Lay("<fixed>\tx</fixed>");
    EXPECT_EQ(page.LineWidth(0), 48 + 6);   // eight blanks from the start
    page.Lay("<fixed>abc\tx</fixed>");
    EXPECT_EQ(page.LineWidth(0), 18 + 36 + 6);   // to the next stop: six blanks

    // An indent at a line's start indents it; inside a line, the next one.
    EXPECT_EQ(page.Lay("<indent>ab\n\ncd</indent>"), Lines({" ab", " cd"}));
    EXPECT_EQ(page.LineWidth(0), 24 + 12);
    EXPECT_EQ(page.Lay("ab<indent>cd\n\nef</indent>"), Lines({"abcd", " ef"}));

    // Centred: (W - sum) / 2, sum counting one blank more; the last line
    // of the page too.
    EXPECT_EQ(page.Lay("<center>ab</center>", 100), Lines({" ab"}));
    EXPECT_EQ(page.kit.runs[0][0].width, 41 + 12);
    page.Lay("<flushright>ab</flushright>", 100);
    EXPECT_EQ(page.LineWidth(0), 100 - 6);
}

TEST(qirRTFEngine, EveryPassStartsFromEmptyStacks) {
    // An unclosed center at the end must not centre the page's start on
    // the next pass (a resize).
    Page page;
    page.Lay("ab\n\n<center>cd", 100);
    float before = page.LineWidth(0);
    EXPECT_EQ(before, 12);
    for (float width : {120.0f, 100.0f}) {
        page.engine.SetLayoutWidth(width);
        page.engine.FormatAll();
    }
    EXPECT_EQ(page.LineWidth(0), before);
    EXPECT_EQ(page.LineWidth(1), 100 - 47);   // still centred
    page.engine.ApplyStyles();
    page.engine.FormatAll();
    EXPECT_EQ(page.LineWidth(0), before);
}

TEST(qirRTFEngine, FlushBothJustifiesFullLinesOnly) {
    Page page;
    EXPECT_EQ(page.Lay("<flushboth><fixed>aa bb cc dd ee ff gg</fixed></flushboth>", 60),
              Lines({"aa  bb cc", "dd  ee ff", "gg"}));
    EXPECT_EQ(page.LineWidth(0), 54);
    EXPECT_EQ(page.LineWidth(2), 12);
}

TEST(qirRTFEngine, SelectedTextKeepsLineBreaksAndJoinsWrappedLines) {
    Page page;
    // The blank before "gh" ends the second line and shows nowhere.
    EXPECT_EQ(page.Lay("<fixed>ab\n\ncd ef gh</fixed>", 40), Lines({"ab", "cd ef", "gh"}));
    qirRTFGlyphElement* from = page.Char('b');
    qirRTFGlyphElement* to = page.Char('g');
    EXPECT_STREQ(page.engine.SelectedText(from, to).Data(), "b\ncd ef g");
    EXPECT_STREQ(page.engine.SelectedText(to, from).Data(), "b\ncd ef g");
    page.engine.SetHighlight(to, from, 1);
    EXPECT_TRUE(page.Char('c')->highlight);
    EXPECT_FALSE(page.Char('a')->highlight);
    EXPECT_FALSE(page.Char('h')->highlight);
    page.engine.SetHighlight(from, to, 0);
    EXPECT_FALSE(page.Char('c')->highlight);
}

TEST(qirRTFEngine, NothingIsLaidOutWithoutWidthOrBeforeBegin) {
    Page page;
    EXPECT_TRUE(page.Lay("some text", 0).empty());
    qirRTFStubKit kit;
    qirRTFEngine idle;
    idle.InsertText(qirString("ignored"), 1);
    EXPECT_TRUE(idle.IsEmpty());
    EXPECT_EQ(idle.StatusCode(), -9);
}

// The viewer keeps its selection across a resize, whose layout deletes the
// fillers of the last one: an end on a filler (the pointer in the margin
// left of a centred line) moves first, a start onto the line's first
// character, an end onto what stands before the filler.  The selected text
// stays; a selection of the filler alone is none.
TEST(qirRTFEngine, ALayoutMovesTheSelectionOffTheFillersItDeletes) {
    struct {
        char start, end;        // a character, or '*' for the filler
        const char* selected;   // before and after; null: none after
    } cases[] = {
        {'*', 'd', "cd"},
        {'d', '*', "cd"},
        {'b', '*', "b\n"},
        {'*', 'f', "cd\nef"},
        {'*', '*', nullptr},
    };
    for (auto& c : cases) {
        Page page;
        ASSERT_EQ(page.Lay("<fixed>ab\n\n<center>cd</center>\n\nef</fixed>", 60), Lines({"ab", " cd", "ef"}));
        qirRTFElement* filler = qirRTFEngine::Prev(page.Char('c'));
        ASSERT_EQ(filler->type(), qirRTFSpaceType);
        auto at = [&](char name) -> qirRTFElement* { return name == '*' ? filler : page.Char(name); };
        page.engine.SetSelection(at(c.start), at(c.end));
        page.engine.SetSelectionAnchor(filler);
        if (c.selected) {
            EXPECT_STREQ(page.engine.SelectedText(at(c.start), at(c.end)).Data(), c.selected);
        }
        page.engine.SetLayoutWidth(90);
        page.engine.FormatAll();
        EXPECT_EQ(page.kit.lines, Lines({"ab", " cd", "ef"}));
        qirRTFElement* start = page.engine.SelectionStart();
        qirRTFElement* end = page.engine.SelectionEnd();
        // What the view holds is on the page and no mark or filler.
        for (qirRTFElement* e : {start, end, page.engine.SelectionAnchor()}) {
            if (!e)
                continue;
            bool listed = false;
            for (qirRTFElement* q = page.engine.First(); q && !listed; q = qirRTFEngine::Next(q))
                listed = q == e;
            EXPECT_TRUE(listed) << c.start << c.end;
            EXPECT_TRUE(e->type() == qirRTFTextType || e->type() == qirRTFCommandType) << c.start << c.end;
        }
        EXPECT_EQ(page.engine.SelectionAnchor(), page.Char('c'));
        if (!c.selected) {
            EXPECT_EQ(start, nullptr);
            EXPECT_EQ(end, nullptr);
            continue;
        }
        EXPECT_STREQ(page.engine.SelectedText(start, end).Data(), c.selected) << c.start << c.end;
        page.engine.SetHighlight(start, end, 1);
        EXPECT_TRUE(page.Char(c.start == 'b' ? 'b' : 'c')->highlight);
    }
}
