// Import of RFC 822 and MIME text into a message directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "qirHostileNames.h"
#include "qirAddress.h"
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
    for (qirObject* o = l->First(); o; o = qirList::Next(o)) out.push_back(T(static_cast<const qirAddress*>(o)->Mailbox()));
    return out;
}

// "mailbox/name" per address, a null name shown as "-".
std::vector<std::string> Addresses(const qirList* l)
{
    std::vector<std::string> out;
    for (qirObject* o = l->First(); o; o = qirList::Next(o)) {
        const qirAddress* a = static_cast<const qirAddress*>(o);
        out.push_back(T(a->Mailbox()) + "/" + (a->FullName().Text() ? a->FullName().Text() : "-"));
    }
    return out;
}

struct ImportTest : ::testing::Test {
    qirScratchDir scratch;
    std::string dir = scratch.File("Message1");

    // Imports, saves and loads back the text.
    // Set: into a directory made for the message, as a fetch imports.
    int fresh = 0;

    std::unique_ptr<qirMsg> Import(const std::string& text, int expect = qirOK)
    {
        {
            std::unique_ptr<qirMsg> made(fresh ? new qirMsg(qirPath(dir.c_str()), qirMsg::Blank())
                                               : new qirMsg(qirPath(dir.c_str())));
            qirMsg& m = *made;
            FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
            EXPECT_EQ(m.ImportRFC822(in), expect);
            fclose(in);
            if (expect != qirOK) return nullptr;
            EXPECT_EQ(m.Save(), qirOK);
        }
        return std::unique_ptr<qirMsg>(new qirMsg(qirPath(dir.c_str())));
    }
    // The stored leaves, depth first: "type/subtype=bytes".
    static void Leaves(qirMsgComponent* c, std::vector<std::string>* out)
    {
        if (c->IsMultipart()) {
            auto* m = static_cast<qirMsgMultipartComponent*>(c);
            for (qirMsgComponent* p = m->First(); p; p = qirMsgMultipartComponent::Next(p)) Leaves(p, out);
            return;
        }
        out->push_back(T(c->ContentType().type) + "/" + T(c->ContentType().subtype) + "="
                       + qirScratchDir::ReadFile(T(c->Path())));
    }
    static std::vector<std::string> Leaves(qirMsg* m)
    {
        std::vector<std::string> out;
        if (m && m->Body()) Leaves(m->Body(), &out);
        return out;
    }
};

TEST_F(ImportTest, AddressesSubjectDateAndReplyTo)
{
    auto m = Import("From: A <a@x.org>\n"
                    "Sender: s@x.org\n"
                    "To: t1@y, \"T Two\" <t2@y>\n"
                    "Cc: c@y (See)\n"
                    "Bcc: b@y\n"
                    "Subject: Re: the\n  plan\n"
                    "Bad Name: ignored\n"
                    "Date: Fri, 4 May 2001 14:05:44 -0400\n"
                    "\n"
                    "hello\n");
    // An imported message keeps To, Cc and Bcc together in its TO list.
    EXPECT_EQ(Mailboxes(m->To()), (std::vector<std::string>{"t1@y", "t2@y", "c@y", "b@y"}));
    EXPECT_TRUE(m->Cc()->IsEmpty());
    EXPECT_TRUE(m->Bcc()->IsEmpty());
    EXPECT_EQ(Mailboxes(m->From()), (std::vector<std::string>{"a@x.org", "s@x.org"}));
    EXPECT_EQ(Mailboxes(m->ReplyTo()), (std::vector<std::string>{"a@x.org", "s@x.org"}));
    EXPECT_EQ(T(m->Subject()), "Re: the  plan");
    // The field after the unparsable one is still read.
    EXPECT_EQ(m->Date(), (time_t)988999544);
    EXPECT_EQ(m->Fields()->Count(), 8);
    EXPECT_EQ(Leaves(m.get()), (std::vector<std::string>{"text/plain=hello\n"}));
    EXPECT_EQ(T(m->Body()->Path().Extension()), "txt");
}

TEST_F(ImportTest, UnknownMonthGivesMinusOne)
{
    auto m = Import("Date: 4 Foo 2001 10:00 GMT\nReply-To: r@x\nFrom: f@x\n\nx");
    EXPECT_EQ(m->Date(), (time_t)-1);
    EXPECT_EQ(Mailboxes(m->ReplyTo()), (std::vector<std::string>{"r@x"}));
}

