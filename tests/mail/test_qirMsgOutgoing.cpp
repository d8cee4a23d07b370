// Outgoing mail from a message: the built header, the exported MIME text,
// the date text, reply, quote, resend and send.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "qirAddress.h"
#include "qirClock.h"
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirLanguageGroup.h"
#include "qirMailAgent.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirMsgMultipartComponent.h"
#include "qirScratchDir.h"
#include "qirStatus.h"

namespace {

const time_t march5 = 1015337000; // Tue, 5 Mar 2002 14:03:20 UTC
const time_t july3 = 1025705000;  // Wed, 3 Jul 2002 14:03:20 UTC

void SetZone(const char* zone)
{
    setenv("TZ", zone, 1);
    tzset();
}

std::string Export(qirMsg& m, int withBcc = 1)
{
    char* text = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&text, &size);
    int r = m.ExportMIME(f, withBcc);
    fclose(f);
    std::string out(text, size);
    free(text);
    EXPECT_EQ(r, qirOK);
    return out;
}

std::vector<std::string> FieldNames(const qirMsg& m)
{
    std::vector<std::string> out;
    for (qirPair* p = m.Fields()->First(); p; p = qirHeaderFields::Next(p)) out.push_back(p->Key()->Text());
    return out;
}

std::string Field(const qirMsg& m, const char* name)
{
    const qirString* v = m.Fields()->FindValue(name);
    return v && v->Text() ? v->Text() : "<none>";
}

struct OutgoingTest : ::testing::Test {
    qirScratchDir scratch;
    qirError log;
    void SetUp() override
    {
        SetZone("XST6"); // six hours west, no daylight saving
        qirFixClock(march5, 4242);
        qirConfig.Remove(nullptr);
        log.Open(scratch.File("QIR.log").c_str(), qirLogDebug, 0);
        qirLog = &log;
    }
    void TearDown() override
    {
        qirLog = nullptr;
        log.Close();
        qirConfig.Remove(nullptr);
        qirFixClock(0, 0);
        SetZone("UTC0");
    }
    std::string Log()
    {
        log.Close();
        std::string text = qirScratchDir::ReadFile(scratch.File("QIR.log"));
        log.Open(scratch.File("QIR.log").c_str(), qirLogDebug, 0);
        return text;
    }
    // A message composed here: text body with the given bytes.
    qirMsg* Composed(const char* name, const std::string& body)
    {
        qirMsg* m = new qirMsg(qirPath(scratch.File(name).c_str()));
        qirScratchDir::WriteFile(m->Body()->Path().Text(), body);
        qirAddress joe("joe@example.org", "Joe Bloggs");
        m->AddFrom(&joe);
        qirAddress ann("ann@example.org", nullptr), bob("bob@example.org", "Bob Smith");
        m->AddTo(&ann);
        m->AddTo(&bob);
        qirString subject("Lunch");
        m->SetSubject(&subject);
        m->SetDate(march5);
        return m;
    }
    // An imported message from RFC 822 text.
    qirMsg* Imported(const char* name, const std::string& text)
    {
        qirMsg* m = new qirMsg(qirPath(scratch.File(name).c_str()));
        FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
        EXPECT_EQ(m->ImportRFC822(in), qirOK);
        fclose(in);
        EXPECT_EQ(m->Save(), qirOK);
        return m;
    }
};

const char composedHeader[] =
    "From: Joe Bloggs <joe@example.org>\n"
    "Subject: Lunch\n"
    "To: ann@example.org, Bob Smith <bob@example.org>\n"
    "CC: carol@example.org\n"
    "BCC: dave@example.org\n"
    "Date: Tue, 5 Mar 2002 08:03:20 -0600 \n"
    "X-Mailer: Quorvane. version 1.0 Beta3\n"
    "Mime-Version: 1.0\n"
    "Organization: Example Ltd.\n";

