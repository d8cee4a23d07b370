// The summary line of a message: columns, widths, dates and the catalogue
// texts that are used as formats.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "qirAddress.h"
#include "qirConfiguration.h"
#include "qirLanguageGroup.h"
#include "qirMsg.h"
#include "qirScratchDir.h"
#include "qirShortHeader.h"

namespace {

struct Col {
    const char* kind;
    const char* width;
    const char* argument; // null: no third value
};

class ShortHeaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        Catalogue("400 \"AM\"\n401 \"PM\"\n402 Sunday\n409 Sun\n410 Mon\n416 January\n427 December\n428 Jan\n439 Dec\n");
        msg = new qirMsg(qirPath((dir.Path() + "/Message0").c_str()));
    }
    void TearDown() override
    {
        delete msg;
        qirLanguage.Clear();
    }

    void Catalogue(const std::string& text)
    {
        std::string path = dir.File("English");
        ASSERT_EQ(qirScratchDir::WriteFile(path, text), 0);
        ASSERT_EQ(qirLanguage.Load(path.c_str()), 0);
    }
    static void Columns(qirConfiguration* node, std::initializer_list<std::pair<const char*, Col>> cols)
    {
        for (const auto& c : cols) {
            std::string path = c.first;
            node->Set(path.c_str(), c.second.kind, 0);
            node->Set(path.c_str(), c.second.width, 1);
            if (c.second.argument) node->Set(path.c_str(), c.second.argument, 2);
        }
    }
    std::string Line(std::initializer_list<std::pair<const char*, Col>> cols)
    {
        qirConfiguration node("Short-Header-Format");
        Columns(&node, cols);
        qirString s;
        qir_format_short_header(&s, &node, msg);
        return s.Data() ? s.Data() : "<null>";
    }
    static std::string Date(const char* format, int year, int mon, int mday, int hour, int min, int sec)
    {
        struct tm t = {};
        t.tm_year = year - 1900;
        t.tm_mon = mon - 1;
        t.tm_mday = mday;
        t.tm_hour = hour;
        t.tm_min = min;
        t.tm_sec = sec;
        time_t when = timegm(&t);
        gmtime_r(&when, &t);
        return qirShortHeader::FormatDate(format, t);
    }

    qirScratchDir dir;
    qirMsg* msg = nullptr;
};

TEST_F(ShortHeaderTest, ColumnsKeepTheirWidthsAndPositions)
{
    qirString subject("A rather long subject line");
    msg->SetSubject(&subject);
    qirAddress from("joe@example.org", "Joe Bloggs");
    msg->AddFrom(&from);

    EXPECT_EQ(Line({{"1", {"Subj", "10", nullptr}}, {"2", {"Delimiter", "3", "|x"}}, {"3", {"From", "17", nullptr}},
                    {"4", {"Number", "4", nullptr}}, {"5", {"Name", "5", "ab"}}, {"6", {"Bogus", "2", "zz"}},
                    {"7", {"To", "3", nullptr}}, {"8", {"Delimiter", "2", nullptr}}}),
              "A rather l|||joe@example.org  0   ab          ");

    // Children 1, 2 and 4: the line ends after 2; so it does at a width
    // that is not a decimal number.
    EXPECT_EQ(Line({{"1", {"Name", "2", "ab"}}, {"2", {"Name", "2", "cd"}}, {"4", {"Name", "2", "ef"}}}), "abcd");
    EXPECT_EQ(Line({{"1", {"Name", "2", "ab"}}, {"2", {"Name", "2", "cd"}}, {"3", {"Name", "x2", "ef"}},
                    {"4", {"Name", "2", "gh"}}}),
              "abcd");

    // A message without subject or sender keeps the later columns in place.
    qirMsg bare(qirPath((dir.Path() + "/Message1").c_str()));
    qirConfiguration node("Short-Header-Format");
    Columns(&node, {{"1", {"Subj", "4", nullptr}}, {"2", {"From", "3", nullptr}}, {"3", {"Name", "1", "|"}}});
    qirString s;
    qir_format_short_header(&s, &node, &bare);
    EXPECT_STREQ(s.Data(), "       |");

    qir_format_short_header(&s, nullptr, msg);
    EXPECT_EQ(s.Data(), nullptr);
    qir_format_short_header(&s, &node, nullptr);
    EXPECT_EQ(s.Data(), nullptr);
}

