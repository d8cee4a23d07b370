// The SMTP agent against a real SMTP server (aiosmtpd), and against a
// server that does not greet.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "qirAddress.h"
#include "qirClock.h"
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirSMTPAgent.h"
#include "qirSMTPSink.h"
#include "qirScratchDir.h"
#include "qirStatus.h"

#include "qirMailTestText.h"

namespace {

struct SMTPTest : ::testing::Test {
    qirScratchDir scratch;
    qirError log;
    std::string whole; // every line read by Log so far
    void SetUp() override
    {
        if (!qirSMTPSink::Available()) GTEST_SKIP() << "no aiosmtpd for /usr/bin/python3";
        setenv("TZ", "UTC0", 1);
        qirFixClock(1015337000, 7);
        log.Open(scratch.File("QIR.log").c_str(), qirLogDebug, 0);
        qirLog = &log;
    }
    void TearDown() override
    {
        qirLog = nullptr;
        log.Close();
        qirFixClock(0, 0);
    }
    std::string Log()
    {
        log.Close();
        std::string text = qirScratchDir::ReadFile(scratch.File("QIR.log"));
        log.Open(scratch.File("QIR.log").c_str(), qirLogDebug, 0);
        whole += text;
        return text;
    }
    // The verbs of the commands sent, in order, from the debug lines.
    static std::vector<std::string> Commands(const std::string& log)
    {
        std::vector<std::string> out;
        for (size_t at = 0; (at = log.find("D SMTP: CMD=", at)) != std::string::npos; ++at) {
            size_t start = at + 12, end = log.find_first_of(" \n", start);
            out.push_back(log.substr(start, end - start));
        }
        return out;
    }
    qirMsg* Message(const char* name, const std::string& body, std::vector<const char*> to = {"ann@example.org"})
    {
        qirMsg* m = new qirMsg(qirPath(scratch.File(name).c_str()));
        qirScratchDir::WriteFile(m->Body()->Path().Text(), body);
        qirAddress joe("joe@example.org", "Joe Bloggs");
        m->AddFrom(&joe);
        for (const char* t : to) {
            qirAddress a(t, nullptr);
            m->AddTo(&a);
        }
        qirString subject(name);
        m->SetSubject(&subject);
        m->SetDate(1015337000);
        m->BuildHeader();
        return m;
    }
};

TEST_F(SMTPTest, DeliversTheExportedTextAndTheWholeEnvelope)
{
    for (int multiline : {0, 1}) {
        qirSMTPSink sink(multiline ? std::vector<std::string>{"--multiline"} : std::vector<std::string>{});
        ASSERT_TRUE(sink.Running());
        const std::string body = "First line\n.\n..two dots\n.leading dot\ntrailing blanks  \n-- \n"
                                 "cr inside\r of a line\nlast line without a line feed";
        qirMsg* m = Message(multiline ? "Multi1" : "Message1", body);
        qirAddress carol("carol@example.org", "Carol"), dave("dave@example.org", nullptr);
        m->AddCc(&carol);
        m->AddBcc(&dave);
        m->BuildHeader();
        qirMsg* second = Message(multiline ? "Multi2" : "Message2", "second\n", {"bob@example.org"});
        {
            qirSMTPAgent agent("127.0.0.1", sink.PortText().c_str());
            ASSERT_EQ(agent.Send(m), qirOK) << Log();
            ASSERT_EQ(agent.Send(second), qirOK) << Log();
        }
        std::vector<qirSinkMessage> got = sink.WaitFor(2, 5);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0].from, "joe@example.org");
        EXPECT_EQ(got[0].recipients, (std::vector<std::string>{"ann@example.org", "carol@example.org", "dave@example.org"}));
        EXPECT_EQ(got[0].text, Export(*m));
        EXPECT_EQ(got[0].text.find("BCC:"), std::string::npos);
        EXPECT_NE(got[0].raw.find("\r\n..two dots\r\n.leading dot\r\ntrailing blanks  \r\n-- \r\ncr inside\r of a line\r\n"
                                  "last line without a line feed\r\n"),
                  std::string::npos)
            << got[0].raw;
        EXPECT_EQ(got[1].recipients, (std::vector<std::string>{"bob@example.org"}));
        EXPECT_EQ(got[1].text, Export(*second));
        std::string text = Log();
        EXPECT_NE(text.find("D SMTP: CMD=MAIL FROM:<joe@example.org>\n"), std::string::npos);
        // No RSET: neither transaction follows one that failed.
        EXPECT_EQ(Commands(text), (std::vector<std::string>{"HELO", "MAIL", "RCPT", "RCPT", "RCPT", "DATA", ".",
                                                             "MAIL", "RCPT", "DATA", ".", "QUIT"}));
        EXPECT_NE(text.find("D SMTP: CMD=RCPT TO:<dave@example.org>\n"), std::string::npos);
        EXPECT_NE(text.find("D SMTP: CMD=QUIT\n"), std::string::npos);
        EXPECT_EQ(text.find("E "), std::string::npos) << text; // 221 to QUIT is not an error
        delete m;
        delete second;
    }
}

// A letter too large to hold in memory goes out from a temporary file,
// just as exactly.
TEST_F(SMTPTest, AVeryLargeLetterIsSentWhole)
{
    qirSMTPSink sink;
    ASSERT_TRUE(sink.Running());
    std::string body;
    for (int i = 0; body.size() <= (9u << 20); ++i) body += "." + std::to_string(i) + " a line of a long letter\n";
    qirMsg* m = Message("Large", body);
    {
        qirSMTPAgent agent("127.0.0.1", sink.PortText().c_str());
        ASSERT_EQ(agent.Send(m), qirOK) << Log();
    }
    std::vector<qirSinkMessage> got = sink.WaitFor(1, 20);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0].text == Export(*m)) << got[0].text.size() << " bytes";
    delete m;
}

