// What the compose window makes of its fields: addresses parsed as a To
// field, aliases replaced by the book's full address, the subject cleaned.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "qirAddrBook.h"
#include "qirAddrBookEntry.h"
#include "qirAddress.h"
#include "qirComposeFields.h"
#include "qirScratchDir.h"
#include "qirStatus.h"

namespace {

std::string T(const qirString& s) { return s.Text() ? s.Text() : ""; }

std::vector<std::string> Formatted(const qirList& list)
{
    std::vector<std::string> out;
    for (qirObject* o = list.First(); o; o = qirList::Next(o)) out.push_back(T(static_cast<qirAddress*>(o)->Format()));
    return out;
}

TEST(qirComposeFields, CleanMakesLineBreaksBlanksAndDropsThePadding)
{
    struct Case {
        const char* text;
        const char* clean;
    } cases[] = {
        {"Hello                              ", "Hello"},
        {"   \t  Padded on both sides \t ", "Padded on both sides"},
        {"Line one\r\nBcc: evil@example.org", "Line one  Bcc: evil@example.org"},
        {"\n\r", ""},
        {"", ""},
        {nullptr, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(T(qirComposeFields::Clean(c.text)), c.clean) << (c.text ? c.text : "null");
}

TEST(qirComposeFields, AddressFieldsParseAsToFieldsOrSayWhy)
{
    struct Case {
        const char* text;
        int result;
        std::vector<std::string> addresses;
        const char* error; // start of the report
    } cases[] = {
        {"ann@example.org, Bob Smith <bob@example.org>                ", 0,
         {"ann@example.org", "Bob Smith <bob@example.org>"}, ""},
        {"                              ", 0, {}, ""},
        {"friends: ann@example.org, cy@example.org;", 0, {"ann@example.org", "cy@example.org"}, ""},
        {"bob", 0, {"bob"}, ""},
        // A line break cannot start a header of its own: the rest is
        // more text of this field, and here no address.
        {"ann@example.org\r\nBcc: evil@example.org", -1, {}, "Unexpected symbols '"},
        {"ann@example.org bob@example.org", -1, {}, "Unexpected symbols '"},
        {"<<<", -1, {}, "Unexpected symbols '"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        qirList list;
        list.Append(new qirAddress("old@example.org", nullptr));
        qirString error;
        EXPECT_EQ(qirComposeFields::ParseAddresses(c.text, &list, &error), c.result);
        EXPECT_EQ(Formatted(list), c.addresses);
        EXPECT_EQ(T(error).compare(0, strlen(c.error), c.error), 0) << T(error);
        if (c.result != 0) {
            EXPECT_NE(T(error).find(std::string("in 'TO:")), std::string::npos) << T(error);
        }
        list.Remove(nullptr);
    }
}

struct BookTest : ::testing::Test {
    qirScratchDir scratch;
    qirAddrBook* book = nullptr;
    void SetUp() override
    {
        book = new qirAddrBook(qirString(scratch.File("book").c_str()));
        Add("ann", "Ann Example", "ann@example.org", qirAddrBookEntry::Mailbox);
        Add("cs", "Carl", "71234,567", qirAddrBookEntry::CompuServe);
        Add("fido", "Joe", "2:250/1.5", qirAddrBookEntry::FidoNet);
        Add("broken", "Nobody", "not a fido address", qirAddrBookEntry::FidoNet);
    }
    void TearDown() override { delete book; }
    void Add(const char* alias, const char* name, const char* address, int kind)
    {
        qirAddrBookEntry* e = new qirAddrBookEntry;
        e->SetAlias(alias);
        e->SetFullName(name);
        e->SetAddress(address);
        e->SetAddressKind(kind);
        book->Append(e);
    }
    qirList* Parsed(const char* text)
    {
        qirList* list = new qirList;
        qirString error;
        EXPECT_EQ(qirComposeFields::ParseAddresses(text, list, &error), 0) << T(error);
        return list;
    }
};

TEST_F(BookTest, AcceptedAliasesBecomeTheEntrysFullAddress)
{
    qirList* list = Parsed("ann, cs, fido, zed@example.org");
    std::vector<std::string> asked;
    auto yes = [&](const qirAddress& typed, const qirAddrBookEntry& entry) {
        asked.push_back(T(typed.Mailbox()) + "=" + T(entry.Alias()));
        return 1;
    };
    qirString error;
    EXPECT_EQ(qirComposeFields::ReplaceAliases(list, book, yes, &error), 0);
    EXPECT_EQ(asked, (std::vector<std::string>{"ann=ann", "cs=cs", "fido=fido"}));
    EXPECT_EQ(Formatted(*list), (std::vector<std::string>{"Ann Example <ann@example.org>",
                                                          "Carl <71234.567@compuserve.com>",
                                                          "Joe <\"Joe\"@p5.f1.n250.z2.fidonet.org>", "zed@example.org"}));
    list->Remove(nullptr);
    delete list;

    // Declined: kept as typed.  No book: nothing asked.
    list = Parsed("ann");
    EXPECT_EQ(qirComposeFields::ReplaceAliases(list, book, [](const qirAddress&, const qirAddrBookEntry&) { return 0; },
                                               &error),
              0);
    EXPECT_EQ(qirComposeFields::ReplaceAliases(list, nullptr, yes, &error), 0);
    EXPECT_EQ(Formatted(*list), (std::vector<std::string>{"ann"}));
    list->Remove(nullptr);
    delete list;
}

TEST_F(BookTest, AnEntryWithoutAUsableAddressIsRefused)
{
    qirList* list = Parsed("broken");
    qirString error;
    EXPECT_EQ(qirComposeFields::ReplaceAliases(
                  list, book, [](const qirAddress&, const qirAddrBookEntry&) { return 1; }, &error),
              -1);
    EXPECT_NE(T(error).find("'broken'"), std::string::npos) << T(error);
    EXPECT_EQ(Formatted(*list), (std::vector<std::string>{"broken"}));
    list->Remove(nullptr);
    delete list;
}

TEST_F(BookTest, TheAliasQuestionFitsTheDialog)
{
    qirAddress typed("ann", nullptr);
    const char* good = "'%s' is an alias in your address book for %s. Send to %s, <%s>, instead of '%s'?";
    for (const char* format : {good, "%s only one", "%d%s%s%s%s", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(format ? format : "null");
        qirList* lines = qirComposeFields::AliasQuestion(typed, *book->First(), format);
        std::string all;
        for (qirObject* o = lines->First(); o; o = qirList::Next(o)) {
            std::string line = T(*static_cast<qirString*>(o));
            EXPECT_LE(line.size(), 40u) << line;
            all += line + " ";
        }
        EXPECT_NE(all.find("ann@example.org"), std::string::npos) << all;
        EXPECT_NE(all.find("Ann Example"), std::string::npos) << all;
        EXPECT_EQ(all.find('%'), std::string::npos) << all;
        lines->Remove(nullptr);
        delete lines;
    }
}

} // namespace
