#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "qirAddress.h"
#include "qirConfiguration.h"
#include "qirContentType.h"
#include "qirFieldParsers.h"
#include "qirHeaderScanner.h"
#include "qirList.h"
#include "qirStatus.h"

namespace {

void ScanToEnd()
{
    for (int i = 0; i < 10000000 && qirHeaderScanner::nextToken() != qirTokEnd; ++i) {}
    free(qirHeaderScanner::TakeComment());
}

// "mailbox/name" per address, joined by ";", a null name shown as "-".
std::string Addresses(const qirList& list)
{
    std::string out;
    for (qirObject* o = list.First(); o; o = qirList::Next(o)) {
        qirAddress* a = static_cast<qirAddress*>(o);
        if (!out.empty()) out += ';';
        out += a->Mailbox().Text() ? a->Mailbox().Text() : "<null>";
        out += '/';
        out += a->FullName().Text() ? a->FullName().Text() : "-";
    }
    return out;
}

struct AddressCase {
    const char* field;
    int status;
    const char* addresses;
};

// Scans the field name, runs the parser up to the end of input, then scans
// the rest of the field as every caller must.
void CheckAddresses(int (*parse)(qirList*, int), const AddressCase* cases, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        std::string field = cases[i].field;
        qirScanInput = field.c_str();
        qirHeaderScanner::nextToken();
        qirList list;
        int r = parse(&list, qirTokEnd);
        ScanToEnd();
        EXPECT_EQ(r, cases[i].status) << field;
        EXPECT_EQ(Addresses(list), cases[i].addresses) << field;
        list.Remove(nullptr);
    }
}

TEST(qirFieldParsers, AddressLists)
{
    const AddressCase cases[] = {
        {"TO:", qirOK, ""},
        {"TO: ,, ,", qirOK, ""},
        {"TO: a@b.c, d@e.f (Doe (J\\)) x), \"Doe, J\" <j@x.org>", qirOK,
         "a@b.c/-;d@e.f/Doe (J)) x;j@x.org/Doe, J"},
        {"TO: a@b,,c@d", qirOK, "a@b/-;c@d/-"},
        // Appended, but the list is broken without the comma.
        {"TO: a@b c@d", qirNotFound, "a@b/-;c@d/-"},
        {"TO: John Q. Public <jqp@x.org>", qirOK, "jqp@x.org/John Q. Public"},
        {"TO: \"John Q. Public\" <jqp@x.org>", qirOK, "jqp@x.org/John Q. Public"},
        {"TO: Jo \"the \\\"boss\\\"\"  Smith <j@x>", qirOK, "j@x/Jo the \"boss\" Smith"},
        {"TO: Joe (the boss) Smith <j@x>", qirOK, "j@x/Joe Smith"},
        {"TO: <a@b>", qirOK, "a@b/-"},
        {"TO: \"a b\"@c.d", qirOK, "a b@c.d/-"},
        {"TO: a@b ()", qirOK, "a@b/"},
        // Groups: the members are appended, the group name is not.
        {"TO: undisclosed-recipients:;, a@b", qirOK, "a@b/-"},
        {"TO: My friends: a@b, c <c@d>;, e@f", qirOK, "a@b/-;c@d/c;e@f/-"},
        {"TO: g: a@b", qirBadValue, "a@b/-"},
        {"TO: g: a@b c@d;", qirBadValue, "a@b/-;c@d/-"},
        // An obsolete source route gives the address after it.
        {"TO: <@a.b:c@d>", qirOK, "c@d/-"},
        {"TO: x@y, <@a.b:c@d>", qirOK, "x@y/-;c@d/-"},
        // A comment the field ends inside keeps the address and what the
        // comment holds so far; an unclosed angle address appends nothing.
        {"TO: a@b (", qirOK, "a@b/"},
        {"TO: a@b (unclosed", qirOK, "a@b/unclosed"},
        {"TO: a@b (x\\", qirOK, "a@b/x"},
        {"TO: <a@b", qirBadValue, ""},
        {"TO: a; b", qirBadValue, "a/-"},
        // Gateway forms come through as ordinary mailboxes; a bare
        // CompuServe id is two local parts.
        {"TO: Joe User <Joe.User@p4.f3.n2.z1.fidonet.org>, 76543.210@compuserve.com", qirOK,
         "Joe.User@p4.f3.n2.z1.fidonet.org/Joe User;76543.210@compuserve.com/-"},
        {"TO: 76543,210", qirOK, "76543/-;210/-"},
    };
    CheckAddresses(qirParseAddressList, cases, sizeof cases / sizeof cases[0]);
}