// Widths count characters: a UTF-8 subject is cut and padded by its
// letters, never inside one; a Latin-1 byte is one character too.
TEST_F(ShortHeaderTest, WidthsCountCharactersNotBytes)
{
    struct Case {
        const char* subject;
        const char* width;
        const char* line;
    } cases[] = {
        {"\xc3\xbc" "ber", "6", "\xc3\xbc" "ber  |"},
        {"Stra\xc3\x9f" "e", "5", "Stra\xc3\x9f|"},
        {"Stra\xc3\x9f" "e", "4", "Stra|"},
        {"\xe2\x82\xac" "uro", "2", "\xe2\x82\xac" "u|"},
        {"caf\xe9", "5", "caf\xe9 |"},
    };
    for (const Case& c : cases) {
        qirString subject(c.subject);
        msg->SetSubject(&subject);
        EXPECT_EQ(Line({{"1", {"Subj", c.width, nullptr}}, {"2", {"Name", "1", "|"}}}), c.line) << c.subject;
    }
}

TEST_F(ShortHeaderTest, WidthsAreClampedToTheLine)
{
    // A negative width is an empty column, not a step back over the line.
    EXPECT_EQ(Line({{"1", {"Name", "3", "abc"}}, {"2", {"Delimiter", "-5", "#"}}, {"3", {"Name", "-2", "zz"}},
                    {"4", {"Subj", "-100", nullptr}}, {"5", {"Name", "2", "de"}}}),
              "abcde");

    // Widths adding up past the line stop at its limit, whatever the kind.
    for (const char* kind : {"Delimiter", "Name", "Subj", "Date", "Bogus"}) {
        std::string line = Line({{"1", {"Name", "990", "x"}}, {"2", {kind, "2000000000", "%Y%Y%Y"}},
                                 {"3", {"Name", "50", "tail"}}});
        EXPECT_EQ(line.size(), size_t(qirShortHeader::LineLimit)) << kind;
    }
    std::string line = Line({{"1", {"Name", "2147483647", "a"}}, {"2", {"Name", "2147483647", "b"}}});
    EXPECT_EQ(line.size(), size_t(qirShortHeader::LineLimit));
    EXPECT_EQ(line[0], 'a');
}

