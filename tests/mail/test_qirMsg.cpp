// The message directory: load, save, copy, move, remove and MakeMultipart.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "qirAddress.h"
#include "qirConfiguration.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirMsgMultipartComponent.h"
#include "qirScratchDir.h"
#include "qirStatus.h"

namespace {

std::string T(const qirString& s) { return s.Text() ? s.Text() : "<null>"; }
std::string T(const qirString* s) { return s ? T(*s) : "<null>"; }

std::vector<std::string> Mailboxes(const qirList* l)
{
    std::vector<std::string> out;
    for (qirObject* o = l->First(); o; o = qirList::Next(o)) {
        const qirAddress* a = static_cast<const qirAddress*>(o);
        out.push_back(T(a->Mailbox()) + "|" + T(a->FullName()));
    }
    return out;
}

qirList* List(std::initializer_list<std::pair<const char*, const char*>> items)
{
    qirList* l = new qirList;
    for (auto& i : items) l->Append(new qirAddress(i.first, i.second));
    return l;
}
void Drop(qirList* l)
{
    l->Remove(nullptr);
    delete l;
}

struct MsgTest : ::testing::Test {
    qirScratchDir scratch;
    std::string Dir(const char* name = "Message1") { return scratch.File(name); }
};

TEST_F(MsgTest, NewDirectoryGetsAnEmptyBodyAndSavesAndLoadsBack)
{
    {
        qirMsg m(qirPath(Dir().c_str()));
        EXPECT_EQ(m.IsModified(), 1);
        ASSERT_NE(m.Body(), nullptr);
        EXPECT_EQ(T(m.Body()->Path()), Dir() + "/MsgBody.txt");
        EXPECT_EQ(m.ContentType().encoding, 1);
        EXPECT_EQ(T(m.ContentType().encodingName), "8bit");
        qirList* to = List({{"a@b.org", "A"}, {"c@d.org", nullptr}});
        m.SetTo(to);
        Drop(to);
        qirAddress from("me@x.org", "Me \"Q\" {x}");
        m.AddFrom(&from);
        qirString subject("Hello {world} \"quoted\"");
        m.SetSubject(&subject);
        m.Fields()->Add("Subject:", "Hello");
        m.SetDate(-1);
        m.SetRead(1);
        EXPECT_EQ(m.Save(), qirOK);
        EXPECT_EQ(m.IsModified(), 0);
    }
    qirMsg m(qirPath(Dir().c_str()));
    EXPECT_EQ(m.IsModified(), 0);
    EXPECT_EQ(Mailboxes(m.To()), (std::vector<std::string>{"a@b.org|A", "c@d.org|<null>"}));
    EXPECT_EQ(Mailboxes(m.From()), (std::vector<std::string>{"me@x.org|Me \"Q\" {x}"}));
    EXPECT_EQ(T(m.Subject()), "Hello {world} \"quoted\"");
    EXPECT_EQ(T(m.Fields()->FindValue("Subject:")), "Hello");
    // An unreadable date stays unreadable rather than becoming 2106.
    EXPECT_EQ(m.Date(), (time_t)-1);
    EXPECT_EQ(m.IsRead(), 1);
    ASSERT_NE(m.Body(), nullptr);
    EXPECT_EQ(T(m.Body()->Path()), Dir() + "/MsgBody.txt");
}

TEST_F(MsgTest, DatesBeyond2038SurviveASave)
{
    const time_t dates[] = {0, 1, (time_t)2147483647, (time_t)4102444800LL, (time_t)-86400};
    for (time_t d : dates) {
        {
            qirMsg m(qirPath(Dir().c_str()));
            m.SetDate(d);
            ASSERT_EQ(m.Save(), qirOK);
        }
        qirMsg m(qirPath(Dir().c_str()));
        EXPECT_EQ(m.Date(), d);
    }
}

// A recipient removed from a list must not come back from the old file, while
// keys that other writers put into "Body.PARSED" stay.
TEST_F(MsgTest, SaveReplacesAddressGroupsButKeepsForeignKeys)
{
    {
        qirMsg m(qirPath(Dir().c_str()));
        qirList* to = List({{"1@x", nullptr}, {"2@x", nullptr}, {"3@x", nullptr}});
        m.SetTo(to);
        m.SetCc(to);
        Drop(to);
        ASSERT_EQ(m.Save(), qirOK);
    }
    {
        qirConfiguration tree;
        ASSERT_EQ(tree.Load(scratch.File("Message1/Body.PARSED").c_str()), qirOK);
        tree.Set("Filter.Mark", "kept");
        ASSERT_EQ(tree.Save(scratch.File("Message1/Body.PARSED").c_str()), qirOK);
    }
    {
        qirMsg m(qirPath(Dir().c_str()));
        qirList* to = List({{"1@x", nullptr}, {"3@x", nullptr}});
        m.SetTo(to);
        Drop(to);
        qirList empty;
        m.SetCc(&empty);
        ASSERT_EQ(m.Save(), qirOK);
    }
    qirMsg m(qirPath(Dir().c_str()));
    EXPECT_EQ(Mailboxes(m.To()), (std::vector<std::string>{"1@x|<null>", "3@x|<null>"}));
    EXPECT_TRUE(Mailboxes(m.Cc()).empty());
    qirConfiguration tree;
    ASSERT_EQ(tree.Load(scratch.File("Message1/Body.PARSED").c_str()), qirOK);
    EXPECT_EQ(T(tree.Get("Filter.Mark")), "kept");
}

TEST_F(MsgTest, LoadFailuresAndDefaults)
{
    {
        qirMsg m(qirPath(Dir().c_str()));
        ASSERT_EQ(m.Save(), qirOK);
    }
    // An empty "Header.822" means no fields.
    EXPECT_EQ(qirScratchDir::ReadFile(scratch.File("Message1/Header.822")), "");
    auto setDate = [&](const char* value) {
        qirConfiguration tree;
        ASSERT_EQ(tree.Load(scratch.File("Message1/Body.PARSED").c_str()), qirOK);
        if (value) tree.Set("DATE", value);
        else tree.Remove(tree.Child("DATE"));
        ASSERT_EQ(tree.Save(scratch.File("Message1/Body.PARSED").c_str()), qirOK);
    };
    struct Case {
        const char* date;
        int status;
        time_t value;
    } cases[] = {{"12x", qirFailed, 0}, {nullptr, qirOK, 0}, {"", qirOK, 0}, {"977", qirOK, 977}};
    for (const Case& c : cases) {
        setDate(c.date);
        qirMsg m(qirPath(Dir().c_str()));
        m.SetDate(5);
        EXPECT_EQ(m.Load(), c.status) << (c.date ? c.date : "missing");
        if (c.status == qirOK) {
            EXPECT_EQ(m.Date(), c.value);
            EXPECT_EQ(m.Fields()->Count(), 0);
        }
    }
    // A body name from the file that leaves the directory is refused.
    {
        qirConfiguration tree;
        ASSERT_EQ(tree.Load(scratch.File("Message1/Body.PARSED").c_str()), qirOK);
        tree.Set("MsgBody.NAME", "../Message2");
        ASSERT_EQ(tree.Save(scratch.File("Message1/Body.PARSED").c_str()), qirOK);
        qirMsg m(qirPath(Dir().c_str()));
        EXPECT_EQ(m.Load(), qirFailed);
    }
    unlink(scratch.File("Message1/Header.822").c_str());
    qirMsg m(qirPath(Dir().c_str()));
    EXPECT_EQ(m.Load(), qirCannotOpen);
}

// Loading again must not remove the body file that it is about to read.
TEST_F(MsgTest, LoadingTwiceKeepsTheBodyFile)
{
    {
        qirMsg m(qirPath(Dir().c_str()));
        ASSERT_EQ(qirScratchDir::WriteFile(Dir() + "/MsgBody.txt", "the text\n"), 0);
        ASSERT_EQ(m.Save(), qirOK);
    }
    qirMsg m(qirPath(Dir().c_str()));
    EXPECT_EQ(m.Load(), qirOK);
    EXPECT_EQ(m.Load(), qirOK);
    EXPECT_EQ(qirScratchDir::ReadFile(Dir() + "/MsgBody.txt"), "the text\n");
    EXPECT_EQ(m.Size(), 9);
}

TEST_F(MsgTest, UnwritableDirectoryIsNeitherCreatedNorLoaded)
{
    if (geteuid() == 0) GTEST_SKIP() << "root can write any directory";
    mkdir(Dir().c_str(), 0500);
    qirMsg m(qirPath(Dir().c_str()));
    EXPECT_EQ(m.Body(), nullptr);
    chmod(Dir().c_str(), 0700);
}

TEST_F(MsgTest, CleanMessageSavesNothing)
{
    {
        qirMsg m(qirPath(Dir().c_str()));
        ASSERT_EQ(m.Save(), qirOK);
    }
    qirMsg m(qirPath(Dir().c_str()));
    unlink(scratch.File("Message1/Header.822").c_str());
    EXPECT_EQ(m.Save(), qirOK);
    EXPECT_EQ(access(scratch.File("Message1/Header.822").c_str(), F_OK), -1);
}

// A full disk while saving is an error, and the old files stay readable.
TEST_F(MsgTest, FailedWritesAreReportedAndLeaveTheOldMessage)
{
    {
        qirMsg m(qirPath(Dir().c_str()));
        m.Fields()->Add("Subject:", "old");
        ASSERT_EQ(m.Save(), qirOK);
    }
    qirMsg m(qirPath(Dir().c_str()));
    qirHeaderFields big(*m.Fields());
    big.Add("X-Big:", std::string(200000, 'x').c_str());
    m.SetFields(&big);
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = 65536;
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int r = m.Save();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(r, qirFailed);
    EXPECT_EQ(m.IsModified(), 1);
    qirMsg again(qirPath(Dir().c_str()));
    EXPECT_EQ(T(again.Fields()->FindValue("Subject:")), "old");
    EXPECT_EQ(again.Fields()->FindValue("X-Big:"), nullptr);
}

TEST_F(MsgTest, NumberMoveAndRemove)
{
    struct {
        const char* name;
        int number;
    } numbers[] = {{"Message12", 12}, {"Message0x1A", 26}, {"Message", 0}, {"Msg_abc", 0}};
    for (auto& n : numbers) EXPECT_EQ(qirMsg(qirPath(Dir(n.name).c_str())).Number(), n.number) << n.name;

    qirMsg m(qirPath(Dir("Message1").c_str()));
    ASSERT_EQ(m.Save(), qirOK);
    mkdir(Dir("Taken").c_str(), 0700);
    EXPECT_EQ(m.MoveTo(qirPath(Dir("Taken").c_str())), qirFailed);
    EXPECT_EQ(T(m.Path()), Dir("Message1"));
    EXPECT_EQ(access((Dir("Message1") + "/Header.822").c_str(), F_OK), 0);

    EXPECT_EQ(m.MoveTo(qirPath(Dir("Message7").c_str())), qirOK);
    EXPECT_EQ(T(m.Body()->Path()), Dir("Message7") + "/MsgBody.txt");
    EXPECT_EQ(m.Save(), qirOK);
    qirMsg moved(qirPath(Dir("Message7").c_str()));
    EXPECT_EQ(moved.IsModified(), 0);
    EXPECT_EQ(moved.RemoveFromDisk(), qirOK);
    EXPECT_EQ(access(Dir("Message7").c_str(), F_OK), -1);
    EXPECT_EQ(moved.RemoveFromDisk(), qirCannotOpen);
}

TEST_F(MsgTest, CopyFromCopiesDataAndBodyFiles)
{
    qirMsg source(qirPath(Dir("Message1").c_str()));
    ASSERT_EQ(qirScratchDir::WriteFile(Dir("Message1") + "/MsgBody.txt", "body\n"), 0);
    qirAddress a("a@b", "A");
    source.AddTo(&a);
    ASSERT_EQ(source.MakeMultipart(), qirOK);
    ASSERT_EQ(source.Save(), qirOK);

    qirMsg copy(qirPath(Dir("Msg_1").c_str()), &source);
    EXPECT_EQ(copy.IsModified(), 1);
    ASSERT_EQ(copy.Save(), qirOK);
    qirMsg loaded(qirPath(Dir("Msg_1").c_str()));
    EXPECT_EQ(Mailboxes(loaded.To()), (std::vector<std::string>{"a@b|A"}));
    ASSERT_NE(loaded.Body(), nullptr);
    ASSERT_TRUE(loaded.Body()->IsMultipart());
    auto* multi = static_cast<qirMsgMultipartComponent*>(loaded.Body());
    EXPECT_EQ(T(multi->Path()), Dir("Msg_1") + "/msg_body.mixed");
    ASSERT_EQ(multi->Count(), 1);
    EXPECT_EQ(qirScratchDir::ReadFile(T(multi->First()->Path())), "body\n");
}

TEST_F(MsgTest, MakeMultipartKeepsTheTextInsideTheMessageDirectory)
{
    {
        qirMsg m(qirPath(Dir().c_str()));
        ASSERT_EQ(qirScratchDir::WriteFile(Dir() + "/MsgBody.txt", "my letter\n"), 0);
        EXPECT_EQ(m.MakeMultipart(), qirOK);
        ASSERT_TRUE(m.Body()->IsMultipart());
        EXPECT_EQ(T(m.Body()->Path()), Dir() + "/QIR.Msg.Body.Mixed");
        EXPECT_EQ(T(m.Body()->ContentType().partName), "QIR.Msg.Body.Mixed");
        EXPECT_EQ(access((Dir() + "/MsgBody.txt").c_str(), F_OK), -1);
        EXPECT_EQ(m.MakeMultipart(), qirOK); // already multipart
        ASSERT_EQ(m.Save(), qirOK);
    }
    // Nothing beside the message directory.
    EXPECT_EQ(scratch.Entries(), (std::vector<std::string>{"Message1"}));
    qirMsg m(qirPath(Dir().c_str()));
    ASSERT_TRUE(m.Body() && m.Body()->IsMultipart());
    auto* multi = static_cast<qirMsgMultipartComponent*>(m.Body());
    ASSERT_EQ(multi->Count(), 1);
    EXPECT_EQ(qirScratchDir::ReadFile(T(multi->First()->Path())), "my letter\n");
    EXPECT_EQ(T(multi->First()->ContentType().type), "text");
    EXPECT_EQ(m.Size(), 10);
}

// When the text cannot be copied, the single body must stay as it was.
TEST_F(MsgTest, MakeMultipartStopsWhenTheCopyFails)
{
    qirMsg m(qirPath(Dir().c_str()));
    ASSERT_EQ(qirScratchDir::WriteFile(Dir() + "/MsgBody.txt", "precious\n"), 0);
    // A file in the way of the multipart directory makes the copy impossible.
    ASSERT_EQ(qirScratchDir::WriteFile(Dir() + "/QIR.Msg.Body.Mixed", "x"), 0);
    EXPECT_EQ(m.MakeMultipart(), qirFailed);
    ASSERT_NE(m.Body(), nullptr);
    EXPECT_FALSE(m.Body()->IsMultipart());
    EXPECT_EQ(qirScratchDir::ReadFile(Dir() + "/MsgBody.txt"), "precious\n");

    // The body file itself unreadable: the same.
    unlink((Dir() + "/QIR.Msg.Body.Mixed").c_str());
    qirMsg gone(qirPath(Dir("Message2").c_str()));
    unlink((Dir("Message2") + "/MsgBody.txt").c_str());
    EXPECT_EQ(gone.MakeMultipart(), qirFailed);
    EXPECT_FALSE(gone.Body()->IsMultipart());
    EXPECT_EQ(access((Dir("Message2") + "/QIR.Msg.Body.Mixed").c_str(), F_OK), -1);
}

TEST_F(MsgTest, MultipartLoadKeepsMissingPartsWithoutMakingThem)
{
    std::string dir = Dir() + "/QIR.Msg.Body.Mixed";
    {
        qirMsg m(qirPath(Dir().c_str()));
        ASSERT_EQ(m.MakeMultipart(), qirOK);
        ASSERT_EQ(m.Save(), qirOK);
    }
    int multi = [&] {
        qirMsg m(qirPath(Dir().c_str()));
        return static_cast<qirMsgMultipartComponent*>(m.Body())->First() ? 1 : 0;
    }();
    ASSERT_EQ(multi, 1);
    {
        qirMsg m(qirPath(Dir().c_str()));
        std::string part = T(static_cast<qirMsgMultipartComponent*>(m.Body())->First()->Path());
        unlink(part.c_str());
        qirMsg again(qirPath(Dir().c_str()));
        auto* b = static_cast<qirMsgMultipartComponent*>(again.Body());
        ASSERT_EQ(b->Count(), 1);
        EXPECT_EQ(b->First()->Size(), -1);
        EXPECT_EQ(access(part.c_str(), F_OK), -1);
    }
}

// ---------------------------------------------------------------- summaries

// A message as a fetch stores it: a folded Received line, two recipients,
// a multipart body with an attachment, and a picture.
void Imported(const std::string& dir)
{
    std::string text = "Received: from a\n\tby b\nFrom: Ann <ann@example.org>\nTo: bob@example.org, cy@example.org\n"
                       "Reply-To: list@example.org\nSubject: hello\nDate: Tue, 5 Mar 2002 14:03:09 +0100\n"
                       "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"b\"\n\n--b\n"
                       "Content-Type: text/plain\n\nthe text\n--b\nContent-Type: application/octet-stream\n"
                       "Content-Transfer-Encoding: base64\n\nAAECAwQFBgcICQ==\n--b--\n";
    FILE* in = fmemopen(&text[0], text.size(), "r");
    qirMsg m(qirPath(dir.c_str()), qirMsg::Blank());
    ASSERT_EQ(m.ImportRFC822(in), qirOK);
    ASSERT_EQ(m.Save(), qirOK);
    fclose(in);
    std::string pbm = "P4\n48 48\n";
    for (int i = 0; i < 288; i++) pbm += char(i % 6 ? 0x00 : 0xf0);
    ASSERT_EQ(qirScratchDir::WriteFile(dir + "/XFace.pbm", pbm), 0);
}

// Which file a save replaced: its inode changes with the rename.
ino_t Inode(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::string FieldsText(const qirHeaderFields* f)
{
    std::string out;
    for (qirPair* p = f->First(); p; p = qirHeaderFields::Next(p)) out += T(p->Key()) + T(p->Value()) + "\n";
    return out;
}

std::string Raster(const unsigned char* bits) { return bits ? std::string((const char*)bits, 288) : "<none>"; }

// A summary shows the listed values without reading more; every other
// accessor reads the rest and answers what a whole load answers.
TEST_F(MsgTest, SummaryReadsTheRestWhenFirstAskedFor)
{
    Imported(Dir());
    qirMsg whole(qirPath(Dir().c_str()));
    ASSERT_FALSE(whole.IsSummary());
    struct Case {
        const char* what;
        std::string (*read)(qirMsg&);
    } cases[] = {
        {"Fields", [](qirMsg& m) { return FieldsText(m.Fields()); }},
        {"To", [](qirMsg& m) { return std::to_string(Mailboxes(m.To()).size()) + Mailboxes(m.To())[1]; }},
        {"Cc", [](qirMsg& m) { return std::to_string(m.Cc()->Count()); }},
        {"ReplyTo", [](qirMsg& m) { return Mailboxes(m.ReplyTo())[0]; }},
        {"Body", [](qirMsg& m) { return std::to_string(m.Body()->IsMultipart()) + T(m.Body()->Path()); }},
        {"ContentType", [](qirMsg& m) { return T(m.ContentType().type) + "/" + T(m.ContentType().subtype); }},
        {"MimeVersion", [](qirMsg& m) { return T(m.MimeVersion()); }},
        {"Face", [](qirMsg& m) { return std::string(m.Face()->Text() ? m.Face()->Text() : "<none>"); }},
        {"Copy", [](qirMsg& m) { return FieldsText(qirMsg(m).Fields()); }},
    };
    for (const Case& c : cases) {
        qirMsg summary(qirPath(Dir().c_str()), qirMsg::Summary());
        EXPECT_TRUE(summary.IsSummary()) << c.what;
        EXPECT_EQ(Mailboxes(summary.From()), Mailboxes(whole.From()));
        EXPECT_EQ(T(summary.Subject()), "hello");
        EXPECT_EQ(summary.Date(), whole.Date());
        EXPECT_EQ(summary.Size(), whole.Size());
        EXPECT_GT(summary.Size(), 8);
        EXPECT_EQ(Raster(summary.XFaceBits()), Raster(whole.XFaceBits()));
        EXPECT_NE(summary.XFaceBits(), nullptr);
        EXPECT_EQ(summary.IsModified(), 0);
        ASSERT_TRUE(summary.IsSummary()) << c.what << ": read whole by the listed values";
        EXPECT_EQ(c.read(summary), c.read(whole)) << c.what;
        EXPECT_FALSE(summary.IsSummary()) << c.what;
        EXPECT_EQ(summary.Size(), whole.Size()) << c.what;
    }
}

// Until the rest is read, a save writes the changed flags into
// "Body.PARSED" and nothing else; a flag set before the rest is read
// survives the reading.
TEST_F(MsgTest, SummarySavesOnlyItsChangedFlags)
{
    Imported(Dir());
    std::string header = Dir() + "/Header.822", parsed = Dir() + "/Body.PARSED";
    // Not as a save writes it: a rewrite would show.
    ASSERT_EQ(qirScratchDir::WriteFile(header, "Subject: hello\n again\n"), 0);
    ino_t before = Inode(parsed);
    {
        qirMsg m(qirPath(Dir().c_str()), qirMsg::Summary());
        m.SetRead(1);
        m.SetRead(0);
        EXPECT_EQ(m.Save(), qirOK);
        EXPECT_EQ(Inode(parsed), before) << "unchanged flags were written";
        m.SetRead(1);
        EXPECT_EQ(m.Save(), qirOK);
        EXPECT_TRUE(m.IsSummary());
        EXPECT_EQ(m.IsModified(), 0);
    }
    EXPECT_NE(Inode(parsed), before);
    EXPECT_EQ(qirScratchDir::ReadFile(header), "Subject: hello\n again\n");
    {
        qirMsg m(qirPath(Dir().c_str()));
        EXPECT_EQ(m.IsRead(), 1);
        EXPECT_EQ(T(m.Subject()), "hello");
        EXPECT_EQ(Mailboxes(m.To()).size(), 2u);
        EXPECT_EQ(m.Body()->IsMultipart(), 1);
    }
    {
        qirMsg m(qirPath(Dir().c_str()), qirMsg::Summary());
        m.SetRemoved(1);
        m.SetRead(0);
        EXPECT_EQ(T(m.Fields()->Lookup("Subject:")), "hello again");
        EXPECT_EQ(m.IsRemoved(), 1);
        EXPECT_EQ(m.IsRead(), 0);
        EXPECT_EQ(m.IsModified(), 1);
        // Read whole, it is saved whole.
        EXPECT_EQ(m.Save(), qirOK);
    }
    EXPECT_EQ(qirScratchDir::ReadFile(header), "Subject:hello again\n");
    qirMsg m(qirPath(Dir().c_str()));
    EXPECT_EQ(m.IsRemoved(), 1);
    EXPECT_EQ(m.IsRead(), 0);
}

// A view reads a message whole and its save writes it whole: the body's own
// name, charset and Content-Type text survive it as a flag-only save keeps
// them.
TEST_F(MsgTest, WholeSaveKeepsEveryKeyOfAMultipartBody)
{
    std::string text = "Subject: s\nContent-Type: multipart/mixed; boundary=b; charset=utf-8; name=\"all.parts\"\n\n"
                       "--b\n\none\n--b--\n";
    {
        FILE* in = fmemopen(&text[0], text.size(), "r");
        qirMsg m(qirPath(Dir().c_str()), qirMsg::Blank());
        ASSERT_EQ(m.ImportRFC822(in), qirOK);
        ASSERT_EQ(m.Save(), qirOK);
        fclose(in);
    }
    auto keys = [&]() {
        qirConfiguration tree;
        EXPECT_EQ(tree.Load((Dir() + "/Body.PARSED").c_str()), qirOK);
        return T(tree.Get("MsgBody.SNAME")) + "|" + T(tree.Get("MsgBody.SCHARSET")) + "|"
               + T(tree.Get("MsgBody.FULLCONTENT"));
    };
    const std::string stored = keys();
    EXPECT_EQ(stored, "all.parts|utf-8|multipart/mixed; boundary=b; charset=utf-8; name=\"all.parts\"");
    {
        qirMsg m(qirPath(Dir().c_str()));
        EXPECT_EQ(T(m.Body()->ContentType().partName), "all.parts");
        EXPECT_EQ(T(m.Body()->ContentType().charset), "utf-8");
        m.SetRead(1);
        ASSERT_EQ(m.Save(), qirOK);
    }
    EXPECT_EQ(keys(), stored);
}

// A change beyond the flags reads the message whole first, and the save
// writes all of it.
TEST_F(MsgTest, SummaryChangedBeyondItsFlagsIsSavedWhole)
{
    Imported(Dir());
    int size;
    {
        qirMsg m(qirPath(Dir().c_str()), qirMsg::Summary());
        size = m.Size();
        qirString subject("changed");
        m.SetSubject(&subject);
        EXPECT_FALSE(m.IsSummary());
        EXPECT_EQ(m.Save(), qirOK);
    }
    qirMsg m(qirPath(Dir().c_str()));
    EXPECT_EQ(T(m.Subject()), "changed");
    EXPECT_EQ(Mailboxes(m.ReplyTo()), (std::vector<std::string>{"list@example.org|<null>"}));
    EXPECT_EQ(m.Size(), size);
}

// What cannot be read is never written over: a message whose header file
// is gone keeps its summary on disk through a flag change and a save.
TEST_F(MsgTest, SummaryWhoseRestCannotBeReadKeepsWhatIsOnDisk)
{
    Imported(Dir());
    unlink((Dir() + "/Header.822").c_str());
    {
        qirMsg m(qirPath(Dir().c_str()), qirMsg::Summary());
        EXPECT_EQ(T(m.Subject()), "hello");
        EXPECT_EQ(m.Complete(), qirCannotOpen);
        EXPECT_EQ(m.Fields()->Count(), 0);
        EXPECT_EQ(m.Complete(), qirFailed);
        m.SetRead(1);
        EXPECT_EQ(m.Save(), qirOK);
    }
    EXPECT_EQ(access((Dir() + "/Header.822").c_str(), F_OK), -1);
    qirConfiguration tree;
    ASSERT_EQ(tree.Load((Dir() + "/Body.PARSED").c_str()), qirOK);
    EXPECT_EQ(T(tree.Get("SUBJ")), "hello");
    EXPECT_EQ(T(tree.Get("isRead")), "1");
    EXPECT_EQ(T(tree.Get("groupFROM.0")), "ann@example.org");

    // No summary to read at all: read whole, as before.
    unlink((Dir() + "/Body.PARSED").c_str());
    qirMsg broken(qirPath(Dir().c_str()), qirMsg::Summary());
    EXPECT_FALSE(broken.IsSummary());
    EXPECT_EQ(T(broken.Subject()), "");
}

} // namespace