TEST(qirFieldParsers, MailboxLists)
{
    const AddressCase cases[] = {
        {"FROM: a@b (Al)", qirOK, "a@b/Al"},
        {"FROM: a, \"B\" <b@c>", qirOK, "a/-;b@c/B"},
        {"FROM: a b", qirNotFound, "a/-;b/-"},
        {"FROM: group: a@b;", qirBadValue, "group/-"},
        {"FROM: a@b (", qirOK, "a@b/"},
    };
    CheckAddresses(qirParseMailboxList, cases, sizeof cases / sizeof cases[0]);
}

TEST(qirFieldParsers, LongPhrasesAndListsAreWhole)
{
    std::string field = "TO:", names;
    for (int i = 0; i < 20000; ++i) field += " w";
    field += " <a@b>";
    for (int i = 0; i < 5000; ++i) field += ", x@y (" + std::string(30, 'c') + ")";
    qirScanInput = field.c_str();
    qirHeaderScanner::nextToken();
    qirList list;
    EXPECT_EQ(qirParseAddressList(&list, qirTokEnd), qirOK);
    ScanToEnd();
    ASSERT_EQ(list.Count(), 5001);
    qirAddress* first = static_cast<qirAddress*>(list.First());
    EXPECT_EQ(first->FullName().Length(), 2 * 20000 - 1);
    EXPECT_EQ(static_cast<qirAddress*>(list.Last())->FullName(), std::string(30, 'c').c_str());
    list.Remove(nullptr);
}

TEST(qirFieldParsers, UnquoteAndUpcase)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"", ""},
        {"  \t\"Doe, J\"  \t", "Doe, J"},
        {"a\\\"b", "a\"b"},
        {"\\\\x", "\\x"},
        {"a\\", "a"},
        {"\"\"", ""},
        {"   ", ""},
        {"x\\ ", "x"},
    };
    for (const auto& c : cases) {
        std::string s = c.in;
        EXPECT_STREQ(qirUnquote(&s[0]), c.out) << c.in;
    }
    EXPECT_EQ(qirUnquote(nullptr), nullptr);
    char name[] = "content-type:\xe9x";
    qirUpcase(name);
    EXPECT_STREQ(name, "CONTENT-TYPE:\xe9X");
    qirUpcase(nullptr);
}

TEST(qirFieldParsers, RestAsText)
{
    const struct {
        const char* field;
        const char* text;
    } cases[] = {
        {"SUBJECT: a (b)  ", " a (b)  "},
        {"SUBJECT:", ""},
        {"MIME-VERSION: 1.0 (x)", " 1.0 (x)"},
        {"X-FACE: ab c\n\td", "abc\nd"},
    };
    for (const auto& c : cases) {
        std::string f = c.field;
        qirScanInput = f.c_str();
        qirHeaderScanner::nextToken();
        char* text = qirScanRestAsText();
        EXPECT_STREQ(text, c.text) << c.field;
        free(text);
    }
    std::string f = "SUBJECT:" + std::string(200000, 's');
    qirScanInput = f.c_str();
    qirHeaderScanner::nextToken();
    char* text = qirScanRestAsText();
    EXPECT_EQ(strlen(text), 200000u);
    free(text);
}