TEST_F(ImportTest, SingleBodiesAreDecodedIntoFilesNamedByType)
{
    struct Case {
        const char* name;
        const char* headers;
        std::string body;
        std::string stored;
        const char* extension;
    } cases[] = {
        {"text unchanged", "Content-Type: text/plain\n", std::string("a=3D\r\n\0b\n", 9),
         std::string("a=3D\r\n\0b\n", 9), "txt"},
        {"quoted-printable", "Content-Type: text/plain\nContent-Transfer-Encoding: Quoted-Printable\n",
         "caf=C3=A9 =\nok\n", "caf\xC3\xA9 ok\n", "txt"},
        {"base64 image", "Content-Type: image/gif\nContent-Transfer-Encoding: base64\n", "R0lG\nODlh\n", "GIF89a",
         "gif"},
        // A subtype from mail is limited like a file name.
        {"hostile subtype", "Content-Type: application/../../x\nContent-Transfer-Encoding: base64\n", "eHk=\n", "xy",
         ""},
    };
    for (const Case& c : cases) {
        auto m = Import(std::string(c.headers) + "\n" + c.body);
        const std::string& stored = c.stored;
        ASSERT_EQ(Leaves(m.get()).size(), 1u) << c.name;
        EXPECT_EQ(qirScratchDir::ReadFile(T(m->Body()->Path())), stored) << c.name;
        if (*c.extension) {
            EXPECT_EQ(T(m->Body()->Path().Extension()), c.extension) << c.name;
        }
        EXPECT_EQ(T(m->Body()->Path().Dirname()), dir) << c.name;
        m->RemoveFromDisk();
    }
}

TEST_F(ImportTest, HeaderLineWithoutColonDoesNotSwallowTheBody)
{
    auto m = Import("Subject: s\nnot a field\nTo: x@y\n\nbody\n");
    EXPECT_EQ(T(m->Subject()), "s");
    EXPECT_EQ(Leaves(m.get()), (std::vector<std::string>{"text/plain=not a field\nTo: x@y\n\nbody\n"}));
}

TEST_F(ImportTest, MultipartPartsAreSplitAtExactBoundaryLines)
{
    auto m = Import("Content-Type: multipart/alternative; boundary=\"b1\"\n"
                    "\n"
                    "preamble --b1 mentioned\n"
                    "--b1\n"
                    "Content-Type: text/plain\n"
                    "\n"
                    "first\n"
                    "\n"
                    "--b1 \t\r\n"
                    "Content-Type: text/html\n"
                    "Subject: not a part field\n"
                    "Content-Transfer-Encoding: base64\n"
                    "\n"
                    "PGI+\n"
                    "--b1x\n"
                    "--b1--\n"
                    "epilogue\n");
    ASSERT_TRUE(m->Body()->IsMultipart());
    // Stored as multipart/mixed whatever the message declared.
    EXPECT_EQ(T(m->Body()->ContentType().subtype), "mixed");
    // The line end before a separator belongs to the separator; a line that
    // only starts like one is text.
    EXPECT_EQ(Leaves(m.get()), (std::vector<std::string>{"text/plain=first\n", "text/html=<b>"}));
}

TEST_F(ImportTest, NestedMultipartKeepsItsOwnBoundary)
{
    auto m = Import("Content-Type: multipart/mixed; boundary=outer\n"
                    "\n"
                    "--outer\n"
                    "Content-Type: multipart/alternative; boundary=inner\n"
                    "\n"
                    "--inner\n"
                    "\n"
                    "plain\n"
                    "--inner\n"
                    "Content-Type: text/html\n"
                    "\n"
                    "<p>html</p>\n"
                    "--inner--\n"
                    "inner epilogue\n"
                    "--outer\n"
                    "Content-Type: application/pdf; name=doc.pdf\n"
                    "Content-Transfer-Encoding: base64\n"
                    "\n"
                    "JVBERg==\n"
                    "--outer--\n");
    EXPECT_EQ(Leaves(m.get()),
              (std::vector<std::string>{"text/plain=plain", "text/html=<p>html</p>", "application/pdf=%PDF"}));
}

