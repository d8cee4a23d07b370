#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "qirRTFDocument.h"
#include "qirTextFixtures.h"

namespace {

// Checks the document invariants; answers "" or what is broken.
std::string Broken(const qirRTFDocument& doc) {
    std::ostringstream why;
    const std::string& t = doc.Text();
    const int len = doc.Length();
    if (len == 0 || t.back() != '\n')
        why << "text does not end with a newline; ";
    const auto& runs = doc.Runs();
    if (runs.empty() || runs[0].start != 0)
        why << "first run not at 0; ";
    for (size_t i = 1; i < runs.size(); ++i) {
        if (runs[i].start <= runs[i - 1].start)
            why << "runs out of order at " << i << "; ";
        if (runs[i].start >= len)
            why << "run " << i << " behind the text; ";
        if (runs[i].SameLook(runs[i - 1]))
            why << "runs " << i - 1 << " and " << i << " not merged; ";
    }
    const auto& marks = doc.Marks();
    if (marks.empty() || marks[0].start != 0)
        why << "first mark not at 0; ";
    for (size_t i = 1; i < marks.size(); ++i) {
        if (marks[i].start <= marks[i - 1].start)
            why << "marks out of order at " << i << "; ";
        else if (marks[i].start > len || t[marks[i].start - 1] != '\n')
            why << "mark " << i << " not at a paragraph start; ";
    }
    const auto& lines = doc.Lines();
    if (doc.CanLayout()) {
        if (!doc.LayoutCurrent())
            why << "layout not current; ";
        if (lines.empty() || lines[0].start != 0)
            why << "first line not at 0; ";
        for (size_t i = 0; i < lines.size(); ++i) {
            int end = doc.LineEnd(static_cast<int>(i));
            if (end <= lines[i].start)
                why << "line " << i << " empty; ";
            else if (t.find('\n', lines[i].start) < static_cast<size_t>(end - 1))
                why << "line " << i << " runs past a newline; ";
        }
        if (!lines.empty() && lines.back().start >= len)
            why << "last line behind the text; ";
    }
    return why.str();
}

// The lines a fresh layout of the same document gives.
std::vector<qirRTFLine> FreshLayout(const qirRTFDocument& doc) {
    qirRTFDocument copy = doc;
    copy.relayout(-1, -1);
    return copy.Lines();
}

struct DocTest : ::testing::Test {
    StyledMetrics metrics;
    qirRTFDocument doc;
    void SetUp() override {
        doc.SetMetrics(&metrics);
        doc.SetWidth(200);
    }
    std::string Codes() const {
        std::string s;
        for (const qirRTFAlign& m : doc.Marks())
            s += std::string(1, m.code) + std::to_string(m.start) + " ";
        return s;
    }
};

}  // namespace

TEST_F(DocTest, LookupsAnswerTheGoverningIndex) {
    EXPECT_EQ(0, doc.LineOf(5));
    EXPECT_EQ(0, doc.RunOf(5));
    EXPECT_EQ(0, doc.MarkOf(5));
    LoadPlain(doc, "one\ntwo\nthree\n");
    struct { int pos, mark; } cases[] = {{0, 0}, {3, 0}, {4, 1}, {7, 1}, {8, 2}, {13, 2}, {14, 3}, {99, 3}};
    for (auto c : cases)
        EXPECT_EQ(c.mark, doc.MarkOf(c.pos)) << c.pos;
    EXPECT_EQ(2, doc.LineOf(13));
    EXPECT_EQ(1, doc.LineOf(4));
}

TEST_F(DocTest, DeletingEverythingLeavesOneFlushLeftNewline) {
    LoadPlain(doc, "abc\ndef\n");
    doc.SetAlignment(0, qirAlignCenter);
    doc.cursor = 7;
    doc.DeleteRange(0, 100);
    EXPECT_EQ("\n", doc.Text());
    EXPECT_EQ(1u, doc.Runs().size());
    EXPECT_EQ("C0 ", Codes());
    EXPECT_EQ(0, doc.cursor);
    EXPECT_EQ("", Broken(doc));
}