// The stored fields of a content type, "-" for null.
std::string Describe(const qirContentType& ct)
{
    auto f = [](const qirString& s) { return std::string(s.Text() ? s.Text() : "-"); };
    return f(ct.type) + "/" + f(ct.subtype) + " b=" + f(ct.boundary) + " n=" + f(ct.partName) + " c=" +
           f(ct.charset) + " e=" + std::to_string(ct.encoding) + ":" + f(ct.encodingName);
}

struct MimeCase {
    const char* field;
    int status;
    const char* stored;
};

void CheckMime(int (*parse)(qirContentType*), const MimeCase* cases, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        std::string field = cases[i].field;
        qirScanInput = field.c_str();
        qirHeaderScanner::nextToken();
        qirContentType ct;
        int r = parse(&ct);
        ScanToEnd();
        EXPECT_EQ(r, cases[i].status) << field;
        EXPECT_EQ(Describe(ct), cases[i].stored) << field;
    }
}

TEST(qirFieldParsers, ContentTypes)
{
    const MimeCase cases[] = {
        {"CONTENT-TYPE: text/html", qirOK, "text/html b=- n=- c=- e=5:8bit"},
        {"CONTENT-TYPE: image", qirOK, "image/plain b=- n=- c=- e=5:8bit"},
        {"CONTENT-TYPE: text/plain; charset=us-ascii; name=\"a b.txt\"", qirOK,
         "text/plain b=- n=a b.txt c=us-ascii e=5:8bit"},
        {"CONTENT-TYPE: multipart/mixed;\n boundary=\"==x==\" (c)", qirOK, "multipart/mixed b===x== n=- c=- e=5:8bit"},
        {"CONTENT-TYPE: Multipart/Mixed; BOUNDARY=abc; Name=n; ChArSeT=UTF-8", qirOK,
         "Multipart/Mixed b=abc n=n c=UTF-8 e=5:8bit"},
        {"CONTENT-TYPE: application/vnd.ms-excel; name=report.xls", qirOK,
         "application/vnd.ms-excel b=- n=report.xls c=- e=5:8bit"},
        // Other parameters are dropped; RFC 2231 ones are put together and
        // decoded (the charset is not converted), and win over plain ones.
        {"CONTENT-TYPE: text/plain; format=flowed; name*0=\"a\"; name*1=\"b\"", qirOK,
         "text/plain b=- n=ab c=- e=5:8bit"},
        {"CONTENT-TYPE: multipart/signed; micalg*=ansi-x3.4-1968''pgp-md5;\n\tboundary*=\"ansi-x3.4-1968''EeQf\"",
         qirOK, "multipart/signed b=EeQf n=- c=- e=5:8bit"},
        {"CONTENT-TYPE: text/plain; name*1*=%20b%2; name*0*=utf-8'en'%C3%A9; name*2=c%41", qirOK,
         "text/plain b=- n=\xC3\xA9 b%2c%41 c=- e=5:8bit"},
        {"CONTENT-TYPE: text/plain; name=plain; NAME*=''wins", qirOK, "text/plain b=- n=wins c=- e=5:8bit"},
        // A gap ends the value; a piece without a number 0 gives none.
        {"CONTENT-TYPE: text/plain; name*0=a; name*2=c; charset*1=x", qirOK, "text/plain b=- n=a c=- e=5:8bit"},
        // Pieces read before a fault still count.
        {"CONTENT-TYPE: text/plain; name*0=a; name*1=b; x=\"open", qirNotFound, "text/plain b=- n=ab c=- e=5:8bit"},
        {"CONTENT-TYPE: text/plain; name=\"say \\\"hi\\\"\"", qirOK, "text/plain b=- n=say \"hi\" c=- e=5:8bit"},
        {"CONTENT-TYPE: multipart/mixed; boundary=\"a\\\\b\\\"c\"", qirOK, "multipart/mixed b=a\\b\"c n=- c=- e=5:8bit"},
        {"CONTENT-TYPE: text/plain; name=\"\"", qirOK, "text/plain b=- n= c=- e=5:8bit"},
        // Empty parameters, at the end above all, are common and harmless.
        {"CONTENT-TYPE: text/plain;", qirOK, "text/plain b=- n=- c=- e=5:8bit"},
        {"CONTENT-TYPE: text/plain; charset=x;; name=y;", qirOK, "text/plain b=- n=y c=x e=5:8bit"},
        // Broken forms keep what was read before the fault.
        {"CONTENT-TYPE:", qirNotFound, "text/plain b=- n=- c=- e=5:8bit"},
        {"CONTENT-TYPE: text/", qirNotFound, "text/plain b=- n=- c=- e=5:8bit"},
        {"CONTENT-TYPE: text plain", qirNotFound, "text/plain b=- n=- c=- e=5:8bit"},
        {"CONTENT-TYPE: text/html; charset", qirNotFound, "text/html b=- n=- c=- e=5:8bit"},
        // A value that is no token runs to the next ";" (widespread in real
        // mail); a backslash in it is kept.
        {"CONTENT-TYPE: multipart/mixed;\n\tboundary=----=_NextPart_000_0012_01C2A9A6.5B2D5E40", qirOK,
         "multipart/mixed b=----=_NextPart_000_0012_01C2A9A6.5B2D5E40 n=- c=- e=5:8bit"},
        {"CONTENT-TYPE: text/html; charset=a b; name=C:\\x\\=?y?=", qirOK, "text/html b=- n=C:\\x\\=?y?= c=a b e=5:8bit"},
        // Such a value ends before a comment, which may hold a ";".
        {"CONTENT-TYPE: multipart/mixed; boundary=abc=def (comment)", qirOK,
         "multipart/mixed b=abc=def n=- c=- e=5:8bit"},
        {"CONTENT-TYPE: multipart/mixed; boundary=abc=def(a;b) ; charset=x", qirOK,
         "multipart/mixed b=abc=def n=- c=x e=5:8bit"},
        {"CONTENT-TYPE: text/html; charset=x; name=\"unclosed", qirNotFound, "text/html b=- n=- c=x e=5:8bit"},
        {"CONTENT-TYPE: text/html; name=", qirNotFound, "text/html b=- n=- c=- e=5:8bit"},
        {"CONTENT-TYPE: text/html garbage", qirOK, "text/html b=- n=- c=- e=5:8bit"},
    };
    CheckMime(qirParseContentType, cases, sizeof cases / sizeof cases[0]);
}

