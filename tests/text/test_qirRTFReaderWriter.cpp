#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "qirEditorTags.h"
#include "qirRTFReaderWriter.h"
#include "qirTextFixtures.h"

namespace {

// Reads text into a fresh document as the panel's load does.
struct Editor {
    qirRTFStubResources res;
    qirRTFReaderWriter rw{res};
    qirRTFDocument doc;

    void Load(const std::string& in, bool enriched = true) {
        qirRTFSource src(in.data(), in.size());
        rw.Load(doc, src, enriched);
    }
    std::string Write(bool enriched = true) {
        char* buf = nullptr;
        size_t len = 0;
        FILE* f = open_memstream(&buf, &len);
        int rc = enriched ? rw.WriteEnriched(doc, f) : rw.WritePlain(doc, f);
        fclose(f);
        std::string s(buf, len);
        free(buf);
        EXPECT_EQ(rc, 0);
        return s;
    }
    // What each character looks like, and each paragraph's alignment, in
    // one string: compares documents whatever their records' granularity.
    std::string Look() {
        std::string s;
        const std::string& t = doc.Text();
        for (int i = 0; i < doc.Length(); ++i) {
            const qirRTFStyle& r = doc.Runs()[doc.RunOf(i)];
            const char* c = res.ColorName(r.color ? r.color : res.DefaultColor());
            if (i == 0 || t[i - 1] == '\n')
                s += std::string("|") + doc.Marks()[doc.MarkOf(i)].code;
            s += std::to_string(r.bits) + "," + std::to_string(r.size) + "," +
                 std::to_string(r.left) + "," + std::to_string(r.right) + "," + c + ";";
        }
        return s;
    }
};

// Runs and marks of a read, compactly: "0:B 2:-" and "0C 4B".
struct Read {
    std::string text, runs, marks;
};

Read ReadEnriched(const std::string& in) {
    qirRTFStubResources res;
    qirRTFReaderWriter rw(res);
    qirRTFSource src(in.data(), in.size());
    std::string text;
    std::vector<qirRTFStyle> runs;
    std::vector<qirRTFAlign> marks;
    EXPECT_EQ(rw.ReadEnriched(src, text, runs, marks), 0);
    Read r;
    r.text = text;
    for (const qirRTFStyle& s : runs) {
        EXPECT_NE(s.color, nullptr);
        EXPECT_NE(s.font, nullptr);
        std::string d;
        if (s.bits & qirRTFFixed) d += "F";
        if (s.bits & qirRTFBold) d += "B";
        if (s.bits & qirRTFItalic) d += "I";
        if (s.bits & qirRTFUnderline) d += "U";
        if (s.size) d += "s" + std::to_string(s.size);
        if (s.left) d += ">" + std::to_string(s.left);
        if (s.right) d += "<" + std::to_string(s.right);
        if (s.color != res.DefaultColor()) d += std::string("@") + res.ColorName(s.color);
        if (d.empty()) d = "-";
        r.runs += (r.runs.empty() ? "" : " ") + std::to_string(s.start) + ":" + d;
    }
    for (const qirRTFAlign& m : marks)
        r.marks += (r.marks.empty() ? "" : " ") + std::to_string(m.start) + m.code;
    return r;
}

}  // namespace

