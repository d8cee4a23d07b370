#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "qirHeaderFields.h"
#include "qirStatus.h"

namespace {

std::string T(const qirString* s) { return s && s->Text() ? s->Text() : "<null>"; }

std::vector<std::string> Pairs(const qirHeaderFields& f)
{
    std::vector<std::string> out;
    for (qirPair* p = f.First(); p; p = qirHeaderFields::Next(p)) out.push_back(T(p->Key()) + "|" + T(p->Value()));
    return out;
}

// Reads a block from a memory stream; answers the pairs and what is left.
struct Parsed {
    std::vector<std::string> pairs;
    std::string rest;
};

Parsed Read(const std::string& text)
{
    Parsed out;
    FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    qirHeaderFields fields;
    EXPECT_EQ(fields.Read(f), qirOK);
    out.pairs = Pairs(fields);
    int c;
    while ((c = getc(f)) != EOF) out.rest += char(c);
    fclose(f);
    return out;
}

struct ReadCase {
    const char* name;
    const char* text;
    std::vector<std::string> pairs;
    const char* rest;
};

TEST(qirHeaderFields, ReadsBlocksAndLeavesTheBody)
{
    const ReadCase cases[] = {
        {"empty block", "\nbody\n", {}, "body\n"},
        {"simple", "From: a@b\nSubject:  hi there\n\nbody\n", {"From:|a@b", "Subject:|hi there"}, "body\n"},
        {"tab continuation", "Subject: one\n\ttwo\n  three\n\nB", {"Subject:|one two  three"}, "B"},
        {"empty value continued", "Subject:\n   folded\n\nB", {"Subject:|folded"}, "B"},
        {"quoted line skipped", "A: 1\n>From x\nB: 2\n\nB", {"A:|1", "B:|2"}, "B"},
        {"envelope line dropped", "From a@b Mon Jan  1 12:00:00 2001\nTo: c\n\nB", {"To:|c"}, "B"},
        {"envelope with two blanks", "From  a@b Mon Jan  1 12:00:00 2001\nTo: c\n\nB", {"To:|c"}, "B"},
        // A blank before the colon makes a field, not an envelope: as
        // received, and as stored in "Header.822".
        {"first line From :", "From : John Doe <jdoe@machine.example>\nTo: c\n\nB",
         {"From :|John Doe <jdoe@machine.example>", "To:|c"}, "B"},
        {"stored From :", "From :John Doe <jdoe@machine.example>\n", {"From :|John Doe <jdoe@machine.example>"}, ""},
        {"blank inside name", "Bad Name: v\nTo: c\n\n", {"Bad Name:|v", "To:|c"}, ""},
        {"CRLF line ends", "To: c\r\nSubject: s\r\n \r\n\r\nbody\r\n", {"To:|c", "Subject:|s "}, "body\r\n"},
        {"end of input without empty line", "To: c\nCc: d", {"To:|c", "Cc:|d"}, ""},
        // A line without a colon is the start of the body, not a field name
        // that runs on through the following lines.
        {"line without colon", "To: c\nno colon here\nSubject: s\n\nbody\n", {"To:|c"},
         "no colon here\nSubject: s\n\nbody\n"},
        {"first line without colon", "Hello world\n\nbody", {}, "Hello world\n\nbody"},
        {"colon only in value", "X-A: a:b:c\n\n", {"X-A:|a:b:c"}, ""},
    };
    for (const ReadCase& c : cases) {
        Parsed p = Read(c.text);
        EXPECT_EQ(p.pairs, c.pairs) << c.name;
        EXPECT_EQ(p.rest, c.rest) << c.name;
    }
}

TEST(qirHeaderFields, LineWithoutColonOnAPipeIsKeptAsAField)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const char text[] = "To: c\nno colon\nSubject: s\n\nbody";
    ASSERT_EQ(write(fds[1], text, sizeof text - 1), ssize_t(sizeof text - 1));
    close(fds[1]);
    FILE* f = fdopen(fds[0], "r");
    qirHeaderFields fields;
    EXPECT_EQ(fields.Read(f), qirOK);
    EXPECT_EQ(Pairs(fields), (std::vector<std::string>{"To:|c", "no colon|", "Subject:|s"}));
    char rest[16] = {};
    EXPECT_EQ(fread(rest, 1, sizeof rest, f), 4u);
    EXPECT_STREQ(rest, "body");
    fclose(f);
}

TEST(qirHeaderFields, AddReplacesExactNameAndMovesItToTheEnd)
{
    qirHeaderFields f;
    f.Add("From:", "a");
    f.Add("To:", "b");
    f.Add("From:", "c");
    f.Add("FROM:", "d");
    EXPECT_EQ(Pairs(f), (std::vector<std::string>{"To:|b", "From:|c", "FROM:|d"}));
    EXPECT_EQ(T(f.FindValue("From:")), "c");
    EXPECT_EQ(f.FindValue("from:"), nullptr);
    f.AddLine("  X-Flag:  yes  ignored");
    EXPECT_EQ(T(f.FindValue("X-Flag:")), "yes");

    qirHeaderFields copy(f);
    f.Add("To:", "z");
    EXPECT_EQ(T(copy.FindValue("To:")), "b");
}

TEST(qirHeaderFields, WriteRoundTripsAndReportsAFullDisk)
{
    qirHeaderFields f;
    f.Add("Subject:", "hello world");
    f.Add("X-Empty:", "");
    char buf[256];
    FILE* out = fmemopen(buf, sizeof buf, "w");
    EXPECT_EQ(f.Write(out), qirOK);
    fclose(out);
    EXPECT_STREQ(buf, "Subject:hello world\nX-Empty:\n");
    EXPECT_EQ(Read(std::string(buf) + "\n").pairs, (std::vector<std::string>{"Subject:|hello world", "X-Empty:|"}));

    FILE* full = fopen("/dev/full", "w");
    if (!full) GTEST_SKIP() << "no /dev/full";
    setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_EQ(f.Write(full), qirWriteError);
    fclose(full);
}

// Many fields and long continued values must stay linear.
TEST(qirHeaderFields, LargeBlockReadsWhole)
{
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "X-N" + std::to_string(i) + ": v\n";
    text += "Subject: a\n";
    for (int i = 0; i < 20000; ++i) text += " b\n";
    text += "\nbody";
    Parsed p = Read(text);
    ASSERT_EQ(p.pairs.size(), 20001u);
    EXPECT_EQ(p.pairs.back().size(), std::string("Subject:|a").size() + 2 * 20000);
    EXPECT_EQ(p.rest, "body");
}

} // namespace