TEST(qirFieldParsers, Dispositions)
{
    const MimeCase cases[] = {
        {"CONTENT-DISPOSITION: inline", qirOK, "text/plain b=- n=- c=- e=5:8bit"},
        {"CONTENT-DISPOSITION: attachment; filename=\"../../.profile\"", qirOK,
         "text/plain b=- n=../../.profile c=- e=5:8bit"},
        {"CONTENT-DISPOSITION: attachment; FileName=a.pdf; size=3", qirOK, "text/plain b=- n=a.pdf c=- e=5:8bit"},
        {"CONTENT-DISPOSITION: attachment; filename (c) = x", qirOK, "text/plain b=- n=x c=- e=5:8bit"},
        {"CONTENT-DISPOSITION: attachment;", qirOK, "text/plain b=- n=- c=- e=5:8bit"},
        {"CONTENT-DISPOSITION: attachment; name=x", qirOK, "text/plain b=- n=- c=- e=5:8bit"},
        {"CONTENT-DISPOSITION:", qirNotFound, "text/plain b=- n=- c=- e=5:8bit"},
        {"CONTENT-DISPOSITION: attachment; filename", qirNotFound, "text/plain b=- n=- c=- e=5:8bit"},
        {"CONTENT-DISPOSITION: attachment; filename=a b.pdf", qirOK, "text/plain b=- n=a b.pdf c=- e=5:8bit"},
        {"CONTENT-DISPOSITION: inline/x", qirOK, "text/plain b=- n=- c=- e=5:8bit"},
        {"CONTENT-DISPOSITION: attachment; filename*=UTF-8''..%2F..%2Fx.txt", qirOK,
         "text/plain b=- n=../../x.txt c=- e=5:8bit"},
        {"CONTENT-DISPOSITION: attachment; filename*0=\"long \"; filename*1=\"name.pdf\"", qirOK,
         "text/plain b=- n=long name.pdf c=- e=5:8bit"},
    };
    CheckMime(qirParseContentDisposition, cases, sizeof cases / sizeof cases[0]);
}