TEST_F(OutgoingTest, ComposedMessageExportsItsHeaderAndBodyExactly)
{
    qirConfig.Set("Header.0", "Organization:", 0);
    qirConfig.Set("Header.0", "Example Ltd.", 1);
    qirConfig.Set("Header.1", "", 0); // no name: nothing added
    qirConfig.Set("Header.1", "ignored", 1);
    qirConfig.Set("Header.255", "X-Never:", 0);
    qirConfig.Set("Header.255", "read", 1);
    qirMsg* m = Composed("Message1", "Hello\n.\n-- \nJoe");
    qirAddress carol("carol@example.org", nullptr), dave("dave@example.org", nullptr);
    m->AddCc(&carol);
    m->AddBcc(&dave);
    ASSERT_EQ(m->BuildHeader(), qirOK);
    // Trailing blanks, a line "." and a last line without a line feed
    // survive; the text always ends with one.
    const std::string body = "Content-Type: text/plain\nContent-Transfer-Encoding: 8bit\n\nHello\n.\n-- \nJoe\n";
    EXPECT_EQ(Export(*m), composedHeader + body);

    // For an agent the Bcc field stays out of the text, and in the message.
    std::string sent = Export(*m, 0);
    std::string header = composedHeader;
    header.erase(header.find("BCC: "), strlen("BCC: dave@example.org\n"));
    EXPECT_EQ(sent, header + body);
    EXPECT_EQ(Field(*m, "BCC:"), "dave@example.org");
    delete m;
}

TEST_F(OutgoingTest, BuildHeaderTwiceKeepsOneFieldOfEachNameInTableOrder)
{
    qirMsg* m = Composed("Message1", "x\n");
    qirAddress carol("carol@example.org", nullptr);
    m->AddCc(&carol);
    m->Fields()->Add("X-Old:", "kept");
    m->BuildHeader();
    m->Cc()->Remove(nullptr); // an empty list adds nothing and leaves the old field
    m->BuildHeader();
    EXPECT_EQ(FieldNames(*m), (std::vector<std::string>{"X-Old:", "CC:", "From:", "Subject:", "To:", "Date:",
                                                        "X-Mailer:", "Mime-Version:"}));
    EXPECT_EQ(Field(*m, "To:"), "ann@example.org, Bob Smith <bob@example.org>");
    EXPECT_EQ(Field(*m, "X-Face:"), "<none>"); // no picture, no field
    delete m;
}