// Names from mail never reach outside the multipart directory nor replace
// the directory's own files; the name as received stays the part name,
// except for a name an earlier part took: the part is known by its file.
TEST_F(ImportTest, HostilePartNamesStayInsideTheDirectory)
{
    std::vector<const char*> names(std::begin(qirHostilePartNames), std::end(qirHostilePartNames));
    names.insert(names.end(), {"same.txt", "same.txt"});
    std::string text = "Content-Type: multipart/mixed; boundary=B\n\n";
    for (const char* n : names)
        text += std::string("--B\nContent-Type: text/plain; name=\"") + n
                + "\"\nContent-Disposition: attachment; filename=\"" + n + "\"\n\n" + "data of " + n + "\n";
    text += "--B--\n";
    for (int fetched : {0, 1}) {
        SCOPED_TRACE(fetched ? "a directory made for it" : "an existing message");
        fresh = fetched;
        dir = scratch.File(fetched ? "Message2" : "Message1");
        auto m = Import(text);
        auto* multi = static_cast<qirMsgMultipartComponent*>(m->Body());
        ASSERT_EQ(multi->Count(), 8);
        std::vector<std::string> seen;
        int i = 0;
        for (qirMsgComponent* p = multi->First(); p; p = qirMsgMultipartComponent::Next(p), ++i) {
            std::string path = T(p->Path());
            EXPECT_EQ(T(p->Path().Dirname()), T(multi->Path())) << names[i];
            std::string base = T(p->Path().Basename());
            EXPECT_NE(base[0], '.') << names[i];
            EXPECT_NE(base, "Body.PARSED");
            EXPECT_EQ(base.find_first_of(";| `~/"), std::string::npos) << base;
            EXPECT_EQ(qirScratchDir::ReadFile(path), std::string("data of ") + names[i]) << names[i];
            if (*names[i] && i < 7) {
                EXPECT_EQ(T(p->ContentType().partName), names[i]);
            }
            seen.push_back(base);
        }
        EXPECT_EQ(seen[6], "same.txt");
        EXPECT_NE(seen[7], "same.txt");
        EXPECT_EQ(T(multi->Part(7)->ContentType().partName), seen[7]);
    }
    // Nothing was written beside the message directories.
    EXPECT_EQ(scratch.Entries(), (std::vector<std::string>{"Message1", "Message2"}));
}

TEST_F(ImportTest, FailuresOfTheBody)
{
    // A multipart without a boundary, or without one separator line, is
    // kept whole as text rather than lost.
    auto whole = Import("Content-Type: multipart/mixed\n\n--x\n\ny\n");
    EXPECT_EQ(Leaves(whole.get()), (std::vector<std::string>{"text/plain=--x\n\ny\n"}));
    whole = Import("Content-Type: multipart/mixed; boundary=q\n\nno parts\n--qq\n");
    EXPECT_EQ(Leaves(whole.get()), (std::vector<std::string>{"text/plain=no parts\n--qq\n"}));
    // a missing closing boundary ends with the last part
    auto m = Import("Content-Type: multipart/mixed; boundary=q\n\n--q\n\nlast\n");
    EXPECT_EQ(Leaves(m.get()), (std::vector<std::string>{"text/plain=last\n"}));
}

// Forms of real mail that other clients read: the examples of RFC 5322
// and what widespread mailers write.

TEST_F(ImportTest, EmptyBoundaryKeepsEveryLine)
{
    // No separator can be told: nothing may end the text early.
    const std::string body = "Before the line.\n--\nAfter it.\n----\n\n--\nend\n";
    auto m = Import("From: a@example.org\nContent-Type: multipart/mixed; boundary=\"\"\n\n" + body);
    EXPECT_EQ(Leaves(m.get()), (std::vector<std::string>{"text/plain=" + body}));
    // A part that is a multipart without a boundary of its own runs to the
    // enclosing separator, as one text part.
    for (const char* inner : {"multipart/alternative; boundary=\"\"", "multipart/alternative"}) {
        m->RemoveFromDisk();
        m = Import(std::string("Content-Type: multipart/mixed; boundary=B\n\n--B\nContent-Type: ") + inner
                   + "\n\ninner text\n--\n\n--B\nContent-Type: text/plain\n\nsecond\n--B--\n");
        EXPECT_EQ(Leaves(m.get()), (std::vector<std::string>{"text/plain=inner text\n--\n", "text/plain=second"}))
            << inner;
    }
}