TEST_F(DocTest, NewlineSplitsAParagraphKeepingItsAlignment) {
    LoadPlain(doc, "first\nsecond\n");
    doc.SetAlignment(0, qirAlignCenter);
    doc.InsertChar(2, '\n');
    EXPECT_EQ("fi\nrst\nsecond\n", doc.Text());
    EXPECT_EQ("B0 B3 C7 C14 ", Codes());
    EXPECT_EQ("", Broken(doc));
}

TEST_F(DocTest, JoiningParagraphsKeepsTheFirstAlignment) {
    LoadPlain(doc, "left\nright\n");
    doc.SetAlignment(0, qirAlignCenter);
    doc.SetAlignment(5, qirAlignRight);
    doc.DeleteRange(4, 1);
    EXPECT_EQ("leftright\n", doc.Text());
    EXPECT_EQ("B0 C10 ", Codes());
    EXPECT_EQ("", Broken(doc));
}

TEST_F(DocTest, InsertingAtTheEndKeepsMarksInOrder) {
    LoadPlain(doc, "a\nb\n");
    doc.SetAlignment(2, qirAlignRight);
    std::vector<qirRTFStyle> runs(1, qirRTFStyle(0));
    std::vector<qirRTFAlign> marks{qirRTFAlign(qirAlignCenter, 0), qirRTFAlign(qirAlignLeft, 2)};
    doc.insert(doc.Length(), "x\nyz", runs, marks);
    EXPECT_EQ("a\nb\nx\nyz\n", doc.Text());
    EXPECT_EQ("C0 D2 B4 C6 ", Codes());
    EXPECT_EQ("", Broken(doc));
}

TEST_F(DocTest, InsertionSplitsARunOnlyInsideIt) {
    LoadPlain(doc, "abcdef\n");
    qirRTFStyle bold(0);
    bold.bits = qirRTFBold;
    std::vector<qirRTFAlign> none;
    doc.insert(0, "B", std::vector<qirRTFStyle>(1, bold), none);
    ASSERT_EQ(2u, doc.Runs().size());
    EXPECT_EQ(1, doc.Runs()[1].start);
    EXPECT_EQ(qirRTFBold, doc.Runs()[0].bits);

    qirRTFStyle italic(0);
    italic.bits = qirRTFItalic;
    doc.insert(3, "I", std::vector<qirRTFStyle>(1, italic), none);
    EXPECT_EQ("BabIcdef\n", doc.Text());
    ASSERT_EQ(4u, doc.Runs().size());
    EXPECT_EQ(3, doc.Runs()[2].start);
    EXPECT_EQ(qirRTFItalic, doc.Runs()[2].bits);
    EXPECT_EQ(4, doc.Runs()[3].start);
    EXPECT_EQ(0, doc.Runs()[3].bits);
    EXPECT_EQ("", Broken(doc));
}

TEST_F(DocTest, RunsDifferingOnlyInFontAreMerged) {
    doc.clear();
    std::vector<qirRTFStyle> runs(2);
    runs[1].start = 3;
    runs[1].font = reinterpret_cast<const qirRTFEditorFont*>(&metrics);
    doc.insert(0, "abcdef\n", runs, std::vector<qirRTFAlign>(1));
    EXPECT_EQ(1u, doc.Runs().size());
}

TEST_F(DocTest, NulBytesAreTextLikeAnyOther) {
    const std::string text("a\0b\n\0\n", 6);
    LoadPlain(doc, text);
    EXPECT_EQ(text, doc.Text());
    std::string copy;
    std::vector<qirRTFStyle> runs;
    std::vector<qirRTFAlign> marks;
    doc.CopyRange(0, 6, copy, runs, marks);
    EXPECT_EQ(text, copy);
    doc.InsertChar(1, '\0');
    EXPECT_EQ(std::string("a\0\0b\n\0\n", 7), doc.Text());
}

