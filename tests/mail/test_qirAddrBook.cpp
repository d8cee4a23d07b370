#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>
#include <sys/stat.h>

#include "qirAddrBook.h"
#include "qirMsg.h"
#include "qirScratchDir.h"
#include "qirSmallFileLimit.h"
#include "qirStatus.h"

namespace {

qirAddrBookEntry* MakeEntry(const char* alias, const char* name, const char* org, const char* address, int kind,
                            unsigned first, long second, long third)
{
    qirAddrBookEntry* e = new qirAddrBookEntry();
    e->SetAlias(alias);
    e->SetFullName(name);
    e->SetOrganisation(org);
    e->SetAddress(address);
    e->SetAddressKind(kind);
    e->SetNumbers(first, second, third);
    return e;
}

std::string Text(const qirString& s) { return s.Text() ? s.Text() : "<null>"; }

} // namespace

TEST(qirAddrBook, SaveAndLoadRoundTrip)
{
    qirScratchDir dir;
    std::string path = dir.File("addrbook");
    {
        qirAddrBook book(path.c_str());
        ASSERT_TRUE(book.IsLocked());
        ASSERT_EQ(book.Load(), 0); // no file yet: an empty book
        book.Append(MakeEntry("joe", "Joe Bloggs", "", "joe@example.org", 0, 4000000000u, -7, 123456789L));
        book.Append(MakeEntry("cis", "Old Friend", "Big; \"Quoted\"\tOrg", "76543,210", 1, 1, 2, 3));
        ASSERT_EQ(book.Save(), 0);
    }
    EXPECT_EQ(qirScratchDir::ReadFile(path), "joe\nJoe Bloggs\n\njoe@example.org\n0 4000000000 -7 123456789\n"
                                             "cis\nOld Friend\nBig; \"Quoted\"\tOrg\n76543,210\n1 1 2 3\n");
    // The lock went with the book.
    struct stat st;
    EXPECT_NE(stat((path + ".LOCK").c_str(), &st), 0);

    qirAddrBook book(path.c_str());
    ASSERT_EQ(book.Load(), 0);
    ASSERT_EQ(book.Count(), 2);
    qirAddrBookEntry* e = book.First();
    EXPECT_EQ(Text(e->Alias()), "joe");
    EXPECT_EQ(Text(e->Organisation()), "");
    EXPECT_EQ(e->FirstNumber(), 4000000000u);
    EXPECT_EQ(e->SecondNumber(), -7);
    EXPECT_EQ(e->ThirdNumber(), 123456789L);
    e = qirAddrBook::Next(e);
    EXPECT_EQ(Text(e->Organisation()), "Big; \"Quoted\"\tOrg");
    EXPECT_EQ(e->AddressKind(), 1);
}

TEST(qirAddrBook, LineBreaksInFieldsKeepRecordsInStep)
{
    qirScratchDir dir;
    std::string path = dir.File("addrbook");
    {
        qirAddrBook book(path.c_str());
        book.Append(MakeEntry("a\nb", "Full\r\nName  \t", "Org\n", "x@y\nz", 0, 0, 0, 0));
        book.Append(MakeEntry("second", "", "", "s@example.org", 0, 0, 0, 0));
        ASSERT_EQ(book.Save(), 0);
    }
    qirAddrBook book(path.c_str());
    ASSERT_EQ(book.Load(), 0);
    ASSERT_EQ(book.Count(), 2);
    EXPECT_EQ(Text(book.First()->Alias()), "a b");
    EXPECT_EQ(Text(book.First()->FullName()), "Full  Name");
    EXPECT_EQ(Text(book.First()->Organisation()), "Org");
    EXPECT_EQ(Text(book.First()->Address()), "x@y z");
    EXPECT_EQ(Text(book.Last()->Alias()), "second");
}