TEST_F(ImportTest, UnquotedBoundaryHoldingAnEqualsSign)
{
    auto m = Import("MIME-Version: 1.0\n"
                    "Content-Type: multipart/mixed;\n"
                    "\tboundary=----=_NextPart_000_0012_01C2A9A6.5B2D5E40\n"
                    "\n"
                    "This is a multi-part message in MIME format.\n"
                    "\n"
                    "------=_NextPart_000_0012_01C2A9A6.5B2D5E40\n"
                    "Content-Type: text/plain;\n\tcharset=\"iso-8859-1\"\n"
                    "Content-Transfer-Encoding: 7bit\n"
                    "\n"
                    "Hello\n"
                    "------=_NextPart_000_0012_01C2A9A6.5B2D5E40\n"
                    "Content-Type: application/octet-stream;\n\tname=report.bin\n"
                    "Content-Transfer-Encoding: base64\n"
                    "Content-Disposition: attachment;\n\tfilename=report.bin\n"
                    "\n"
                    "AAEC\n"
                    "------=_NextPart_000_0012_01C2A9A6.5B2D5E40--\n");
    EXPECT_EQ(Leaves(m.get()),
              (std::vector<std::string>{"text/plain=Hello", std::string("application/octet-stream=\0\1\2", 28)}));
    auto* multi = static_cast<qirMsgMultipartComponent*>(m->Body());
    ASSERT_EQ(multi->Count(), 2);
    EXPECT_EQ(T(multi->Next(multi->First())->ContentType().partName), "report.bin");
}

TEST_F(ImportTest, AddressFormsOfTheStandardsExamples)
{
    // Comments inside and around an angle address, a group spread over
    // lines with comments, an empty group, a folded date.
    auto m = Import("From: Pete(A wonderful \\) chap) <pete(his account)@silly.test(his host)>\n"
                    "To:A Group(Some people)\n"
                    "     :Chris Jones <c@(Chris's host.)public.example>,\n"
                    "         joe@example.org,\n"
                    "  John <jdoe@one.test> (my dear friend); (the end of the group)\n"
                    "Cc:(Empty list)(start)Hidden recipients  :(nobody(that I know))  ;\n"
                    "Date: Thu,\n"
                    "      13\n"
                    "        Feb\n"
                    "          1969\n"
                    "      23:32\n"
                    "               -0330 (Newfoundland Time)\n"
                    "Message-ID:              <testabcd.1234@silly.test>\n"
                    "\n"
                    "Testing.\n");
    EXPECT_EQ(Addresses(m->From()), (std::vector<std::string>{"pete@silly.test/Pete"}));
    EXPECT_EQ(Addresses(m->To()), (std::vector<std::string>{"c@public.example/Chris Jones", "joe@example.org/-",
                                                            "jdoe@one.test/John"}));
    EXPECT_EQ(m->Date(), (time_t)-27723480);

    // The obsolete route and empty list elements; blanks around a full stop
    // of the domain.
    m->RemoveFromDisk();
    m = Import("From: Joe Q. Public <john.q.public@example.com>\n"
               "To: Mary Smith <@node.test:mary@example.net>, , jdoe@test  . example\n"
               "Cc: <@a.test,,@b.test:ann@example.org>\n"
               "\n"
               "x\n");
    EXPECT_EQ(Addresses(m->From()), (std::vector<std::string>{"john.q.public@example.com/Joe Q. Public"}));
    EXPECT_EQ(Addresses(m->To()), (std::vector<std::string>{"mary@example.net/Mary Smith", "jdoe@test.example/-",
                                                            "ann@example.org/-"}));

    // A comment the field ends inside keeps the address (and the name it
    // holds so far).
    m->RemoveFromDisk();
    m = Import("From: ann@example.org (\nTo: bob@example.org (Bob Example\n\nx\n");
    EXPECT_EQ(Addresses(m->From()), (std::vector<std::string>{"ann@example.org/-"}));
    EXPECT_EQ(Addresses(m->To()), (std::vector<std::string>{"bob@example.org/Bob Example"}));
}

// White space before the colon of the first field (RFC 5322, A.6.3).
TEST_F(ImportTest, FirstFieldWithABlankBeforeItsColon)
{
    auto m = Import("From : John Doe <jdoe@machine.example>\n"
                    "To    : Mary Smith <mary@example.net>\n"
                    "Subject     : Saying Hello\n"
                    "\n"
                    "This is a message just to say hello.\n");
    EXPECT_EQ(Addresses(m->From()), (std::vector<std::string>{"jdoe@machine.example/John Doe"}));
    EXPECT_EQ(T(m->Fields()->FindValue("From :")), "John Doe <jdoe@machine.example>");
    EXPECT_EQ(m->Fields()->Count(), 3);
}