TEST_F(DocTest, CopyIsClampedToTheText) {
    LoadPlain(doc, "long text here\n");
    doc.anchor = 2;
    doc.selectionEnd = 12;
    LoadPlain(doc, "ab\n");
    EXPECT_EQ(0, doc.anchor);   // loading resets the selection
    EXPECT_EQ(0, doc.selectionEnd);
    std::string copy;
    std::vector<qirRTFStyle> runs;
    std::vector<qirRTFAlign> marks;
    doc.CopyRange(12, 2, copy, runs, marks);
    EXPECT_EQ("\n", copy);
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(0, runs[0].start);
}

TEST_F(DocTest, ClearEndsADrag) {
    LoadPlain(doc, "abc\n");
    doc.dragging = 1;
    doc.selecting = 1;
    doc.anchor = 1;
    doc.selectionEnd = 3;
    doc.ClearSelection();
    EXPECT_EQ(1, doc.anchor);   // a running drag keeps its selection
    doc.clear();
    EXPECT_EQ(0, doc.dragging);
    EXPECT_EQ(0, doc.selecting);
    EXPECT_EQ(0, doc.anchor + doc.selectionEnd);
}

TEST_F(DocTest, SelectionFollowsEdits) {
    LoadPlain(doc, "0123456789\n");
    doc.anchor = 2;
    doc.selectionEnd = 6;
    doc.InsertChar(6, 'x');   // at the end: not inside
    EXPECT_EQ(2, doc.anchor);
    EXPECT_EQ(6, doc.selectionEnd);
    doc.InsertChar(2, 'y');   // at the anchor: moves it
    EXPECT_EQ(3, doc.anchor);
    EXPECT_EQ(7, doc.selectionEnd);
    doc.DeleteRange(1, 4);    // takes the anchor with it
    EXPECT_EQ(1, doc.anchor);
    EXPECT_EQ(3, doc.selectionEnd);
}

// Char width 6 at width 200: a line holds up to 33 characters.
TEST_F(DocTest, LinesWrapAfterTheLastBlankThatFits) {
    struct Case {
        const char* text;
        int width;
        std::vector<int> starts;
    } cases[] = {
        {"aaaa bbbb cccc\n", 50, {0, 5, 10}},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\n", 60, {0, 9, 18, 27}},  // a word longer than a line is cut
        {"abc\n\ndef\n", 200, {0, 4, 5}},
        {"aaaaaaaaa\nb\n", 60, {0, 9, 10}},  // the newline of a full line wraps alone
        {"ab\n", 10, {0, 1, 2}},              // narrower than a character: one each
    };
    for (const Case& c : cases) {
        doc.SetWidth(c.width);
        LoadPlain(doc, c.text);
        std::vector<int> starts;
        for (const qirRTFLine& l : doc.Lines())
            starts.push_back(l.start);
        EXPECT_EQ(c.starts, starts) << c.text << " at " << c.width;
        EXPECT_EQ("", Broken(doc)) << c.text;
    }
}

TEST_F(DocTest, DeepIndentsAreIgnoredAndNeverStopTheLayout) {
    doc.clear();
    qirRTFStyle deep(0);
    deep.left = 1000000000;   // 4 x width x indent overflows an int
    deep.right = 3;
    doc.insert(0, "abc def\n", std::vector<qirRTFStyle>(1, deep), std::vector<qirRTFAlign>(1));
    ASSERT_EQ(1u, doc.Lines().size());
    EXPECT_EQ(8 * 6, doc.Lines()[0].width);
    EXPECT_EQ(0, doc.LineOrigin(0, 0, 200));

    doc.clear();
    qirRTFStyle shallow(0);
    shallow.left = 2;
    doc.insert(0, "abc\n", std::vector<qirRTFStyle>(1, shallow), std::vector<qirRTFAlign>(1));
    EXPECT_EQ(48 + 4 * 6, doc.Lines()[0].width);
    EXPECT_EQ(10 + 48, doc.LineOrigin(0, 10, 210));
}

