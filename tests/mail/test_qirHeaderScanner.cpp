#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "qirHeaderScanner.h"

namespace {

// The whole token sequence of one field: "code" or "code=text", joined by "|".
std::string Scan(const std::string& field, int limit = 1000000)
{
    qirScanInput = field.c_str();
    std::string out;
    for (int i = 0; i < limit; ++i) {
        int t = qirHeaderScanner::nextToken();
        if (!out.empty()) out += '|';
        out += std::to_string(t);
        if (*qirScanText) out += std::string("=") + qirScanText;
        if (t == qirTokEnd) return out;
    }
    ADD_FAILURE() << "no end token for " << field;
    return out;
}

struct Case {
    const char* field;
    const char* tokens;
};

void Check(const Case* cases, size_t n)
{
    for (size_t i = 0; i < n; ++i) EXPECT_EQ(Scan(cases[i].field), cases[i].tokens) << cases[i].field;
}

TEST(qirHeaderScanner, FieldNames)
{
    const Case cases[] = {
        {"", "39"},
        {"TO:a", "10=TO:|48|25=a|39"},
        {"TO :a", "10=TO :|48|25=a|39"},
        {"CC\t:a", "11=CC\t:|48|25=a|39"},
        {"TO  :a", "33=TO  :|28=a|39"},
        {"to:a", "33=to:|28=a|39"},
        {"X-MAILER:(x)", "33=X-MAILER:|28=(|28=x|28=)|39"},
        {"REPLY-TO:a", "5=REPLY-TO:|48|25=a|39"},
        {"BCC:a", "12=BCC:|48|25=a|39"},
        {"SENDER:a", "7=SENDER:|48|25=a|39"},
        {"MIME-VERSION: 1.0", "20=MIME-VERSION:|28= |28=1|28=.|28=0|39"},
        // A blank inside a name: the scan goes on one character at a time.
        {"X BAD: v", "38=X|38= |33=BAD:|28= |28=v|39"},
        {" TO:a", "38= |10=TO:|48|25=a|39"},
    };
    Check(cases, sizeof cases / sizeof cases[0]);
}

TEST(qirHeaderScanner, AddressLists)
{
    const Case cases[] = {
        {"TO: a@b.c, d@e.f (Doe (J\\)) x), \"Doe, J\" <j@x.org>",
         "10=TO:|48|25=a@b.c|26=,|48|24|46=d@e.f|40=(Doe (J\\)) x)|26=,"
         "|48|37|32=\"Doe, J\"|36=<|46=j@x.org|35=>|39"},
        {"TO:undisclosed-recipients:;", "10=TO:|34=undisclosed-recipients:|42=;|39"},
        {"TO: Friends: a@b, c <c@d>;, e@f",
         "10=TO:|34=Friends:|48|25=a@b|26=,|48|37|32=c|36=<|46=c@d|35=>|42=;|26=,|48|25=e@f|39"},
        {"TO: My friends: a@b;", "10=TO:|34=My friends:|48|25=a@b|42=;|39"},
        {"TO: <a@b>", "10=TO:|48|37|36=<|46=a@b|35=>|39"},
        {"TO: Joe (the boss) Smith <j@x>", "10=TO:|48|37|32=Joe|32=Smith|36=<|46=j@x|35=>|39"},
        {"TO: a@[1.2.3.4], \"a b\"@c.d, x.y@z", "10=TO:|48|25=a@[1.2.3.4]|26=,|48|25=\"a b\"@c.d|26=,|48|25=x.y@z|39"},
        {"TO: a@b\n c@d", "10=TO:|48|25=a@b|48|25=c@d|39"},
        {"TO: a@b,,c@d", "10=TO:|48|25=a@b|26=,|26=,|48|25=c@d|39"},
        // Initials with a full stop stay in the phrase (common in real mail).
        {"TO: John Q. Public <jqp@x.org>", "10=TO:|48|37|32=John|32=Q.|32=Public|36=<|46=jqp@x.org|35=>|39"},
        {"TO: \"John Q. Public\" <jqp@x.org>", "10=TO:|48|37|32=\"John Q. Public\"|36=<|46=jqp@x.org|35=>|39"},
        // An obsolete source route is passed over; comments and blanks
        // around the "@" and the full stops are no part of the address.
        {"TO: <@a.b:c@d>", "10=TO:|48|37|36=<|46=c@d|35=>|39"},
        {"TO: <@a.b, ,@c (x) . d : e@f>", "10=TO:|48|37|36=<|46=e@f|35=>|39"},
        {"TO: <@a.b c@d>", "10=TO:|48|37|36=<|38=@|38=a|38=.|38=b|38= |38=c|38=@|38=d|38=>|39"},
        {"TO: Pete(A \\) chap) <pete(his account)@silly.test(his host)>",
         "10=TO:|48|37|32=Pete|36=<|46=pete@silly.test|35=>|39"},
        {"TO: c@(host.)public . example (Chris), jdoe@test  . example",
         "10=TO:|48|24|46=c@public.example|40=(Chris)|26=,|48|25=jdoe@test.example|39"},
        {"TO: a; b", "10=TO:|48|25=a|38=;|38= |38=b|39"},
        {"FROM: a@b (Al)", "6=FROM:|48|24|46=a@b|40=(Al)|39"},
        // No groups in a From field.
        {"FROM: group: a@b;", "6=FROM:|48|25=group|38=:|38= |38=a|38=@|38=b|38=;|39"},
        // A comment the field ends inside is closed at its end.
        {"TO: a@b (unclosed (x", "10=TO:|48|24|46=a@b|40=(unclosed (x))|39"},
        {"TO: a@b, (unclosed", "10=TO:|48|25=a@b|26=,|38=(|39"},
        {"TO: \"unclosed", "10=TO:|38=\"|38=u|38=n|38=c|38=l|38=o|38=s|38=e|38=d|39"},
        {"TO: <a@b", "10=TO:|48|37|36=<|46=a@b|39"},
        {"TO: a\\", "10=TO:|48|25=a|38=\\|39"},
    };
    Check(cases, sizeof cases / sizeof cases[0]);
}

TEST(qirHeaderScanner, TextDateAndFace)
{
    const Case cases[] = {
        {"SUBJECT: a (b)", "17=SUBJECT:|28= |28=a|28= |28=(|28=b|28=)|39"},
        {"X-FACE: ab c\n\td", "22=X-FACE:|28=a|28=b|28=c|28=\n|28=d|39"},
        {"DATE: Tue, 1 Jan 2002 10:11:12 +0100 (CET)", "8=DATE:|27=Tue, 1 Jan 2002 10:11:12 +0100|39"},
        {"DATE: Tue ,1 Jan 2002 10:11:12 +0100", "8=DATE:|27=Tue ,1 Jan 2002 10:11:12 +0100|39"},
        {"DATE:01 JAN 02 10:11", "8=DATE:|27=01 JAN 02 10:11|39"},
        {"DATE: 1 Jan 2002 10:11 ", "8=DATE:|27=1 Jan 2002 10:11|39"},
        {"DATE: 1 Jan 12002 10:11", "8=DATE:|38=1|38= |38=J|38=a|38=n|38= |38=1|38=2|38=0|38=0|38=2|38= |33=10:|28=1|28=1|39"},
        {"DATE: Fri, 21 Nov 1997 9:55:06 -0600", "8=DATE:|27=Fri, 21 Nov 1997 9:55:06 -0600|39"},
        {"DATE: 1 Jan 2002 100:02", "8=DATE:|38=1|38= |38=J|38=a|38=n|38= |38=2|38=0|38=0|38=2|38= |33=100:|28=0|28=2|39"},
    };
    Check(cases, sizeof cases / sizeof cases[0]);
}

TEST(qirHeaderScanner, MimeFields)
{
    const Case cases[] = {
        {"CONTENT-TYPE: text/plain; charset=us-ascii; name=\"a b.txt\"",
         "21=CONTENT-TYPE:|56=text|51=/|56=plain|42=;|52=charset|53=us-ascii|42=;|52=name|53=a b.txt|39"},
        // Full stops belong to MIME tokens, unquoted values included.
        {"CONTENT-TYPE: application/vnd.ms-excel; name=report.xls",
         "21=CONTENT-TYPE:|56=application|51=/|56=vnd.ms-excel|42=;|52=name|53=report.xls|39"},
        {"CONTENT-TYPE: multipart/mixed;\n boundary=\"==x==\" (c)",
         "21=CONTENT-TYPE:|56=multipart|51=/|56=mixed|42=;|52=boundary|53===x==|39"},
        {"CONTENT-TYPE: text/plain;", "21=CONTENT-TYPE:|56=text|51=/|56=plain|42=;|39"},
        {"CONTENT-TYPE: text", "21=CONTENT-TYPE:|56=text|39"},
        // A value that is no token runs to the next ";", a comment or the
        // end, as other readers take it; a quoted one keeps what its quotes
        // hold.
        {"CONTENT-TYPE: text/plain; name=a?b", "21=CONTENT-TYPE:|56=text|51=/|56=plain|42=;|52=name|53=a?b|39"},
        {"CONTENT-TYPE: multipart/mixed;\n\tboundary=----=_NextPart_000_0012 \n; charset=x",
         "21=CONTENT-TYPE:|56=multipart|51=/|56=mixed|42=;|52=boundary|53=----=_NextPart_000_0012|42=;|52=charset|53=x|39"},
        {"CONTENT-TYPE: a/b; name=a b (c); x=\"=_y; \\\"z\\\\\"",
         "21=CONTENT-TYPE:|56=a|51=/|56=b|42=;|52=name|53=a b|42=;|52=x|53==_y; \"z\\|39"},
        {"CONTENT-TYPE: text/plain; name=\"unclosed", "21=CONTENT-TYPE:|56=text|51=/|56=plain|42=;|52=name|38=\"|38=u|38=n|38=c|38=l|38=o|38=s|38=e|38=d|39"},
        {"CONTENT-DISPOSITION: attachment; filename (c) = x", "57=CONTENT-DISPOSITION:|56=attachment|42=;|52=filename|53=x|39"},
        {"CONTENT-DISPOSITION: inline/x", "57=CONTENT-DISPOSITION:|56=inline|38=/|38=x|39"},
        {"CONTENT-TRANSFER-ENCODING: Base64 (c)", "54=CONTENT-TRANSFER-ENCODING:|56=Base64|39"},
        {"CONTENT-TRANSFER-ENCODING: a;b", "54=CONTENT-TRANSFER-ENCODING:|56=a|38=;|38=b|39"},
    };
    Check(cases, sizeof cases / sizeof cases[0]);
}

TEST(qirHeaderScanner, NestingBeyondTheStackIsLost)
{
    // 1,030 nested groups: the six deepest pushes are lost, so the field's
    // own mode comes back after 1,024 ";" and the rest are errors.
    std::string field = "TO:";
    for (int i = 0; i < 1030; ++i) field += "g:";
    field += std::string(1030, ';');
    std::string expected = "10=TO:";
    for (int i = 0; i < 1030; ++i) expected += "|34=g:";
    for (int i = 0; i < 1024; ++i) expected += "|42=;";
    for (int i = 0; i < 6; ++i) expected += "|38=;";
    expected += "|39";
    EXPECT_TRUE(Scan(field) == expected);
    // The scanner is whole again for the next field.
    EXPECT_EQ(Scan("TO:a"), "10=TO:|48|25=a|39");
}

TEST(qirHeaderScanner, EndRepeatsAndNewInputRestarts)
{
    std::string f = "TO: a@b, c@d";
    qirScanInput = f.c_str();
    EXPECT_EQ(qirHeaderScanner::nextToken(), qirTokTo);
    EXPECT_EQ(qirHeaderScanner::nextToken(), qirTokMailbox);
    // Abandoned in the middle: a moved input pointer starts a fresh field.
    std::string next = "SUBJECT:x";
    EXPECT_EQ(Scan(next), "17=SUBJECT:|28=x|39");
    EXPECT_EQ(qirHeaderScanner::nextToken(), qirTokEnd);
    EXPECT_EQ(qirHeaderScanner::nextToken(), qirTokEnd);
    qirScanInput = nullptr;
    EXPECT_EQ(qirHeaderScanner::nextToken(), qirTokEnd);
}

TEST(qirHeaderScanner, CommentBufferHoldsTheLastWholeComment)
{
    Scan("TO: a@b (first), c@d (second (nested))");
    ASSERT_NE(qirScanComment, nullptr);
    EXPECT_STREQ(qirScanComment, "(second (nested))");
    char* c = qirHeaderScanner::TakeComment();
    EXPECT_EQ(qirScanComment, nullptr);
    free(c);
    // A comment the field ends inside is closed, never a lone "(" nor an
    // escaped ")".
    Scan("TO: a@b (");
    EXPECT_STREQ(qirScanComment, "()");
    Scan("TO: a@b (x\\");
    EXPECT_STREQ(qirScanComment, "(x)");
    free(qirHeaderScanner::TakeComment());
}

TEST(qirHeaderScanner, LongTokensAreWhole)
{
    const size_t n = 100000; // far beyond any fixed match buffer
    std::string local(n, 'a');
    std::string t = Scan("TO: " + local + "@b.org");
    EXPECT_TRUE(t == "10=TO:|48|25=" + local + "@b.org|39");
    std::string value(n, 'v');
    t = Scan("CONTENT-TYPE: a/b; name=\"" + value + "\"");
    EXPECT_TRUE(t == "21=CONTENT-TYPE:|56=a|51=/|56=b|42=;|52=name|53=" + value + "|39");
    std::string comment = "(" + std::string(n, 'c') + ")";
    t = Scan("TO: x@y " + comment);
    EXPECT_TRUE(t == "10=TO:|48|24|46=x@y|40=" + comment + "|39");
    ASSERT_NE(qirScanComment, nullptr);
    EXPECT_EQ(strlen(qirScanComment), n + 2);
    free(qirHeaderScanner::TakeComment());
    std::string date = "DATE: 1 Jan 2002 10:11 " + std::string(n, 'Z');
    EXPECT_TRUE(Scan(date) == "8=DATE:|27=1 Jan 2002 10:11 " + std::string(n, 'Z') + "|39");
}

TEST(qirHeaderScanner, HostileTextEndsCleanly)
{
    std::string bytes;
    for (int c = 1; c < 256; ++c) bytes += static_cast<char>(c);
    const std::string prefixes[] = {"", "TO:", "FROM:", "DATE:", "SUBJECT:", "X-FACE:", "CONTENT-TYPE:a/b;",
                                    "CONTENT-DISPOSITION:a;", "CONTENT-TRANSFER-ENCODING:", "TO:a b (", "TO:\"x\" <"};
    const std::string tails[] = {bytes, "(", "\"", "\\", "[", "<", "a@[", "a.\"", "((((((((", "a=(", "x:\"\\"};
    for (const std::string& p : prefixes) {
        for (const std::string& t : tails) {
            std::string f = p + t;
            std::string tokens = Scan(f, 3 * static_cast<int>(f.size()) + 3);
            EXPECT_EQ(tokens.substr(tokens.size() - 2), "39") << f;
            if (qirScanComment) {
                size_t len = strlen(qirScanComment);
                EXPECT_GE(len, 2u);
                EXPECT_EQ(qirScanComment[0], '(');
                EXPECT_EQ(qirScanComment[len - 1], ')');
            }
        }
    }
}

TEST(qirHeaderScanner, ManyWordsWithoutAngleAddress)
{
    // Every word is its own bare address; the look-ahead over the long
    // phrase is made once, not once per word.
    std::string f = "TO:", expected = "10=TO:";
    for (int i = 0; i < 20000; ++i) {
        f += " w";
        expected += "|48|25=w";
    }
    EXPECT_TRUE(Scan(f) == expected + "|39");
    EXPECT_TRUE(Scan(f + ":") == "10=TO:|34=" + f.substr(4) + ":|39");
    std::string run(200000, 'a');
    std::string tokens = Scan(run);
    EXPECT_EQ(tokens.size(), run.size() * 5 + 2);
}

TEST(qirGrowAppend, AppendsAndGrows)
{
    char* b = qirGrowAppend(nullptr, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(b, "");
    free(b);
    char* buf = nullptr;
    EXPECT_EQ(qirGrowAppend(&buf, "abc"), buf);
    EXPECT_STREQ(buf, "abc");
    qirGrowAppend(&buf, nullptr);
    EXPECT_STREQ(buf, "abc");
    char* other = nullptr;
    std::string expected = "abc", expectedOther;
    for (int i = 0; i < 50000; ++i) {
        qirGrowAppend(&buf, "xy");
        expected += "xy";
        if (i % 1000 == 0) {
            qirGrowAppend(&other, "z");
            expectedOther += "z";
        }
    }
    EXPECT_EQ(std::string(buf), expected);
    EXPECT_EQ(std::string(other), expectedOther);
    free(buf);
    free(other);
}

} // namespace