TEST_F(ImportTest, DateWithAOneDigitHour)
{
    auto m = Import("From: John Doe <jdoe@machine.example>\nDate: Fri, 21 Nov 1997 9:55:06 -0600\n\nx\n");
    EXPECT_EQ(m->Date(), (time_t)880127706);
}

TEST_F(ImportTest, ExportWritesEveryPartBetweenBoundaryLines)
{
    auto m = Import("Content-Type: multipart/mixed; boundary=B\n\n--B\n\none\n--B\n"
                    "Content-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n\nAAEC\n--B--\n");
    char* buf = nullptr;
    size_t len = 0;
    FILE* out = open_memstream(&buf, &len);
    EXPECT_EQ(m->Body()->ExportBody(out, "ZZ"), qirOK);
    fclose(out);
    std::string s(buf, len);
    free(buf);
    EXPECT_EQ(s.rfind("--ZZ\nContent-Type: text/plain\nContent-Transfer-Encoding: 8bit\n\none\n--ZZ\n", 0), 0u) << s;
    EXPECT_NE(s.find("Content-Transfer-Encoding: base64\n\nAAEC\n--ZZ--\n"), std::string::npos) << s;

    // What was exported imports back to the same parts.
    std::string again = "Content-Type: multipart/mixed; boundary=ZZ\n\n" + s;
    m = Import(again);
    EXPECT_EQ(Leaves(m.get()), (std::vector<std::string>{"text/plain=one", std::string("application/octet-stream=\0\1\2", 28)}));
}

// Entries of a directory and its subdirectories, as relative paths.
void Tree(const std::string& dir, const std::string& prefix, std::vector<std::string>* out)
{
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        out->push_back(prefix + n);
        struct stat st;
        if (lstat((dir + "/" + n).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) Tree(dir + "/" + n, prefix + n + "/", out);
    }
    closedir(d);
    std::sort(out->begin(), out->end());
}

// A new message directory is written without temporary files, and it is no
// message until its "Body.PARSED" is in place, written last: a save that
// fails before leaves a directory that does not load.
TEST_F(ImportTest, NewMessageIsNoMessageUntilItsBodyParsedIsIn)
{
    const std::string text = "Subject: s\nContent-Type: multipart/mixed; boundary=B\n\n--B\n\none\n--B\n"
                             "Content-Type: application/octet-stream; name=a.bin\nContent-Transfer-Encoding: base64\n\n"
                             "AAEC\n--B--\n";
    {
        qirMsg m(qirPath(dir.c_str()));
        FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
        ASSERT_EQ(m.ImportRFC822(in), qirOK);
        fclose(in);
        // In the way of the last file: the save fails.
        ASSERT_EQ(mkdir((dir + "/Body.PARSED").c_str(), 0700), 0);
        EXPECT_NE(m.Save(), qirOK);
        EXPECT_NE(qirMsg(qirPath(dir.c_str())).Load(), qirOK);
        // The next save goes the careful way over what the first one left.
        ASSERT_EQ(rmdir((dir + "/Body.PARSED").c_str()), 0);
        EXPECT_EQ(m.Save(), qirOK);
    }
    std::vector<std::string> entries;
    Tree(dir, "", &entries);
    EXPECT_EQ(entries, (std::vector<std::string>{"Body.PARSED", "Header.822", "Part_1.mixed", "Part_1.mixed/Body.PARSED",
                                                 "Part_1.mixed/Part_1.txt", "Part_1.mixed/a.bin"}));
    qirMsg m(qirPath(dir.c_str()));
    EXPECT_EQ(T(m.Subject()), "s");
    EXPECT_EQ(Leaves(&m), (std::vector<std::string>{"text/plain=one", std::string("application/octet-stream=\0\1\2", 28)}));

    // Imported again into the saved message: files are replaced through
    // temporary ones, and none is left over.
    {
        qirMsg again(qirPath(dir.c_str()));
        FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
        ASSERT_EQ(again.ImportRFC822(in), qirOK);
        fclose(in);
        EXPECT_EQ(again.Save(), qirOK);
    }
    entries.clear();
    Tree(dir, "", &entries);
    for (const std::string& e : entries) EXPECT_EQ(e.find(".tmp"), std::string::npos) << e;
}

} // namespace