TEST(EditorTags, CodesAndTexts) {
    // The dialect's sixteen tags and their codes, as files in it are
    // written by other programs and read back by this one.
    const struct {
        const char* tag;
        int code;
    } tags[] = {
        {"bold", 60},       {"italic", 61},      {"fixed", 62},       {"smaller", 63},
        {"bigger", 64},     {"underline", 65},   {"center", 66},      {"flushleft", 67},
        {"flushright", 68}, {"flushboth", 69},   {"nofill", 70},      {"indent", 71},
        {"indentright", 72}, {"excerpt", 73},    {"param", 74},       {"x-color", 75},
    };
    for (const auto& row : tags) {
        std::string open = row.tag, mixed = open, close = "/" + open;
        mixed[0] = static_cast<char>(toupper(mixed[0]));
        EXPECT_EQ(TagCode(open.c_str()), row.code) << open;
        EXPECT_EQ(TagCode(mixed.c_str()), row.code) << mixed;
        EXPECT_EQ(TagCode(close.c_str()), row.code + 100) << close;
        char buf[qirTagTextSize];
        ASSERT_EQ(TagText(row.code, buf), 0) << open;
        EXPECT_EQ(std::string(buf), "<" + open + ">");
        ASSERT_EQ(TagText(row.code + 100, buf), 0) << open;
        EXPECT_EQ(std::string(buf), "</" + open + ">");
    }
    EXPECT_EQ(TagCode(nullptr), 12);
    EXPECT_EQ(TagCode("blink"), 12);
    EXPECT_EQ(TagCode("bold "), 12);
    EXPECT_EQ(TagCode("//bold"), 12);
    char buf[qirTagTextSize] = "keep";
    EXPECT_EQ(TagText(12, buf), 1);
    EXPECT_EQ(TagText(216, buf), 1);
    EXPECT_STREQ(buf, "keep");
}