TEST(qirFieldParsers, TransferEncodings)
{
    const MimeCase cases[] = {
        {"CONTENT-TRANSFER-ENCODING: Base64 (c)", qirOK, "text/plain b=- n=- c=- e=0:Base64"},
        {"CONTENT-TRANSFER-ENCODING: 7BIT", qirOK, "text/plain b=- n=- c=- e=1:7BIT"},
        {"CONTENT-TRANSFER-ENCODING: quoted-printable", qirOK, "text/plain b=- n=- c=- e=2:quoted-printable"},
        {"CONTENT-TRANSFER-ENCODING: X-UUENCODE", qirOK, "text/plain b=- n=- c=- e=3:X-UUENCODE"},
        {"CONTENT-TRANSFER-ENCODING: x-btoa", qirOK, "text/plain b=- n=- c=- e=4:x-btoa"},
        {"CONTENT-TRANSFER-ENCODING: binary", qirOK, "text/plain b=- n=- c=- e=6:binary"},
        {"CONTENT-TRANSFER-ENCODING: x-gzip64", qirOK, "text/plain b=- n=- c=- e=7:x-gzip64"},
        {"CONTENT-TRANSFER-ENCODING: base64x", qirOK, "text/plain b=- n=- c=- e=7:base64x"},
        {"CONTENT-TRANSFER-ENCODING:", qirNotFound, "text/plain b=- n=- c=- e=5:8bit"},
        {"CONTENT-TRANSFER-ENCODING: ;", qirNotFound, "text/plain b=- n=- c=- e=5:8bit"},
    };
    CheckMime(qirParseTransferEncoding, cases, sizeof cases / sizeof cases[0]);
}