TEST_F(OutgoingTest, ExportWritesOneSetOfMimeHeadersOverAForwardedMultipart)
{
    qirMsg* m = Imported("Message1",
                         "From: Ann <ann@example.org>\n"
                         "MIME-Version: 1.0\n"
                         "Subject: Photos\n"
                         "Content-Type: multipart/alternative; boundary=\"OLD\"\n"
                         "Content-Transfer-Encoding: 7bit\n"
                         "\n"
                         "--OLD\n"
                         "Content-Type: text/plain\n"
                         "\n"
                         "see below\n"
                         "--OLD\n"
                         "Content-Type: application/octet-stream; name=\"a.bin\"\n"
                         "Content-Transfer-Encoding: base64\n"
                         "\n"
                         "AAEC\n"
                         "--OLD--\n");
    m->BuildHeader();
    std::string text = Export(*m);
    const std::string boundary = "*---*---*---*---Quorvane---*---*---*---*1015337000 4242";
    EXPECT_EQ(text.find("OLD"), std::string::npos) << text;
    size_t types = 0, versions = 0;
    for (size_t at = 0; (at = text.find("\nContent-Type: multipart", at)) != std::string::npos; ++at) ++types;
    for (size_t at = 0; (at = text.find("ersion: 1.0\n", at)) != std::string::npos; ++at) ++versions;
    EXPECT_EQ(types, 1u);
    EXPECT_EQ(versions, 1u);
    EXPECT_NE(text.find("Mime-Version: 1.0\nContent-Type: multipart/mixed;\n\tboundary=\"" + boundary +
                        "\"\nContent-Transfer-Encoding: 7bit\n\n--" + boundary + "\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.substr(text.size() - boundary.size() - 5), "--" + boundary + "--\n");
    // A second export makes a boundary of its own.
    std::string again = Export(*m);
    EXPECT_EQ(again.find(boundary + "\""), std::string::npos);
    delete m;
}

TEST_F(OutgoingTest, ExportOfAMessageWithoutMimeVersionAddsOne)
{
    qirMsg* m = Imported("Message1", "From: a@example.org\nSubject: old\n\nplain\n");
    EXPECT_EQ(Export(*m), "From: a@example.org\nSubject: old\nMIME-Version: 1.0\nContent-Type: text/plain\n"
                          "Content-Transfer-Encoding: 8bit\n\nplain\n");
    delete m;
}

// A line of mail holds 998 characters: a longer field is folded before
// blanks, so that unfolding gives it back; a word longer than a line
// cannot be and stays whole.
TEST_F(OutgoingTest, ExportFoldsFieldsLongerThanAMailLineAtTheirBlanks)
{
    std::string subject = "Re:";
    for (int i = 0; subject.size() < 2500; i++) subject += " item" + std::to_string(i);
    const std::string word(1200, 'x');
    qirMsg* m = Imported("Message1", ("From: a@example.org\nSubject: " + subject + "\nX-Word: " + word + "\n\nplain\n").c_str());
    std::string out = Export(*m);
    std::string header = out.substr(0, out.find("\n\n") + 1), unfolded;
    size_t longest = 0;
    for (size_t at = 0, nl; (nl = header.find('\n', at)) != std::string::npos; at = nl + 1)
        if (header.compare(at, 7, "X-Word:") != 0) longest = std::max(longest, nl - at);
    EXPECT_LE(longest, 998u);
    for (size_t i = 0; i < header.size(); i++)
        if (!(header[i] == '\n' && i + 1 < header.size() && header[i + 1] == ' ')) unfolded += header[i];
    EXPECT_NE(unfolded.find("\nSubject: " + subject + "\n"), std::string::npos) << header;
    EXPECT_NE(header.find("\nX-Word: " + word + "\n"), std::string::npos);
    EXPECT_EQ(out.rfind("From: a@example.org\nSubject: Re: item0 item1 ", 0), 0u);
    delete m;
}

TEST_F(OutgoingTest, FormatDateWritesTheOffsetInForceAtTheDate)
{
    struct Case {
        const char* zone;
        time_t when;
        const char* text;
    } cases[] = {
        {"XST6", march5, "Tue, 5 Mar 2002 08:03:20 -0600 "},
        {"IST-5:30", march5, "Tue, 5 Mar 2002 19:33:20 +0530 "},
        {"UTC0", march5, "Tue, 5 Mar 2002 14:03:20 +0000 "},
        // A zone with a daylight-saving rule: standard offset in winter.
        {"CET-1CEST,M3.5.0,M10.5.0/3", march5, "Tue, 5 Mar 2002 15:03:20 +0100 "},
        {"CET-1CEST,M3.5.0,M10.5.0/3", july3, "Wed, 3 Jul 2002 16:03:20 +0200 (DST)"},
        {"NST3:30", march5, "Tue, 5 Mar 2002 10:33:20 -0330 "},
    };
    for (const Case& c : cases) {
        SetZone(c.zone);
        EXPECT_EQ(std::string(qirMsg::FormatDate(nullptr, c.when).Text()), c.text) << c.zone;
    }
    qirMsg* m = Composed("Message1", "");
    SetZone("UTC0");
    EXPECT_EQ(std::string(qirMsg::FormatDate(m, 0).Text()), "Tue, 5 Mar 2002 14:03:20 +0000 ");
    delete m;
}

TEST_F(OutgoingTest, ReplySubjectsAndRecipients)
{
    struct Case {
        const char* subject;
        const char* reply;
    } cases[] = {
        {"RE: lunch", "RE: lunch"}, {"Re: lunch", "Re: lunch"}, {"re:x", "re:x"},
        {"Report", "Re: Report"},   {"", "Re: "},              {"Re", "Re: Re"},
    };
    int n = 0;
    for (const Case& c : cases) {
        qirMsg* source = Composed(("Source" + std::to_string(n)).c_str(), "x\n");
        qirString s(c.subject);
        source->SetSubject(&s);
        qirMsg reply(qirPath(scratch.File(("Reply" + std::to_string(n++)).c_str()).c_str()));
        EXPECT_EQ(reply.MakeReply(source, 0), qirOK);
        EXPECT_EQ(std::string(reply.Subject()->Text()), c.reply) << c.subject;
        EXPECT_EQ(reply.To()->Count(), 1);
        delete source;
    }
    // Reply-To wins over From.
    qirMsg* source = Imported("Source", "From: Joe <joe@example.org>\nReply-To: list@example.org\nSubject: s\n\nx\n");
    qirMsg reply(qirPath(scratch.File("Reply").c_str()));
    reply.MakeReply(source, 0);
    ASSERT_EQ(reply.To()->Count(), 1);
    EXPECT_EQ(std::string(static_cast<qirAddress*>(reply.To()->First())->Mailbox().Text()), "list@example.org");
    EXPECT_EQ(reply.MakeReply(nullptr, 0), qirNotOpen);
    delete source;
}

TEST_F(OutgoingTest, SenderInitials)
{
    struct Case {
        const char* mailbox;
        const char* name;
        const char* initials;
    } cases[] = {
        {"joe@example.org", "Joe Bloggs", "JB"},
        {"cher@example.org", "Cher", "Cher"},
        {"jb@example.org", nullptr, "jb"},
        {"localonly", nullptr, "localonly"},
        {"x@example.org", "Trailing ", "T"},
        {nullptr, nullptr, "<nobody>"},
    };
    int n = 0;
    for (const Case& c : cases) {
        qirMsg m(qirPath(scratch.File(("M" + std::to_string(n++)).c_str()).c_str()));
        qirAddress a(c.mailbox, c.name);
        m.AddFrom(&a);
        EXPECT_EQ(std::string(qirMsg::SenderInitials(&m).Text()), c.initials);
    }
    qirMsg empty(qirPath(scratch.File("Empty").c_str()));
    EXPECT_EQ(std::string(qirMsg::SenderInitials(&empty).Text()), "<nobody>");
}

TEST_F(OutgoingTest, QuotingPrefixesEveryLineAndListsAttachments)
{
    qirConfig.Set("Reply.HeaderFormatString", "%s wrote on %s:\n");
    qirConfig.Set("Reply.QuottingString", "%s> ");
    qirMsg* source = Imported("Source",
                              "From: Joe Bloggs <joe@example.org>\n"
                              "Date: Tue, 5 Mar 2002 14:03:20 +0000\n"
                              "Subject: s\n"
                              "MIME-Version: 1.0\n"
                              "Content-Type: multipart/mixed; boundary=\"B\"\n\n"
                              "--B\nContent-Type: text/plain\n\nfirst\n\n-- \nJoe\n"
                              "--B\nContent-Type: image/gif;\n\tname=\"a.gif\"\nContent-Transfer-Encoding: base64\n\n"
                              "R0lGODlh\n"
                              "--B\nContent-Type: application/pdf; name=\"b.pdf\"\nContent-Transfer-Encoding: base64\n\n"
                              "JVBERg==\n--B--\n");
    // The shipped catalogue's line for an attachment, on the message as a
    // reply finds it: loaded from its directory.
    ASSERT_EQ(qirLanguage.Load(QIR_BUILD_DATA "/QIR/Languages/English"), qirOK);
    qirMsg stored(source->Path());
    qirMsg reply(qirPath(scratch.File("Reply").c_str()));
    qirScratchDir::WriteFile(reply.Body()->Path().Text(), "old draft text\n");
    ASSERT_EQ(reply.QuoteOriginal(&stored), qirOK);
    qirLanguage.Clear();
    std::string text = qirScratchDir::ReadFile(reply.Body()->Path().Text());
    std::string expected = "JB == Joe Bloggs <joe@example.org> wrote on Tue, 5 Mar 2002 08:03:20 -0600 :\n"
                           "JB> first\nJB> \nJB> -- \nJB> Joe\nJB> \nJB> \n";
    ASSERT_EQ(text.substr(0, expected.size()), expected) << text;
    // Two attachments: a prefix line and one quoted line each, naming the
    // part's content and its size.
    std::string rest = text.substr(expected.size());
    EXPECT_EQ(rest, "JB> Attachment: image/gif; name=\"a.gif\" (6 bytes)\nJB> \n"
                    "JB> Attachment: application/pdf; name=\"b.pdf\" (4 bytes)\n")
        << rest;

    // An enriched source is quoted as plain text.
    qirMsg* rich = Imported("Rich", "From: cher@example.org\nSubject: r\nMIME-Version: 1.0\n"
                                    "Content-Type: text/enriched\n\n<bold>Hi</bold> there\n");
    qirConfig.Set("Reply.HeaderFormatString", "");
    qirConfig.Set("Reply.QuottingString", "> ");
    ASSERT_EQ(reply.QuoteOriginal(rich), qirOK);
    EXPECT_EQ(qirScratchDir::ReadFile(reply.Body()->Path().Text()), "> Hi there\n");
    delete rich;
    delete source;
}

TEST_F(OutgoingTest, QuotingASourceWhoseTextIsGoneKeepsTheOldText)
{
    qirMsg* source = Composed("Source", "text\n");
    unlink(source->Body()->Path().Text());
    qirMsg reply(qirPath(scratch.File("Reply").c_str()));
    qirScratchDir::WriteFile(reply.Body()->Path().Text(), "draft\n");
    EXPECT_EQ(reply.QuoteOriginal(source), qirCannotOpen);
    EXPECT_EQ(qirScratchDir::ReadFile(reply.Body()->Path().Text()), "draft\n");
    EXPECT_NE(Log().find("E ERROR(<qirMsg>,"), std::string::npos);
    delete source;
}

// A listed message (a summary) whose "Header.822" is gone cannot be read
// whole: no letter, reply, resent copy or copy is made from what is left.
TEST_F(OutgoingTest, NothingIsMadeOfAMessageThatCannotBeReadWhole)
{
    delete Imported("Source", "From: Joe <joe@example.org>\nSubject: s\nMessage-Id: <s@x>\n\ntext\n");
    ASSERT_EQ(unlink(scratch.File("Source/Header.822").c_str()), 0);
    qirMsg source(qirPath(scratch.File("Source").c_str()), qirMsg::Summary());
    ASSERT_STREQ(source.Subject()->Text(), "s") << "its summary reads";
    EXPECT_NE(source.Whole(), qirOK);
    std::string text;
    {
        char* buf = nullptr;
        size_t size = 0;
        FILE* out = open_memstream(&buf, &size);
        EXPECT_NE(source.ExportMIME(out), qirOK);
        fclose(out);
        text.assign(buf, size);
        free(buf);
    }
    EXPECT_EQ(text, "");
    qirMsg reply(qirPath(scratch.File("Reply").c_str()));
    EXPECT_NE(reply.MakeReply(&source, 1), qirOK);
    EXPECT_TRUE(reply.To()->IsEmpty());
    EXPECT_STREQ(reply.Subject()->Text(), "");
    qirMsg resent(qirPath(scratch.File("Resent").c_str()));
    EXPECT_NE(resent.MakeResend(&source), qirOK);
    EXPECT_STREQ(resent.Subject()->Text(), "");
    qirMsg copy(qirPath(scratch.File("Copy").c_str()));
    EXPECT_NE(copy.CopyFrom(&source), qirOK);
    EXPECT_STREQ(copy.Subject()->Text(), "");
}

TEST_F(OutgoingTest, ResendCopiesTheSourceAndAddsResentFields)
{
    qirMsg* source = Composed("Source", "forward me\n");
    source->BuildHeader();
    source->Save();
    qirMsg fwd(qirPath(scratch.File("Fwd").c_str()));
    qirAddress me("me@example.org", "Me Myself");
    fwd.AddFrom(&me);
    ASSERT_EQ(fwd.MakeResend(source), qirOK);
    EXPECT_EQ(std::string(fwd.Subject()->Text()), "Lunch  (fwd)");
    EXPECT_EQ(fwd.To()->Count(), 0);
    EXPECT_EQ(Field(fwd, "Resent-From:"), "Me Myself <me@example.org>");
    EXPECT_EQ(Field(fwd, "Resent-Date:"), "Tue, 5 Mar 2002 08:03:20 -0600 ");
    EXPECT_EQ(Field(fwd, "Resent-Reply-To:"), "<none>");
    EXPECT_EQ(std::string(static_cast<qirAddress*>(fwd.From()->First())->Mailbox().Text()), "joe@example.org");
    EXPECT_EQ(qirScratchDir::ReadFile(fwd.Body()->Path().Text()), "forward me\n");

    EXPECT_EQ(fwd.MakeResend(nullptr), qirNotOpen);
    // A source whose body cannot be copied is not forwarded empty.
    unlink(source->Body()->Path().Text());
    qirMsg broken(qirPath(scratch.File("Broken").c_str()));
    EXPECT_EQ(broken.MakeResend(source), qirFailed);
    EXPECT_NE(Log().find("E Error loading from msg"), std::string::npos);
    delete source;
}

// Counts what it is handed.
struct CountingAgent : qirMailAgent {
    int sent = 0;
    int Send(qirMsg*) override { return ++sent, qirOK; }
};

TEST_F(OutgoingTest, SendReencodesEightBitTextMatchingTheNameIgnoringCase)
{
    struct Case {
        const char* setting;
        int code;
        const char* name;
        int logged;
    } cases[] = {
        {"Quoted-Printable", qirEncQuotedPrintable, "quoted-printable", 0},
        {"BASE64", qirEncBase64, "base64", 0},
        {"x-unknown", qirEnc7bit, "8bit", 1},
        {"", qirEnc7bit, "8bit", 1},
    };
    int n = 0;
    for (const Case& c : cases) {
        qirConfig.Set("Default8BitEncoding", c.setting);
        qirMsg* m = Composed(("M" + std::to_string(n++)).c_str(), "caf\xc3\xa9\n");
        CountingAgent agent;
        EXPECT_EQ(m->Send(&agent), qirOK);
        EXPECT_EQ(agent.sent, 1);
        EXPECT_EQ(m->Body()->ContentType().encoding, c.code) << c.setting;
        EXPECT_EQ(std::string(m->Body()->ContentType().encodingName.Text()), c.name) << c.setting;
        EXPECT_EQ(Log().find("Default8BitEncoding") != std::string::npos, c.logged != 0) << c.setting;
        // Sent is what is kept.
        qirMsg back(qirPath(scratch.File(("M" + std::to_string(n - 1)).c_str()).c_str()));
        EXPECT_EQ(back.Body()->ContentType().encoding, c.code);
        EXPECT_EQ(Field(back, "Date:"), "Tue, 5 Mar 2002 08:03:20 -0600 ");
        delete m;
        log.Close();
        unlink(scratch.File("QIR.log").c_str());
        log.Open(scratch.File("QIR.log").c_str(), qirLogDebug, 0);
    }
    // A 7bit label over 8-bit text is never left behind.
    qirConfig.Set("Default8BitEncoding", "nonsense");
    qirMsg* m = Composed("Labelled", "\xe9t\xe9\n");
    m->Body()->ContentType().encodingName = "7bit";
    m->Send(nullptr);
    EXPECT_EQ(std::string(m->Body()->ContentType().encodingName.Text()), "8bit");
    delete m;
}

TEST_F(OutgoingTest, SendFillsDefaultsAndFailsWhenTheSaveFails)
{
    qirMsg* m = new qirMsg(qirPath(scratch.File("Draft").c_str()));
    CountingAgent agent;
    EXPECT_EQ(m->Send(&agent), qirOK);
    EXPECT_EQ(m->From()->Count(), 1);
    EXPECT_EQ(m->Date(), march5);
    delete m;

    m = Composed("Doomed", "text\n");
    // The directory is replaced by a plain file: nothing can be saved.
    std::string dir = scratch.File("Doomed");
    std::string command = "rm -rf '" + dir + "'";
    ASSERT_EQ(system(command.c_str()), 0);
    qirScratchDir::WriteFile(dir, "not a directory");
    EXPECT_LT(m->Send(&agent), 0);
    EXPECT_EQ(agent.sent, 1); // never handed on
    delete m;
}

} // namespace