TEST(EnrichedReader, TextRunsAndMarks) {
    std::string longName = "bold" + std::string(196, 'x');
    struct {
        std::string in, text, runs, marks;
    } cases[] = {
        {"a\nb", "a b", "0:-", "0C 3C"},
        {"a\n\nb", "a\nb", "0:-", "0C 2C 3C"},
        {"a\n\n\nb", "a\n\nb", "0:-", "0C 2C 3C 4C"},
        {"<nofill>a\nb\n</nofill>c", "a\nb\nc", "0:-", "0C 2C 4C 5C"},
        {"<<bold>x", "<bold>x", "0:-", "0C 7C"},
        {"<bold>ab</bold>c", "abc", "0:B 2:-", "0C 3C"},
        {"<BOLD><Italic>a</italic>b</Bold>", "ab", "0:BI 1:B", "0C 2C"},
        {"<bigger><bigger>a</bigger><smaller>b", "ab", "0:s2 1:-", "0C 2C"},
        {"<indent><indentright>a</indentright></indent></indent>b", "ab", "0:>1<1 1:-", "0C 2C"},
        {"<x-color><param>red</param>x</x-color>y", "xy", "0:@red 1:-", "0C 2C"},
        {"<x-color><param>#00ff00</param><x-color><param>blue</param>a</x-color>b</x-color>c",
         "abc", "0:@blue 1:@#00ff00 2:-", "0C 3C"},
        // A colour the display does not know is the default colour.
        {"<x-color><param>no such colour</param>x</x-color>", "x", "0:-", "0C 1C"},
        // A parameter outside x-color sets nothing and shows nothing.
        {"<param>red</param>x", "x", "0:-", "0C 1C"},
        // An alignment section inside one line is a paragraph of its own.
        {"a<center>b</center>c", "a\nb\nc", "0:-", "0C 2B 4C 5C"},
        {"<center>a<flushright>b</flushright>c</center>d", "a\nb\nc\nd", "0:-",
         "0B 2D 4B 6C 7C"},
        {"<flushboth>x</flushboth>\n\ny", "x\ny", "0:-", "0E 2C 3C"},
        // Stray closing tags change nothing and lose nothing.
        {"</center></indent></x-color></param></nofill>a\nb", "a b", "0:-", "0C 3C"},
        // Unknown and unterminated tags: the text is kept.
        {"<blink>x</blink>", "x", "0:-", "0C 1C"},
        {"a <b and the rest\n\n<bold", "a <b and the rest\n<bold", "0:-", "0C 18C 23C"},
        {"<bold>x<", "x<", "0:B", "0C 2C"},
        {"<" + longName + ">x", "x", "0:-", "0C 1C"},
        {"", "", "0:-", "0C 0C"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        Read r = ReadEnriched(c.in);
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(r.runs, c.runs);
        EXPECT_EQ(r.marks, c.marks);
    }
}

TEST(EnrichedReader, EveryByteValueByLength) {
    std::string in("a\0b\xff" "c\x80", 6);
    Read r = ReadEnriched(in);
    EXPECT_EQ(r.text, in);
    Editor e;
    e.Load(std::string("x\xff" "y\0z\n\n", 7));
    EXPECT_EQ(e.doc.Text(), std::string("x\xff" "y\0z\n", 6));
    EXPECT_EQ(e.Write(), std::string("x\xff" "y\0z\n\n", 7));
}

TEST(EnrichedReader, LoadAndAppendLikeThePanel) {
    Editor e;
    e.Load("");
    EXPECT_EQ(e.doc.Text(), "\n");
    e.Load("<center>title</center>\n\nbody");
    EXPECT_EQ(e.doc.Text(), "title\nbody\n");
    std::string tail = "\n\n--\n\n";
    qirRTFSource src(tail.c_str());
    e.rw.Append(e.doc, src, true);
    EXPECT_EQ(e.doc.Text(), "title\nbody\n--\n\n");
    EXPECT_EQ(e.Look().substr(0, 2), "|B");
}

TEST(EnrichedWriter, Output) {
    struct {
        std::string in, out;
    } cases[] = {
        {"plain", "plain\n\n"},
        {"a\n\n<<b\n\n", "a\n\n<<b\n\n"},
        {"<bold>b</bold>n", "<bold>b</bold>n\n\n"},
        {"<bold><italic>a</italic>b</bold>", "<bold><italic>a</italic>b\n\n</bold>"},
        {"<center>t</center>\n\nx", "<center>t\n\n</center>x\n\n"},
        {"<flushboth>t</flushboth>", "<flushboth>t\n\n</flushboth>"},
        {"<smaller><indent>s", "<smaller><indent>s\n\n</indent></smaller>"},
        {"<x-color><param>red</param>r</x-color>d",
         "<x-color><param>red</param>r</x-color>d\n\n"},
        {"<x-color><param>nosuch</param>r</x-color>d", "rd\n\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        Editor e;
        e.Load(c.in);
        EXPECT_EQ(e.Write(), c.out);
    }
}

TEST(EnrichedWriter, DeepIndentsAreNotRepeatedPerParagraph) {
    std::string in;
    for (int i = 0; i < 1000; ++i)
        in += "<indentright>";
    for (int i = 0; i < 1000; ++i)
        in += i % 2 ? "<center>c\n\n</center>" : "l\n\n";
    Editor e;
    e.Load(in);
    std::string out = e.Write();
    EXPECT_LT(out.size(), 2 * in.size());
    Editor again;
    again.Load(out);
    EXPECT_EQ(again.Look(), e.Look());
}

TEST(PlainWriter, FollowsTheLayoutOnlyWhenCurrent) {
    qirRTFFixedMetrics metrics(10, 8, 2);
    Editor e;
    e.Load("aaaa bbbb cccc\nend\n", false);
    // Never laid out: the text itself.
    EXPECT_EQ(e.Write(false), "aaaa bbbb cccc\nend\n");
    e.doc.SetMetrics(&metrics);
    e.doc.SetWidth(110);
    e.doc.relayout(-1, -1);
    EXPECT_EQ(e.Write(false), "aaaa bbbb \ncccc\nend\n");
    // Stale line records after a width change: the text again.
    e.doc.SetWidth(60);
    EXPECT_EQ(e.Write(false), "aaaa bbbb cccc\nend\n");
}

TEST(Writers, FailOnNullStreamAndFullDisk) {
    Editor e;
    e.Load(std::string(200000, 'x'));
    EXPECT_EQ(e.rw.WriteEnriched(e.doc, nullptr), 1);
    EXPECT_EQ(e.rw.WritePlain(e.doc, nullptr), 1);
    for (bool enriched : {true, false}) {
        FILE* f = fopen("/dev/full", "w");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(enriched ? e.rw.WriteEnriched(e.doc, f) : e.rw.WritePlain(e.doc, f), 1);
        fclose(f);
        EXPECT_EQ(e.rw.Save(e.doc, "/dev/full", enriched, true), 1);
    }
    e.Load("small");
    EXPECT_EQ(e.rw.Save(e.doc, "/dev/full", true, true), 1);   // fails at the close
    EXPECT_EQ(e.rw.Save(e.doc, nullptr, true, false), 1);
}

TEST(Writers, SaveReplacesOrAppends) {
    char dir[] = "/tmp/qirrtfXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string path = std::string(dir) + "/letter";
    Editor e;
    e.Load("<bold>hi</bold>");
    ASSERT_EQ(e.rw.Save(e.doc, path.c_str(), true, false), 0);
    ASSERT_EQ(e.rw.Save(e.doc, path.c_str(), false, true), 0);
    FILE* f = fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buf[100] = {};
    size_t n = fread(buf, 1, sizeof buf, f);
    fclose(f);
    EXPECT_EQ(std::string(buf, n), "<bold>hi\n\n</bold>hi\n");
    // A directory that is gone: failure, nothing written.
    std::string lost = std::string(dir) + "/gone/letter";
    EXPECT_EQ(e.rw.Save(e.doc, lost.c_str(), true, false), 1);
    unlink(path.c_str());
    rmdir(dir);
}

TEST(RoundTrip, RandomDocumentsReadBackAsWritten) {
    std::mt19937 rng(1234);
    const char alphabet[] = "ab <>\n\n\t";
    for (int round = 0; round < 300; ++round) {
        Editor e;
        e.Load("");
        const char* colors[] = {nullptr, "red", "#00ff00"};
        int pieces = 1 + rng() % 8;
        for (int k = 0; k < pieces; ++k) {
            std::string t;
            int n = 1 + rng() % 12;
            for (int i = 0; i < n; ++i)
                t += rng() % 20 == 0 ? static_cast<char>(rng() % 256) : alphabet[rng() % (sizeof alphabet - 1)];
            qirRTFStyle s(0);
            s.bits = rng() % 16;
            s.size = static_cast<int>(rng() % 5) - 2;
            s.left = rng() % 3;
            s.right = rng() % 2;
            s.color = e.res.ColorByName(colors[rng() % 3]);
            s.font = e.res.Font(s.bits, s.size);
            std::vector<qirRTFAlign> marks;
            const char codes[] = "BCDE";
            marks.emplace_back(codes[rng() % 4], 0);
            for (int i = 0; i < n; ++i)
                if (t[i] == '\n')
                    marks.emplace_back(codes[rng() % 4], i + 1);
            e.doc.insert(static_cast<int>(rng() % e.doc.Length()), t, {s}, marks);
        }
        std::string once = e.Write();
        Editor back;
        back.Load(once);
        SCOPED_TRACE(once);
        ASSERT_EQ(back.doc.Text(), e.doc.Text());
        ASSERT_EQ(back.Look(), e.Look());
        ASSERT_EQ(back.Write(), once);
    }
}

TEST(RoundTrip, TagSoupReachesAFixedPoint) {
    std::mt19937 rng(99);
    const char* bits[] = {"<bold>", "</bold>", "<center>", "</center>", "<flushright>",
                          "</flushright>", "<x-color>", "</x-color>", "<param>", "</param>",
                          "red", "<indent>", "</indent>", "<nofill>", "</nofill>", "<<",
                          "<", ">", "\n", "\n\n", "x", "y z", "<smaller>", "</bigger>",
                          "<flushboth>", "</flushleft>", "<foo>"};
    for (int round = 0; round < 500; ++round) {
        std::string in;
        int n = rng() % 40;
        for (int i = 0; i < n; ++i)
            in += bits[rng() % (sizeof bits / sizeof *bits)];
        SCOPED_TRACE(in);
        Editor a;
        a.Load(in);
        std::string once = a.Write();
        Editor b;
        b.Load(once);
        ASSERT_EQ(b.Look(), a.Look());
        ASSERT_EQ(b.Write(), once);
    }
}

TEST(EnrichedReader, NestedColoursAndParamsStayLinear) {
    // Deep nesting used to cost a walk back over every earlier tag.
    std::string in;
    while (in.size() < 300000)
        in += "<x-color><param>red</param><center>a<param>p</param>";
    Editor e;
    e.Load(in);
    EXPECT_EQ(e.res.ColorCount(), 2);   // the default and red
    EXPECT_GT(e.doc.Length(), 5000);
    // Many "<" that no ">" closes: each is text, and none searches the rest.
    std::string open;
    while (open.size() < 400000)
        open += "<a ";
    e.Load(open);
    EXPECT_EQ(e.doc.Text(), open + "\n");
}