// Dates need the shipped TimeZones section and must not depend on the
// zone the program runs in.
class qirDates : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(qirConfig.Load(QIR_BUILD_DATA "/QIR.cfg"), qirOK);
        ASSERT_TRUE(qirConfig.Find("TimeZones.EST") != nullptr);
    }
    void SetUp() override
    {
        const char* tz = getenv("TZ");
        hadTz_ = tz != nullptr;
        if (tz) savedTz_ = tz;
    }
    void TearDown() override
    {
        if (hadTz_)
            setenv("TZ", savedTz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    bool hadTz_ = false;
    std::string savedTz_;
};

TEST_F(qirDates, ZoneOffsets)
{
    const struct {
        const char* zone;
        long seconds;
    } cases[] = {
        {"+0130", 5400}, {"-0130", -5400}, {"+0000", 0}, {"-0000", 0}, {"0100", 3600},
        {"EST", -5 * 3600}, {"est", -5 * 3600}, {"NST", -(3 * 3600 + 1800)}, {"CEST", 7200},
        {"UT", 0}, {"XYZ", 0}, {"", 0}, {nullptr, 0},
        {"+99999999999999999999", 0}, {"+2400", 86400}, {"+0100junk", 3600},
    };
    for (const auto& c : cases) EXPECT_EQ(qirZoneOffset(c.zone), c.seconds) << (c.zone ? c.zone : "null");
    // A site's own name.
    qirConfiguration* zones = qirConfig.Find("TimeZones");
    ASSERT_NE(zones, nullptr);
    ASSERT_EQ(zones->Set("LOCALX", "-0245"), qirOK);
    EXPECT_EQ(qirZoneOffset("LOCALX"), -(2 * 3600 + 45 * 60));
}

TEST_F(qirDates, ParsedInEveryLocalZone)
{
    const struct {
        const char* text;
        time_t value;
    } cases[] = {
        {"Tue, 1 Jan 2002 10:11:12 +0100", 1009876272},
        {"1 Jan 02 10:11 +0100", 1009876260},
        {"Tue ,1 Jan 2002 10:11:12 +0100", 1009876272},
        {"01 jan 2002 10:11:12 +0100", 1009876272},
        {"1 Jan 2002 00:00 -0130", 1009848600},
        {"1 Jan 2002 00:00 +0130", 1009837800},
        {"1 Jan 2002 10:11", 1009879860},
        {"1 Jan 2002 10:11 XYZ", 1009879860},
        {"1 Jan 2002 10:11 EST", 1009897860},
        {"1 Jan 2002 10:11 est", 1009897860},
        // Summer: the offset is the one written, whatever the local rules.
        {"Sat, 13 Jul 2019 14:30:00 +0200", 1563021000},
        {"13 Jul 2019 14:30:00 CEST", 1563021000},
        {"13 Jul 2019 08:30:00 EDT", 1563021000},
        {"13 Jul 2019 12:30:00 GMT", 1563021000},
        // Two-digit and three-digit years.
        {"1 Jan 00 00:00 GMT", 946684800},
        {"1 Jan 49 00:00 GMT", 2493072000},
        {"1 Jan 50 00:00 GMT", -631152000},
        {"1 Jan 99 00:00 GMT", 915148800},
        {"1 Jan 102 00:00 GMT", 1009843200},
        {"29 Feb 2000 00:00 GMT", 951782400},
        // Beyond 2038: held in a 64-bit time_t.
        {"1 Jan 2040 00:00 GMT", 2208988800},
        // Not dates.
        {"1 Foo 2002 10:11", -1},
        {"Tue, Jan 2002 10:11", -1},
        {"", -1},
        {"32 Jan 2002 10:11", -1},
        {"29 Feb 2001 10:11", -1},
        {"0 Jan 2002 10:11", -1},
        {"1 Jan 2002 24:00", -1},
        {"1 Jan 2002 10:60", -1},
        {"1 Jan 2002 10:11:61", -1},
        {"1 Jan -5 10:11", -1},
        {"1 Jan 99999999999999999999 10:11", -1},
    };
    const char* zones[] = {"UTC0", "CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0", "NZST-12NZDT,M9.5.0,M4.1.0/3"};
    for (const char* tz : zones) {
        setenv("TZ", tz, 1);
        tzset();
        for (const auto& c : cases) EXPECT_EQ(qirParseDate(c.text), c.value) << c.text << " in " << tz;
    }
    EXPECT_EQ(qirParseDate(nullptr), -1);
    static_assert(sizeof(time_t) >= 8, "dates are 64-bit");
}

TEST_F(qirDates, LongZoneWordsAreReadWhole)
{
    const size_t n = 100000;
    std::string text = "1 Jan 2002 10:11 " + std::string(n, 'Z');
    EXPECT_EQ(qirParseDate(text.c_str()), 1009879860);
    text = "1 Jan 2002 10:11 +0100" + std::string(n, '9');
    EXPECT_EQ(qirParseDate(text.c_str()), 1009879860); // no offset of that size
    text = "1 Jan 2002 10:11 -0500" + std::string(n, 'x');
    EXPECT_EQ(qirParseDate(text.c_str()), 1009897860);
}

TEST_F(qirDates, FromTheScannersDateToken)
{
    std::string f = "DATE: Tue, 1 Jan 2002 10:11:12 +0100 (CET)";
    qirScanInput = f.c_str();
    ASSERT_EQ(qirHeaderScanner::nextToken(), qirTokDate);
    ASSERT_EQ(qirHeaderScanner::nextToken(), qirTokDateText);
    EXPECT_EQ(qirParseDate(qirScanText), 1009876272);
    ScanToEnd();
}

} // namespace