TEST_F(DocTest, TallFontsKeepTheirHeight) {
    qirRTFFixedMetrics big(40, 300, 80);
    doc.SetMetrics(&big);
    LoadPlain(doc, "x\n");
    ASSERT_EQ(1u, doc.Lines().size());
    EXPECT_EQ(380, doc.Lines()[0].height);
}

TEST_F(DocTest, WithoutMetricsNoStaleLinesSurvive) {
    LoadPlain(doc, "one two three four five six seven\n");
    EXPECT_TRUE(doc.LayoutCurrent());
    doc.SetMetrics(nullptr);
    EXPECT_FALSE(doc.LayoutCurrent());
    doc.DeleteRange(0, 10);
    EXPECT_TRUE(doc.Lines().empty());
    EXPECT_FALSE(doc.LayoutCurrent());
    doc.SetMetrics(&metrics);
    doc.relayout(-1, -1);
    EXPECT_TRUE(doc.LayoutCurrent());
    EXPECT_EQ("", Broken(doc));
}

// Random inserts, deletions, typing in random styles and alignment changes:
// after each, the invariants hold and the updated lines equal a fresh layout.
TEST_F(DocTest, RandomEditsKeepInvariantsAndLayout) {
    // Long paragraphs of short and long words, so that lines wrap often.
    const char alphabet[] = "aaaaaaaiiiii    .x\n";
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
        auto randomStyle = [&](int start) {
            qirRTFStyle s(start);
            s.bits = pick(16);
            s.size = pick(5) - 2;
            s.left = pick(6) < 4 ? 0 : pick(4);
            s.right = pick(6) < 5 ? 0 : pick(3);
            return s;
        };
        auto randomText = [&](int n) {
            std::string s;
            for (int i = 0; i < n; ++i)
                s += pick(40) ? alphabet[pick(sizeof alphabet - 2 + (pick(3) == 0))] : '\0';
            return s;
        };
        doc.SetWidth(40 + pick(160));
        LoadPlain(doc, randomText(50 + pick(300)) + "\n");
        for (int step = 0; step < 250; ++step) {
            const int len = doc.Length();
            int op = pick(10);
            std::string what;
            if (op < 3) {
                int n = 1 + pick(op == 0 ? 80 : 6);
                std::vector<qirRTFStyle> runs(1, randomStyle(0));
                for (int r = pick(3); r > 0; --r)
                    runs.push_back(randomStyle(runs.back().start + 1 + pick(n)));
                std::vector<qirRTFAlign> marks{qirRTFAlign("BCDE"[pick(4)], 0)};
                if (pick(2))
                    marks.emplace_back("BCDE"[pick(4)], pick(n + 1));
                int pos = pick(len + 1);
                doc.insert(pos, randomText(n), runs, marks);
                what = "insert at " + std::to_string(pos);
            } else if (op < 6) {
                int s = pick(len), count = pick(4) ? 1 + pick(5) : pick(len + 1);
                doc.DeleteRange(s, count);
                what = "delete " + std::to_string(s) + "+" + std::to_string(count);
            } else if (op < 9) {
                if (pick(4) == 0)
                    doc.insertStyle = randomStyle(0);
                int pos = pick(len);
                doc.InsertChar(pos, static_cast<unsigned char>(alphabet[pick(sizeof alphabet - 1)]));
                what = "type at " + std::to_string(pos);
            } else {
                doc.SetAlignment(pick(len), "BCDE"[pick(4)]);
                what = "align";
            }
            ASSERT_EQ("", Broken(doc)) << "seed " << seed << " step " << step << ": " << what;
            ASSERT_TRUE(FreshLayout(doc) == doc.Lines())
                << "seed " << seed << " step " << step << ": " << what;
        }
    }
}
