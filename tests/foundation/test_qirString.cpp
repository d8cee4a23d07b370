#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "qirList.h"
#include "qirString.h"

namespace {

const char* T(const qirString& s) { return s.Text() ? s.Text() : "<null>"; }

TEST(qirString, NullAndEmptyAreDistinct)
{
    qirString null, empty("");
    EXPECT_TRUE(null.IsEmpty());
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_FALSE(null == empty);
    EXPECT_TRUE(null == qirString());
    EXPECT_FALSE(null == "");
    qirString copy(null);
    EXPECT_EQ(copy.Text(), nullptr);
    qirString copy2(empty);
    ASSERT_NE(copy2.Text(), nullptr);
    EXPECT_STREQ(copy2.Text(), "");
}

struct SubCase {
    const char* text;
    int from, count;
    const char* substring; // "<null>" for a null text
    const char* cut;
};

TEST(qirString, SubstringAndCutPositions)
{
    const SubCase cases[] = {
        {"abcdef", 0, 0, "<null>", ""},
        {"abcdef", -3, -1, "def", "def"},
        {"abcdef", 2, 10, "abcdef", "abcdef"},
        {"abcdef", 6, -1, "abcdef", ""},
        {"abcdef", 7, -1, "abcdef", "abcdef"},
        {"abcdef", -7, 2, "abcdef", "abcdef"},
        {"abcdef", 1, 3, "bcd", "bcd"},
        {"abcdef", -6, 1, "a", "a"},
    };
    for (const SubCase& c : cases) {
        qirString s(c.text);
        EXPECT_STREQ(T(s.Substring(c.from, c.count)), c.substring) << c.from << "," << c.count;
        s.Cut(c.from, c.count);
        EXPECT_STREQ(T(s), c.cut) << c.from << "," << c.count;
    }
    EXPECT_EQ(qirString("abc").Left(0).Text(), nullptr);
}

// Short texts live inside the object, longer ones in memory of their own:
// every operation must give the same text on either side of the border,
// also when it reads from the string it changes.
TEST(qirString, TextsAroundTheInlineBorder)
{
    for (size_t n : {0, 1, 22, 23, 24, 25, 100}) {
        SCOPED_TRACE(n);
        const std::string text(n, 'x');
        qirString s(text.c_str());
        EXPECT_EQ(T(s), text);

        qirString copy(s), moved(std::move(copy));
        EXPECT_EQ(T(moved), text);
        EXPECT_EQ(copy.Text(), nullptr);
        qirString target("old text long enough to have memory of its own");
        target = std::move(moved);
        EXPECT_EQ(T(target), text);

        // From its own tail, and growing over the border by appending.
        qirString tail(s);
        tail.Assign(tail.Text() + n / 2);
        EXPECT_EQ(T(tail), text.substr(n / 2));
        qirString grown(s);
        grown.Append(grown).Append("yz");
        EXPECT_EQ(T(grown), text + text + "yz");
        qirString cut((text + "  \r\n").c_str());
        cut.TrimRight();
        EXPECT_EQ(T(cut), text);
        qirString left(s);
        left.KeepFrom(n / 3);
        EXPECT_EQ(T(left), text.substr(n / 3));
    }
    // A vector of strings moves them when it grows: each keeps its text.
    std::vector<qirString> many;
    for (int i = 0; i < 100; ++i) many.emplace_back(std::string(i % 40, 'a' + i % 26).c_str());
    for (int i = 0; i < 100; ++i) EXPECT_EQ(T(many[i]), std::string(i % 40, 'a' + i % 26)) << i;
}

TEST(qirString, FindForwardBackwardAndHighBytes)
{
    qirString s("a\x80" "ba\x80");
    EXPECT_EQ(s.Find(0, 'a'), 0);
    EXPECT_EQ(s.Find(-1, 'a'), 3);
    EXPECT_EQ(s.Find(0, '\x80'), 1);
    EXPECT_EQ(s.LastIndexOf('\x80'), 4);
    EXPECT_EQ(s.Find(5, 'a'), -1);
    EXPECT_EQ(qirString().Find(0, 'a'), -1);
    EXPECT_STREQ(T(qirString("a/b/c").TailFromChar('/')), "/b/c");
    EXPECT_STREQ(T(qirString("a/b/c").TailFromLastChar('/')), "/c");
    EXPECT_EQ(qirString("abc").TailFromChar('/').Text(), nullptr);
}

TEST(qirString, TrimAndChop)
{
    qirString blank("  \t\r\n");
    blank.TrimRight();
    ASSERT_NE(blank.Text(), nullptr);
    EXPECT_STREQ(blank.Text(), "");
    qirString lf("\n");
    lf.ChopNewline();
    EXPECT_STREQ(lf.Text(), "\n");
    qirString a("a\n\r");
    a.ChopNewline();
    EXPECT_STREQ(a.Text(), "a");
}

TEST(qirString, AppendConcatCompareConvert)
{
    qirString s;
    s.Append("ab").Append(qirString("cd")).Append('e').Append((const char*)nullptr);
    EXPECT_STREQ(s.Text(), "abcde");
    s.Append(s);
    EXPECT_STREQ(s.Text(), "abcdeabcde");
    qirString a("x");
    EXPECT_STREQ(a.Concat("y").Text(), "xy");
    EXPECT_STREQ(a.Text(), "x");
    EXPECT_TRUE(qirString("b") > "a");
    EXPECT_TRUE(qirString("\xff") > qirString("a"));
    EXPECT_TRUE(qirString("a") > (const char*)nullptr);
    EXPECT_FALSE(qirString("a") < (const char*)nullptr);
    EXPECT_TRUE(qirString("AbC").EqualsIgnoreCase("aBc"));
    EXPECT_FALSE(qirString().EqualsIgnoreCase(qirString()));
    int i = 0;
    EXPECT_TRUE(qirString("0x1f junk").ToInt(&i));
    EXPECT_EQ(i, 31);
    EXPECT_FALSE(qirString("junk").ToInt(&i));
    double d = 0;
    EXPECT_TRUE(qirString("2.5").ToDouble(&d));
    EXPECT_DOUBLE_EQ(d, 2.5);
}

TEST(qirString, FormatIsBounded)
{
    std::string big(20000, 'x');
    qirString s;
    s.Format("%s", big.c_str());
    EXPECT_EQ(s.Length(), qirFormatBufferSize - 1);
    s.Format("%d-%s", 7, "z");
    EXPECT_STREQ(s.Text(), "7-z");
}

TEST(qirString, ReadLineRules)
{
    std::string longLine(5000, 'q');
    std::string data = "one\n\ntwoZx\n" + longLine + "\nlast";
    data[8] = 0;
    FILE* f = fmemopen(const_cast<char*>(data.data()), data.size(), "r");
    ASSERT_NE(f, nullptr);
    qirString s("keep");
    ASSERT_EQ(s.ReadLine(f), 0);
    EXPECT_STREQ(s.Text(), "one");
    ASSERT_EQ(s.ReadLine(f), 0);
    EXPECT_STREQ(s.Text(), "");
    ASSERT_EQ(s.ReadLine(f), 0);
    EXPECT_STREQ(s.Text(), "two"); // stopped at the NUL
    ASSERT_EQ(s.ReadLine(f), 0);
    EXPECT_STREQ(s.Text(), "x");
    ASSERT_EQ(s.ReadLine(f), 0);
    EXPECT_EQ(s.Length(), 4095);
    ASSERT_EQ(s.ReadLine(f), 0);
    EXPECT_EQ(s.Length(), 5000 - 4095);
    s.Assign("kept");
    EXPECT_EQ(s.ReadLine(f), 1);
    EXPECT_STREQ(s.Text(), "kept");
    fclose(f);
}

struct Node : qirObject {
    explicit Node(int v, int* deleted = nullptr) : v(v), deleted(deleted) {}
    ~Node() override { if (deleted) ++*deleted; }
    int v;
    int* deleted;
};

std::string Order(const qirList& l)
{
    std::string s;
    for (qirObject* p = l.First(); p; p = qirList::Next(p)) s += char('0' + static_cast<Node*>(p)->v);
    return s;
}

TEST(qirList, LinkingAndOwnership)
{
    int deleted = 0;
    qirList l;
    Node *a = new Node(1, &deleted), *b = new Node(2, &deleted), *c = new Node(3, &deleted);
    l.Append(a)->Append(b)->Append(c);
    EXPECT_EQ(Order(l), "123");
    EXPECT_EQ(l.Count(), 3);
    EXPECT_EQ(l.IndexOf(c), 2);
    EXPECT_EQ(l.Nth(1), b);
    EXPECT_EQ(l.Nth(3), nullptr);
    Node* z = new Node(0, &deleted);
    l.InsertBefore(z, nullptr);
    EXPECT_EQ(Order(l), "0123");
    EXPECT_EQ(l.Unlink(z), 1);
    l.InsertBefore(z, a);
    EXPECT_EQ(Order(l), "0123");
    l.Unlink(z);
    l.InsertBefore(z, c);
    EXPECT_EQ(Order(l), "1203");

    qirList other;
    Node x(9);
    other.Append(&x);
    EXPECT_EQ(l.Remove(&x), 0);
    EXPECT_EQ(deleted, 0);
    other.Unlink(&x);

    qirList moved;
    moved.AppendAll(&l);
    EXPECT_TRUE(l.IsEmpty());
    EXPECT_EQ(Order(moved), "1203");
    EXPECT_EQ(moved.Remove(nullptr), 4);
    EXPECT_EQ(deleted, 4);
    EXPECT_TRUE(moved.IsEmpty());
}

TEST(qirStack, PushPopSwap)
{
    qirStack s;
    EXPECT_EQ(s.Swap(), -9);
    Node a(1), b(2), c(3);
    s.Push(&a);
    EXPECT_EQ(s.Swap(), -1);
    s.Push(&b)->Push(&c);
    EXPECT_EQ(s.Swap(), 0);
    EXPECT_EQ(Order(s), "132");
    EXPECT_EQ(s.Pop(), &b);
    EXPECT_EQ(s.Pop(), &c);
    EXPECT_EQ(s.Pop(), &a);
    EXPECT_EQ(s.Pop(), nullptr);
}

TEST(qirPairList, LookupRemoveCopy)
{
    qirPairList l;
    l.Add("To", "a@b");
    l.Add("To", "second");
    l.Add("Cc", nullptr);
    ASSERT_NE(l.Lookup("To"), nullptr);
    EXPECT_STREQ(l.Lookup("To")->Text(), "a@b");
    EXPECT_EQ(l.Lookup("Cc"), nullptr);
    qirPairList copy(l);
    EXPECT_EQ(l.Remove(qirString("To")), 0);
    EXPECT_STREQ(l.Lookup("To")->Text(), "second");
    EXPECT_EQ(l.Remove(qirString("Bcc")), -3);
    EXPECT_STREQ(copy.Lookup("To")->Text(), "a@b");
    EXPECT_EQ(copy.Count(), 3);
}

TEST(qirObject, CountersFollowLifetimes)
{
    int before = qirObjectCounters[8];
    {
        qirString a("x"), b(a);
        qirString c(std::move(b));
        EXPECT_EQ(qirObjectCounters[8], before + 3);
    }
    EXPECT_EQ(qirObjectCounters[8], before);
}

} // namespace

// Formats from the configuration or a catalogue take exactly the arguments
// the program gives, or they are not used.
TEST(qirString, FormatTakesExactlyTheGivenConversions)
{
    struct Case {
        const char* format;
        const char* kinds;
        int takes;
    } cases[] = {
        {"%s: %s", "ss", 1},
        {"<x-color><param>%s</param>%-20s</x-color>%%", "ss", 1},
        {"%s %d", "sd", 1},
        {"%05.2d %ld %lx", "dll", 1},
        {"%s", "ss", 0},           // too few
        {"%s %s %s", "ss", 0},     // too many
        {"%d", "s", 0},            // wrong kind
        {"%s", "d", 0},
        {"%.3s", "s", 0},          // a precision would cut a text anywhere
        {"%123s", "s", 0},         // widths stay small
        {"%n", "d", 0},
        {"%*s", "s", 0},
        {"%ld", "d", 0},
        {"100%% done", "", 1},
        {"trailing %", "", 0},
        {nullptr, "", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(qirFormatTakes(c.format, c.kinds), c.takes) << (c.format ? c.format : "null") << " / " << c.kinds;
}
