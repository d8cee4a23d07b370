#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "qirWildcard.h"

namespace {

// The plain recursive definition of a match, kept only as the reference the
// fast matcher must agree with.
bool Reference(const char* p, const char* t)
{
    if (!*p)
        return !*t;
    if (*p == '*') {
        for (const char* s = t; *s; ++s)
            if (Reference(p + 1, s))
                return true;
        return Reference(p + 1, t + std::char_traits<char>::length(t));
    }
    if (*t && (*p == '?' || *p == *t))
        return Reference(p + 1, t + 1);
    return false;
}

struct Case {
    const char* pattern;
    int caseSensitive;
    const char* text;
    int match;
};

TEST(qirWildcard, MatchesByTheRules)
{
    const Case cases[] = {
        {"Message*", 0, "Message12", 1},
        {"Message*", 0, "MESSAGE", 1},
        {"Message*", 0, "message", 1},
        {"Message*", 0, "AMessage", 0},
        {"Message*", 1, "message", 0},
        {"*", 0, "", 1},
        {"*", 0, "anything at all", 1},
        {"?", 0, "x", 1},
        {"?", 0, "", 0},
        {"?", 0, "xy", 0},
        {"a*b*c", 1, "abc", 1},
        {"a*b*c", 1, "aXbYc", 1},
        {"a*b*c", 1, "abbc", 1},
        {"a*b*c", 1, "acb", 0},
        {"*.txt", 1, ".txt", 1},
        {"*.txt", 1, "a.b.txt", 1},
        {"*.txt", 1, "a.txt.gz", 0},
        {"Re:*", 1, "RE: hello", 0},
        {"Re:*", 0, "RE: hello", 1},
        {"", 0, "", 1},
        {"", 0, "a", 0},
        {"abc", 1, "ab", 0},
        {"abc", 1, "bc", 0},
        {"abc", 1, "abcd", 0},
        {"**a**", 1, "xxaxx", 1},
        {"*?", 1, "", 0},
        {"*?*", 1, "z", 1},
        // A star in the text is an ordinary character there.
        {"*b", 1, "*ab", 1},
        {"a?c", 1, "a*c", 1},
        // Only ASCII letters fold, as in the C locale.
        {"\xe9t\xe9", 0, "\xc9T\xc9", 0},
        {"*Bob*", 0, "From: bob@example.org", 1},
    };
    for (const Case& c : cases) {
        qirWildcard w(c.pattern, c.caseSensitive);
        EXPECT_EQ(w.Match(c.text), c.match) << c.pattern << " vs " << c.text;
        EXPECT_EQ(w.Match(qirString(c.text)), c.match) << c.pattern << " vs " << c.text;
    }
}

// Every pattern and text of up to five characters over a small alphabet:
// the backtracking matcher gives the recursive definition's answer.
TEST(qirWildcard, AgreesWithTheRecursiveRuleExhaustively)
{
    const char patAlphabet[] = "ab*?";
    const char textAlphabet[] = "ab*";
    std::vector<std::string> patterns{""}, texts{""};
    for (size_t i = 0; i < patterns.size() && patterns[i].size() < 5; ++i)
        for (const char* c = patAlphabet; *c; ++c)
            patterns.push_back(patterns[i] + *c);
    for (size_t i = 0; i < texts.size() && texts[i].size() < 5; ++i)
        for (const char* c = textAlphabet; *c; ++c)
            texts.push_back(texts[i] + *c);
    int mismatches = 0;
    for (const std::string& p : patterns)
        for (const std::string& t : texts)
            if (qirWildcard::Match(p.c_str(), t.c_str(), 1) != (Reference(p.c_str(), t.c_str()) ? 1 : 0)) {
                if (++mismatches < 10)
                    ADD_FAILURE() << "pattern '" << p << "' text '" << t << "'";
            }
    EXPECT_EQ(mismatches, 0);
}

// The pattern that sends a per-star recursion into exponential time: here it
// must finish (the suite's time limit catches a regression) with no match.
TEST(qirWildcard, ManyStarsOnLongTextFinish)
{
    std::string text(10000, 'a');
    EXPECT_EQ(qirWildcard("*a*a*a*a*a*a*b", 1).Match(text.c_str()), 0);
    EXPECT_EQ(qirWildcard("*a*a*a*a*a*a*", 1).Match(text.c_str()), 1);
    EXPECT_EQ(qirWildcard("*A*A*A*A*A*A*A", 0).Match(text.c_str()), 1);
}

TEST(qirWildcard, NullAndCopies)
{
    qirWildcard empty;
    EXPECT_EQ(empty.IsCaseSensitive(), 0);
    EXPECT_EQ(empty.Match(static_cast<const char*>(nullptr)), 1);
    EXPECT_EQ(empty.Match("x"), 0);
    EXPECT_EQ(qirWildcard("*", 0).Match(qirString()), 1);
    EXPECT_EQ(qirWildcard("?", 0).Match(qirString()), 0);

    qirWildcard a("Re:*", 1);
    qirWildcard b(a);
    EXPECT_STREQ(b.Pattern().Text(), "Re:*");
    EXPECT_EQ(b.IsCaseSensitive(), 1);
    qirWildcard c;
    c.Assign(a);
    EXPECT_EQ(c.Match("RE: x"), 0);
    c.Set(qirString("re:*"), 0);
    EXPECT_EQ(c.Match("RE: x"), 1);
    EXPECT_STREQ(a.Pattern().Text(), "Re:*");
    EXPECT_EQ(a.IsValid(), 1);
}

} // namespace