TEST_F(ShortHeaderTest, DateCodes)
{
    struct Case {
        const char* format;
        int y, mo, d, h, mi, s;
        const char* want;
    } cases[] = {
        {"%H %M", 2024, 3, 5, 9, 5, 0, "9 05"},
        {"%I %p", 2024, 3, 5, 0, 30, 0, "12 AM"},
        {"%I %p", 2024, 3, 5, 11, 59, 0, "11 AM"},
        {"%I %p", 2024, 3, 5, 12, 0, 0, "12 PM"},
        {"%j", 2023, 1, 1, 0, 0, 0, "001"},
        {"%j", 2024, 12, 31, 0, 0, 0, "366"},
        {"%S", 2024, 1, 1, 0, 0, 7, "07"},
        {"%d.%m.%y %e", 2005, 1, 2, 0, 0, 0, "02.01.05 2"},
        {"%D|%x", 2005, 1, 2, 0, 0, 0, "01/02/05|01/02/05"},
        {"%C %Y", 2005, 1, 2, 0, 0, 0, "20 2005"},
        {"%r", 2005, 1, 2, 13, 4, 9, "01:04:09 PM"},
        {"%X %w", 2005, 1, 2, 13, 4, 9, "13:04:09 0"},
        {"%a %c %A %b %B", 2024, 12, 1, 0, 0, 0, "Sun Sun Sunday Dec December"},
        {"%Q%Z<", 2024, 1, 1, 0, 0, 0, "<"},
        {"100%%", 2024, 1, 1, 0, 0, 0, "100%"},
        {"ab%", 2024, 1, 1, 0, 0, 0, "ab"},
        {"first\nsecond\n%H", 2024, 1, 1, 8, 0, 0, "8"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Date(c.format, c.y, c.mo, c.d, c.h, c.mi, c.s), c.want) << c.format;

    // In the line: cut at the width, the next column straight after.
    msg->SetDate(1104624000); // 2005-01-02 00:00:00 UTC
    EXPECT_EQ(Line({{"1", {"Date", "5", "%d.%m.%Y"}}, {"2", {"Name", "1", "|"}}}), "02.01|");
    EXPECT_EQ(Line({{"1", {"Date", "4", nullptr}}, {"2", {"Name", "1", "|"}}}), "    |");
    EXPECT_EQ(Line({{"1", {"Date", "6", "long\n%y"}}, {"2", {"Name", "1", "|"}}}), "05    |");
}

TEST_F(ShortHeaderTest, CatalogueFormatsAreCheckedBeforeUse)
{
    struct Case {
        const char* am;
        const char* pm;
        const char* wantAm;
        const char* wantPm;
    } cases[] = {
        {"vorm.", "nachm.", "vorm.", "nachm."},
        {"%d am", "%02d pm %%", "12 am", "03 pm %"},
        {"%s", "%n", "AM", "PM"},
        {"%d%d", "%*d", "AM", "PM"},
        {"%ld", "%999d", "AM", "PM"},
        {"%", "%.*d", "AM", "PM"},
    };
    for (const Case& c : cases) {
        Catalogue(std::string("400 \"") + c.am + "\"\n401 \"" + c.pm + "\"\n");
        EXPECT_EQ(qirShortHeader::Meridiem(0), c.wantAm) << c.am;
        EXPECT_EQ(qirShortHeader::Meridiem(15), c.wantPm) << c.pm;
    }
    // A missing catalogue leaves its placeholder, which takes no argument.
    qirLanguage.Clear();
    EXPECT_EQ(qirShortHeader::Meridiem(1), "-?\?\?\?-");
    // Names are text, never formats.
    Catalogue("409 \"%s%n\"\n");
    EXPECT_EQ(Date("%a", 2024, 12, 1, 0, 0, 0), "%s%n");
}

TEST_F(ShortHeaderTest, RowTextIsTheTrimmedLineOrTheSender)
{
    qirConfiguration node("Short-Header-Format");
    Columns(&node, {{"1", {"Name", "6", "a\tb"}}, {"2", {"Name", "3", " \t\r"}}, {"3", {"Subj", "5", nullptr}}});
    EXPECT_STREQ(qirShortHeader(&node).RowText(msg).Data(), "a\tb");
    Columns(&node, {{"1", {"Name", "2", " "}}});
    EXPECT_STREQ(qirShortHeader(&node).RowText(msg).Data(), "");

    qirShortHeader none(nullptr);
    EXPECT_STREQ(none.RowText(msg).Data(), "");
    qirAddress from("joe@example.org", "Joe Bloggs");
    msg->AddFrom(&from);
    EXPECT_STREQ(none.RowText(msg).Data(), "Joe Bloggs <joe@example.org>");
}

TEST_F(ShortHeaderTest, ShippedConfigurationHasAWorkingLayout)
{
    qirConfiguration config;
    ASSERT_EQ(config.Load(QIR_SOURCE_DIR "/share/QIR.cfg"), 0);
    qirShortHeader format(config.Find("Short-Header-Format"));
    EXPECT_GE(format.ColumnCount(), 3);
    qirString subject("Hello");
    msg->SetSubject(&subject);
    qirAddress from("joe@example.org", "Joe");
    msg->AddFrom(&from);
    std::string line = format.Format(msg).Data();
    EXPECT_NE(line.find("Hello"), std::string::npos) << line;
    EXPECT_NE(line.find("joe@example.org"), std::string::npos) << line;

    qirLanguageGroup english;
    ASSERT_EQ(english.Load(QIR_SOURCE_DIR "/share/QIR/Languages/English"), 0);
    for (int n : {400, 401})
        EXPECT_TRUE(qirShortHeader::IsSafeIntFormat(english.Text(n))) << n;
    for (int n = 402; n <= 439; n++) EXPECT_STRNE(english.Text(n), "-?\?\?\?-") << n;
}

} // namespace