TEST(qirAddrBook, ReaderTakesExactlyFiveLines)
{
    // The second record has an empty alias and full name: blank lines right
    // after a number line belong to the next record.
    struct Case {
        const char* file;
        int status;
        int count;
        const char* lastAlias;
    };
    const Case cases[] = {
        {"a\nA\nOrg\na@x\n0 0 0 0\n\n\n\nb@x\n0 1 2 3\n", 0, 2, ""},
        {"a\nA\nOrg\na@x\n0 0 0 0\n\n\n", 0, 1, "a"},     // trailing blank lines end the file
        {"a\nA\nOrg\na@x\n0 0 0 0", 0, 1, "a"},           // no final line feed
        {"a\nA\nOrg\na@x\n0 0 0 0\nb\nB\nOrg\n", -13, 1, "a"}, // cut in the middle
        {"a\nA\nOrg\na@x\n0 0 0\n", -13, 0, nullptr},     // three numbers
        {"a\nA\nOrg\na@x\n0 0 0 0 junk\n", -13, 0, nullptr},
        {"a\nA\nOrg\na@x\n0 0 0 0\n\n\n\n\n\nstray\n", -13, 1, "a"},
        {"", 0, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        qirScratchDir dir;
        std::string path = dir.File("addrbook");
        ASSERT_EQ(qirScratchDir::WriteFile(path, c.file), 0);
        qirAddrBook book(path.c_str());
        EXPECT_EQ(book.Load(), c.status);
        EXPECT_EQ(book.Count(), c.count);
        if (c.lastAlias) {
            EXPECT_EQ(Text(book.Last()->Alias()), c.lastAlias);
        }
    }
}

TEST(qirAddrBook, LongLinesAreReadWhole)
{
    qirScratchDir dir;
    std::string path = dir.File("addrbook");
    std::string name(10000, 'n');
    {
        qirAddrBook book(path.c_str());
        book.Append(MakeEntry("long", name.c_str(), "", "l@x", 0, 0, 0, 0));
        book.Append(MakeEntry("next", "", "", "n@x", 0, 0, 0, 0));
        ASSERT_EQ(book.Save(), 0);
    }
    qirAddrBook book(path.c_str());
    ASSERT_EQ(book.Load(), 0);
    ASSERT_EQ(book.Count(), 2);
    EXPECT_EQ(Text(book.First()->FullName()), name);
    EXPECT_EQ(Text(book.Last()->Alias()), "next");
}

TEST(qirAddrBook, BookThatFailedToLoadIsNeverSavedOver)
{
    qirScratchDir dir;
    std::string path = dir.File("addrbook");
    const std::string damaged = "a\nA\nOrg\na@x\n0 0 0 0\nb\nB\n";
    ASSERT_EQ(qirScratchDir::WriteFile(path, damaged), 0);
    qirAddrBook book(path.c_str());
    EXPECT_EQ(book.Load(), qirUnreadable);
    EXPECT_EQ(book.Count(), 1);
    EXPECT_EQ(book.Save(), qirUnreadable);
    EXPECT_EQ(qirScratchDir::ReadFile(path), damaged);
}

TEST(qirAddrBook, FailedSaveLeavesTheOldFile)
{
    qirScratchDir dir;
    std::string path = dir.File("addrbook");
    const std::string old = "a\nA\nOrg\na@x\n0 0 0 0\n";
    ASSERT_EQ(qirScratchDir::WriteFile(path, old), 0);
    qirAddrBook book(path.c_str());
    ASSERT_EQ(book.Load(), 0);
    for (int i = 0; i < 100; ++i) book.Append(MakeEntry("b", "Somebody Else", "", "b@example.org", 0, 0, 0, 0));
    // The save runs in a child: it answers -99 when its reason is wrong.
    const std::string reason = "Can't write address book <" + path + ">: File too large";
    EXPECT_EQ(qirRunWithSmallFileLimit([&] {
                  qirString why;
                  int r = book.Save(&why);
                  return Text(why) == reason ? r : -99;
              }),
              qirWriteError);
    EXPECT_EQ(qirScratchDir::ReadFile(path), old);
    EXPECT_EQ(dir.Entries().size(), 2u); // the book and its lock, no temporary file

    qirAddrBook nowhere(dir.File("no/such/dir/addrbook").c_str());
    EXPECT_EQ(nowhere.Save(), qirLockNotHeld); // its lock cannot be made either
}

TEST(qirAddrBook, WithoutTheLockNothingLoadsOrSaves)
{
    qirScratchDir dir;
    std::string path = dir.File("addrbook");
    ASSERT_EQ(qirScratchDir::WriteFile(path, "a\nA\nOrg\na@x\n0 0 0 0\n"), 0);
    // Another live process holds the lock.
    ASSERT_EQ(qirScratchDir::WriteFile(path + ".LOCK", "1\n"), 0);
    qirAddrBook book(path.c_str());
    EXPECT_FALSE(book.IsLocked());
    EXPECT_EQ(book.Load(), qirLockNotHeld);
    qirString why;
    EXPECT_EQ(book.Save(&why), qirLockNotHeld);
    EXPECT_EQ(Text(why), "Another QIR holds the lock of address book <" + path + ">");
    EXPECT_EQ(book.Count(), 0);
}

TEST(qirAddrBook, FindIsExact)
{
    qirScratchDir dir;
    qirAddrBook book(dir.File("addrbook").c_str());
    book.Append(MakeEntry("Joe", "", "", "j@x", 0, 0, 0, 0));
    book.Append(MakeEntry("joe", "", "", "k@x", 0, 0, 0, 0));
    ASSERT_NE(book.Find("joe"), nullptr);
    EXPECT_EQ(Text(book.Find("joe")->Address()), "k@x");
    EXPECT_EQ(book.Find("JOE"), nullptr);
}

TEST(qirAddrBookEntry, ToAddressByKind)
{
    struct Case {
        int kind;
        const char* address;
        const char* mailbox;
    };
    const Case cases[] = {
        {0, "joe@example.org", "joe@example.org"},
        {1, "76543,210", "76543.210@compuserve.com"},
        {1, "not numbers", ""},
        {2, "2:246/1001", "Joe@f1001.n246.z2.fidonet.org"},
        {2, "nonsense", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        std::unique_ptr<qirAddrBookEntry> e(MakeEntry("j", "Joe", "", c.address, c.kind, 0, 0, 0));
        std::unique_ptr<qirAddress> a(e->ToAddress());
        EXPECT_EQ(Text(a->Mailbox()), c.mailbox);
        EXPECT_EQ(Text(a->FullName()), "Joe");
    }
}

TEST(qirAddrBookEntry, FromSender)
{
    qirAddrBookEntry e;
    e.SetFromSender(qirAddress("joe@example.org  ", "Joe Bloggs "), "Example Ltd \t");
    EXPECT_EQ(Text(e.Alias()), "joe");
    EXPECT_EQ(Text(e.FullName()), "Joe Bloggs");
    EXPECT_EQ(Text(e.Address()), "joe@example.org");
    EXPECT_EQ(Text(e.Organisation()), "Example Ltd");
    e.SetFromSender(qirAddress("localuser", nullptr), "");
    EXPECT_EQ(Text(e.Alias()), "nobody");
}

TEST(qirAddrBookEntry, FromMessage)
{
    struct Case {
        const char* header;
        const char *alias, *name, *address, *organisation;
    };
    const Case cases[] = {
        {"From: Joe Bloggs <joe@example.org>\nSubject: hi\n", "joe", "Joe Bloggs", "joe@example.org", ""},
        {"From: Joe <joe@example.org>\nReply-To: Desk <desk@example.com>\nX-Organisation: Desk Co\n"
         "Organization: First Ltd\n",
         "desk", "Desk", "desk@example.com", "First Ltd"},
        {"From: root\nX-Organization: Lab\n", "nobody", "", "root", "Lab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        qirScratchDir dir;
        qirMsg m(qirPath(dir.File("Message1").c_str()));
        std::string text = std::string(c.header) + "\nbody\n";
        FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
        ASSERT_EQ(m.ImportRFC822(in), 0);
        fclose(in);
        qirAddrBookEntry e(m);
        EXPECT_EQ(Text(e.Alias()), c.alias);
        EXPECT_EQ(Text(e.FullName()), c.name);
        EXPECT_EQ(Text(e.Address()), c.address);
        EXPECT_EQ(Text(e.Organisation()), c.organisation);
        EXPECT_EQ(e.AddressKind(), 0);
    }
}

// Senders of messages become entries; a taken alias gets " (n)" from one
// counter for the whole call, appended again while the result is taken.
TEST(qirAddrBook, AddSendersNumbersTakenAliases)
{
    qirScratchDir dir;
    qirAddrBook book(dir.File("book").c_str());
    ASSERT_EQ(book.Load(), 0);
    book.Append(MakeEntry("x", "", "", "x@old.org", 0, 0, 0, 0));
    book.Append(MakeEntry("x (1)", "", "", "x1@old.org", 0, 0, 0, 0));
    auto message = [&](const char* name, const char* text) {
        std::string t = text;
        FILE* f = fmemopen(&t[0], t.size(), "r");
        qirMsg* m = new qirMsg{qirPath(dir.File(name).c_str())};
        EXPECT_EQ(m->ImportRFC822(f), 0);
        fclose(f);
        return std::unique_ptr<qirMsg>(m);
    };
    auto a = message("a", "From: X One <x@example.org>\nSubject: a\n\nA\n");
    auto b = message("b", "From: X Two <x@example.org>\nSubject: b\n\nB\n");
    auto c = message("c", "From: y@example.org\nReply-To: Why <why@example.org>\n\nC\n");
    const qirMsg* messages[] = {a.get(), b.get(), nullptr, c.get()};
    EXPECT_EQ(book.AddSenders(messages, 4), 3);
    std::vector<std::string> got;
    for (qirAddrBookEntry* e = book.First(); e; e = qirAddrBook::Next(e))
        got.push_back(Text(e->Alias()) + "|" + Text(e->FullName()) + "|" + Text(e->Address()));
    EXPECT_EQ(got, (std::vector<std::string>{"x||x@old.org", "x (1)||x1@old.org", "x (1) (2)|X One|x@example.org",
                                             "x (3)|X Two|x@example.org", "why|Why|why@example.org"}));
}