TEST_F(SMTPTest, RefusalsAreReportedAndAnswered)
{
    qirSMTPSink sink({"--refuse", "bob@example.org", "--defer", "later@example.org"});
    ASSERT_TRUE(sink.Running());
    qirSMTPAgent agent("127.0.0.1", sink.PortText().c_str());

    // One refused recipient: the others get it, and the caller is told.
    qirMsg* partly = Message("Partly", "x\n", {"bob@example.org", "ann@example.org"});
    EXPECT_EQ(agent.Send(partly), qirRecipientRefused);
    EXPECT_NE(std::string(agent.ErrorText().Text()).find("<bob@example.org>: 550 5.1.1"), std::string::npos)
        << agent.ErrorText().Text();
    EXPECT_NE(Log().find("E SMTP: 550 5.1.1 <bob@example.org>: no such user\n"), std::string::npos);
    std::vector<qirSinkMessage> got = sink.WaitFor(1, 5);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].recipients, (std::vector<std::string>{"ann@example.org"}));

    // Nobody accepted: no DATA; final for 5xx, not for 4xx.
    qirMsg* nobody = Message("Nobody", "x\n", {"bob@example.org"});
    EXPECT_EQ(agent.Send(nobody), qirSMTPRefused);
    EXPECT_EQ(agent.IsPermanentFailure(), 1);
    qirMsg* deferred = Message("Deferred", "x\n", {"later@example.org"});
    EXPECT_EQ(agent.Send(deferred), qirSMTPRefused);
    EXPECT_EQ(agent.IsPermanentFailure(), 0);

    // No sender: nothing is sent at all.
    qirMsg* anonymous = Message("Anonymous", "x\n");
    anonymous->From()->Remove(nullptr);
    EXPECT_EQ(agent.Send(anonymous), qirNoSender);
    EXPECT_NE(Log().find("E SMTP: NO Sender.\n"), std::string::npos);

    // The session still works after all of that.
    qirMsg* fine = Message("Fine", "fine\n");
    EXPECT_EQ(agent.Send(fine), qirOK);
    EXPECT_EQ(sink.WaitFor(2, 5).size(), 2u);
    // RSET only after a transaction left without its text.
    Log();
    EXPECT_EQ(Commands(whole), (std::vector<std::string>{"HELO", "MAIL", "RCPT", "RCPT", "DATA", ".", "MAIL", "RCPT",
                                                          "RSET", "MAIL", "RCPT", "RSET", "MAIL", "RCPT", "DATA", "."}));
    for (qirMsg* m : {partly, nobody, deferred, anonymous, fine}) delete m;
}

TEST_F(SMTPTest, RefusedDataIsFinal)
{
    qirSMTPSink sink({"--refuse-data"});
    ASSERT_TRUE(sink.Running());
    qirSMTPAgent agent("127.0.0.1", sink.PortText().c_str());
    qirMsg* m = Message("Message1", "x\n");
    EXPECT_EQ(agent.Send(m), qirSMTPRefused);
    EXPECT_EQ(agent.IsPermanentFailure(), 1);
    EXPECT_EQ(std::string(agent.ErrorText().Text()), "SMTP: 554 5.6.0 message refused");
    delete m;
}

// A server that answers the greeting with 421 and records what it gets.
struct BusyServer {
    int listener = -1;
    int port = 0;
    std::string received;
    std::thread thread;
    BusyServer()
    {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, (sockaddr*)&a, sizeof a);
        listen(listener, 1);
        socklen_t n = sizeof a;
        getsockname(listener, (sockaddr*)&a, &n);
        port = ntohs(a.sin_port);
        thread = std::thread([this] {
            int c = accept(listener, nullptr, nullptr);
            const char greeting[] = "421 busy, come back later\r\n";
            send(c, greeting, sizeof greeting - 1, 0);
            char buf[512];
            ssize_t got;
            while ((got = recv(c, buf, sizeof buf, 0)) > 0) received.append(buf, got);
            close(c);
        });
    }
    ~BusyServer()
    {
        if (thread.joinable()) thread.join();
        if (listener >= 0) close(listener);
    }
};

TEST_F(SMTPTest, AFailedConnectionSendsNothingMoreNotEvenQuit)
{
    BusyServer busy;
    {
        qirSMTPAgent agent("127.0.0.1", std::to_string(busy.port).c_str());
        qirMsg* m = Message("Message1", "x\n");
        EXPECT_EQ(agent.Send(m), qirConnectionFailed);
        delete m;
    }
    busy.thread.join();
    EXPECT_EQ(busy.received, "");
    EXPECT_NE(Log().find("E SMTP: 421 busy, come back later\n"), std::string::npos);

    // Nobody listening at all.
    close(busy.listener);
    busy.listener = -1;
    qirSMTPAgent agent("127.0.0.1", std::to_string(busy.port).c_str());
    qirMsg* m = Message("Message2", "x\n");
    EXPECT_EQ(agent.Send(m), qirConnectionFailed);
    EXPECT_EQ(std::string(agent.ErrorText().Text()), "SMTP: Communication Error");
    delete m;
}

} // namespace
