// The POP3 client against a scripted server: faults, fallbacks and line
// handling that a real server does not show on demand.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "QIRPOP3.h"
#include "qirFakePOP3.h"
#include "qirObject.h"
#include "qirStatus.h"

namespace {

const size_t piece = 2063; // what one read of the reply buffer holds

std::string Text(QIRPOP3& pop, int index)
{
    int length = 0;
    char* text = pop.Retrieve(index, &length);
    std::string out = text ? std::string(text, length) : "<null>";
    delete[] text;
    return out;
}

using Scripted = qirScriptedPOP3;

TEST(QIRPOP3, Greetings)
{
    const struct {
        const char* greeting;
        int status;
    } cases[] = {
        {"+OK hello\r\n", 0},
        {"-ERR busy\r\n", qirPOP3Refused},
        {"* OK imap, not pop\r\n", qirConnectionFailed},
        {"+ok lower case\r\n", qirConnectionFailed},
    };
    for (const auto& c : cases) {
        Scripted s({"Subject: a\n\nbody\n"}, c.greeting);
        {
            QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
            EXPECT_EQ(pop.Status(), c.status) << c.greeting;
        }
        // Refused: the dialogue still ends with QUIT. Garbled: nothing more is sent.
        EXPECT_EQ(s.server.Count("QUIT"), c.status == qirConnectionFailed ? 0 : 1) << c.greeting;
        if (c.status == qirConnectionFailed) {
            EXPECT_TRUE(s.server.Commands().empty());
        }
    }
}

TEST(QIRPOP3, NobodyListening)
{
    std::string port = qirFakePOP3Server::ClosedPort();
    QIRPOP3 pop("127.0.0.1", port.c_str(), "user", "secret");
    EXPECT_EQ(pop.Status(), qirConnectionFailed);
    EXPECT_EQ(pop.Count(), 0);
    EXPECT_EQ(pop.Noop(), qirConnectionFailed);
}

TEST(QIRPOP3, LoginAndListing)
{
    Scripted s({"Subject: one\n\n1\n", "Subject: two\n\n2\n"});
    {
        QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
        ASSERT_EQ(pop.Status(), 0);
        EXPECT_EQ(pop.Count(), 2);
        EXPECT_EQ(std::string(pop.Info(1)->Id()), "uid2");
        EXPECT_EQ(pop.Size(0), (int)qirFakeMailbox::Listed(s.box.messages[0]).size());
        EXPECT_EQ(pop.TotalSize(), pop.Size(0) + pop.Size(1));
        EXPECT_EQ(pop.Info(-1), nullptr);
        EXPECT_EQ(pop.IsDeleted(7), 1);
        EXPECT_EQ(pop.Size(7), 0);
    }
    EXPECT_EQ(s.server.Commands(),
              (std::vector<std::string>{"USER user", "PASS secret", "STAT", "LIST", "UIDL", "QUIT"}));

    Scripted wrong({"Subject: one\n\n1\n"});
    QIRPOP3 pop("127.0.0.1", wrong.server.Port(), "user", "guess");
    EXPECT_EQ(pop.Status(), qirPOP3Refused);
    EXPECT_EQ(pop.Count(), 0);
}

TEST(QIRPOP3, EmptyMailboxSendsNoList)
{
    Scripted s({});
    {
        QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
        EXPECT_EQ(pop.Status(), 0);
        EXPECT_EQ(pop.Count(), 0);
    }
    EXPECT_EQ(s.server.Count("LIST"), 0);
}

// A user name or password can neither overflow the command nor carry a
// second command in it.
TEST(QIRPOP3, UnsafeCredentialsAreRefused)
{
    const std::string cases[] = {std::string(400, 'u'), "user\r\nDELE 1", "user\nDELE 1"};
    for (const std::string& user : cases) {
        Scripted s({"Subject: a\n\nb\n"});
        {
            QIRPOP3 pop("127.0.0.1", s.server.Port(), user.c_str(), "secret");
            EXPECT_EQ(pop.Status(), qirBadValue);
        }
        EXPECT_EQ(s.server.Count("USER"), 0);
        EXPECT_EQ(s.server.Count("DELE"), 0);
    }
    Scripted s({"Subject: a\n\nb\n"});
    QIRPOP3 pop("127.0.0.1", s.server.Port(), std::string(62, 'u').c_str(), std::string(200, 'p').c_str());
    EXPECT_EQ(pop.Status(), qirPOP3Refused); // sent whole, refused by the server
}

TEST(QIRPOP3, DotStuffingOnlyAtLineStarts)
{
    // The wire text is given raw, so a boundary of the reply buffer can be
    // put just before a "." that is not at a line start.
    const struct {
        std::string wire, text;
    } cases[] = {
        {"..\r\n..x\r\n...\r\n.\r\n", ".\n.x\n..\n"},
        {"a\r\n\r\n.\r\n", "a\n\n"},
        {std::string(piece, 'a') + ".\r\nnext\r\n.\r\n", std::string(piece, 'a') + ".\nnext\n"},
        {std::string(piece, 'a') + "..b\r\n.\r\n", std::string(piece, 'a') + "..b\n"},
        {std::string(piece - 1, 'a') + "\r\n..c\r\n.\r\n", std::string(piece - 1, 'a') + "\n.c\n"},
        {std::string(piece - 1, 'a') + "\rb\r\n.\r\n", std::string(piece - 1, 'a') + "\rb\n"},
        {std::string(3 * piece + 7, 'z') + "\r\n.\r\n", std::string(3 * piece + 7, 'z') + "\n"},
        {"lf only\n.\n", "lf only\n"},
        {std::string("nul\0byte\r\n.\r\n", 13), std::string("nul\0byte\n", 9)},
    };
    for (const auto& c : cases) {
        Scripted s({"x"});
        s.override = [&](const std::string& cmd, qirFakeReply* r) {
            if (cmd != "RETR 1")
                return false;
            r->text = "+OK\r\n" + c.wire;
            return true;
        };
        QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
        ASSERT_EQ(pop.Status(), 0);
        EXPECT_EQ(Text(pop, 0), c.text) << c.wire.substr(0, 40);
        EXPECT_EQ(pop.Noop(), 0) << "out of step after " << c.wire.substr(0, 40);
    }
}

// However the stream ends before the "." line, the message is not whole.
TEST(QIRPOP3, CutMessageIsAFailure)
{
    const std::string cases[] = {
        "",
        "Subject: cut\r\n\r\nhalf a bo",
        "Subject: cut\r\n\r\nwhole lines only\r\n",
        "Subject: cut\r\n\r\nno end\r\n.",
        std::string(piece, 'a') + ".\r\n",
        "Subject: cut\r\n\r\n" + std::string(10000, 'b'),
    };
    for (const std::string& wire : cases) {
        for (int toFile = 0; toFile < 2; ++toFile) {
            Scripted s({"x", "y"});
            s.override = [&](const std::string& cmd, qirFakeReply* r) {
                if (cmd != "RETR 1")
                    return false;
                r->text = "+OK\r\n" + wire;
                r->close = true;
                return true;
            };
            {
                QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
                ASSERT_EQ(pop.Status(), 0);
                if (toFile) {
                    FILE* f = tmpfile();
                    EXPECT_EQ(pop.RetrieveTo(0, f), qirConnectionFailed) << wire.substr(0, 30);
                    fclose(f);
                } else {
                    EXPECT_EQ(Text(pop, 0), "<null>") << wire.substr(0, 30);
                }
                EXPECT_EQ(pop.Status(), qirConnectionFailed);
                EXPECT_EQ(pop.Remove(1), qirConnectionFailed);
                EXPECT_EQ(pop.Retrieve(1), nullptr);
            }
            // Nothing after the drop: no DELE, no QUIT.
            EXPECT_EQ(s.server.Commands().back(), "RETR 1");
        }
    }
}

TEST(QIRPOP3, RefusedRetrieveKeepsTheConnection)
{
    Scripted s({"a\n", "b\n"});
    s.override = [](const std::string& cmd, qirFakeReply* r) {
        if (cmd != "RETR 1")
            return false;
        r->text = "-ERR message locked\r\n";
        return true;
    };
    {
        QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
        EXPECT_EQ(pop.Retrieve(0), nullptr);
        EXPECT_EQ(pop.Status(), qirPOP3Refused);
        FILE* f = tmpfile();
        EXPECT_EQ(pop.RetrieveTo(0, f), qirPOP3Refused);
        fclose(f);
        EXPECT_EQ(Text(pop, 1), "b\n");
    }
    EXPECT_EQ(s.server.Count("QUIT"), 1);
}

// Retrievals asked ahead: each answer goes to its own message, also when
// one is refused, one is never taken, or another command comes between.
TEST(QIRPOP3, RetrievalsAskedAheadStayInStep)
{
    Scripted s({"a\n", "b\n.. dot\n", "c\n", "d\n"});
    s.override = [](const std::string& cmd, qirFakeReply* r) {
        if (cmd != "RETR 2")
            return false;
        r->text = "-ERR message locked\r\n";
        return true;
    };
    s.box.pipelining = true;
    {
        QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
        ASSERT_EQ(pop.CanPipeline(), 1);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(pop.RequestRetrieve(i), 0);
        EXPECT_EQ(Text(pop, 0), "a\n");
        EXPECT_EQ(Text(pop, 1), "<null>");
        EXPECT_EQ(pop.Status(), qirPOP3Refused);
        // The third is passed over: its answer is read and dropped before
        // the NOOP's.
        EXPECT_EQ(pop.Noop(), 0);
        EXPECT_EQ(Text(pop, 3), "d\n");
        EXPECT_EQ(pop.RequestRetrieve(2), 0);
        EXPECT_EQ(Text(pop, 2), "c\n");
    }
    EXPECT_EQ(s.server.Count("QUIT"), 1);
    EXPECT_GT(s.server.Ahead(), 0);

    // Without PIPELINING (CAPA refused) nothing is asked ahead.
    s.box.pipelining = false;
    QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
    EXPECT_EQ(pop.CanPipeline(), 0);
    EXPECT_EQ(Text(pop, 2), "c\n");
}

TEST(QIRPOP3, FailedWriteDrainsTheMessage)
{
    Scripted s({"first\n", "second\n"});
    QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
    FILE* readOnly = fopen("/dev/null", "r");
    ASSERT_NE(readOnly, nullptr);
    EXPECT_EQ(pop.RetrieveTo(0, readOnly), qirWriteError);
    fclose(readOnly);
    EXPECT_EQ(Text(pop, 1), "second\n");
}

TEST(QIRPOP3, MessageLargerThanListed)
{
    std::string big = "Subject: big\n\n";
    for (int i = 0; i < 20000; ++i)
        big += "line " + std::to_string(i) + "\n";
    Scripted s({big});
    s.override = [](const std::string& cmd, qirFakeReply* r) {
        if (cmd != "LIST")
            return false;
        r->text = "+OK\r\n1 1\r\n.\r\n";
        return true;
    };
    QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
    EXPECT_EQ(pop.Size(0), 1);
    EXPECT_EQ(Text(pop, 0), big);
}

TEST(QIRPOP3, DeleteAndReset)
{
    Scripted s({"a\n", "b\n", "c\n"});
    {
        QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
        EXPECT_EQ(pop.Remove(2), 0);
        EXPECT_EQ(pop.IsDeleted(2), 1);
        EXPECT_EQ(pop.Size(2), 0);
        EXPECT_EQ(pop.Remove(2), qirNotFound);
        EXPECT_EQ(pop.Remove(3), qirNotFound);
        EXPECT_EQ(pop.UniqueId(2), nullptr);
        EXPECT_EQ(pop.Reset(), 0);
        EXPECT_EQ(pop.IsDeleted(2), 0);
        EXPECT_EQ(pop.Remove(0), 0);
        // A refused DELE still marks the record: the server may have acted.
        s.override = [](const std::string& cmd, qirFakeReply* r) {
            if (cmd != "DELE 2")
                return false;
            r->text = "-ERR no\r\n";
            return true;
        };
        EXPECT_EQ(pop.Remove(1), qirPOP3Refused);
        EXPECT_EQ(pop.IsDeleted(1), 1);
        const char* id = pop.UniqueId(2);
        ASSERT_NE(id, nullptr);
        EXPECT_STREQ(id, "uid3\r\n");
    }
    EXPECT_EQ(s.server.Count("DELE 3"), 1);
    EXPECT_EQ(s.server.Count("DELE 1"), 1);
    EXPECT_EQ(s.server.Commands().back(), "QUIT");
}

TEST(QIRPOP3, RecordsAreAddressedByNumber)
{
    Scripted s({"a\n", "b\n", "c\n"});
    s.override = [](const std::string& cmd, qirFakeReply* r) {
        if (cmd == "LIST")
            r->text = "+OK\r\n1 10\r\n3 30\r\n2000000000 5\r\ngarbage\r\n3 99\r\n.\r\n";
        else if (cmd == "UIDL")
            r->text = "+OK\r\n3 third\r\n7 nobody\r\nnot a line\r\n1\r\n2000000000 far\r\n.\r\n";
        else
            return false;
        return true;
    };
    QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
    ASSERT_EQ(pop.Status(), 0);
    EXPECT_EQ(pop.Count(), 4);
    EXPECT_EQ(pop.Info(1), nullptr);
    ASSERT_NE(pop.Info(2), nullptr);
    EXPECT_EQ(pop.Info(2)->Size(), 30); // the first record of that number
    EXPECT_STREQ(pop.Info(2)->Id(), "third");
    EXPECT_EQ(pop.Info(0)->Id(), nullptr);
    ASSERT_NE(pop.Info(1999999999), nullptr);
    EXPECT_STREQ(pop.Info(1999999999)->Id(), "far");
}

TEST(QIRPOP3, OverlongLinesStayInStep)
{
    Scripted s({"a\n", "b\n"}, "+OK " + std::string(5000, 'g') + "\r\n");
    s.override = [](const std::string& cmd, qirFakeReply* r) {
        if (cmd != "UIDL")
            return false;
        // An identifier cut by the buffer is dropped, and its tail, though
        // it begins with ".", neither ends the list nor counts as a line.
        r->text = "+OK\r\n1 " + std::string(piece - 2, 'x') + ".\r\n2 good\r\n.\r\n";
        return true;
    };
    QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
    ASSERT_EQ(pop.Status(), 0);
    EXPECT_EQ(pop.Info(0)->Id(), nullptr);
    EXPECT_STREQ(pop.Info(1)->Id(), "good");
    EXPECT_EQ(Text(pop, 1), "b\n");
}

TEST(QIRPOP3, IdentifierFallbacks)
{
    const std::vector<std::string> messages = {
        "From: a\nMessage-Id: <one@x>\n\nbody\n",
        "From: b\nMESSAGE-ID: <two@x>\n\nbody\n",
        "From: c\nMessage-ID:\n\t<three@x>\n\nbody\n",
        "From: d\nSubject: none\n\nMessage-Id: <in-the-body@x>\n",
        "From: e\nMessage-Id: unbracketed\n\nbody\n",
        "From: f\nMessage-Identity: <not-this@x>\nMessage-Id: <six@x>\n\nbody\n",
    };
    {
        // XTND XLST: the text between the brackets.
        Scripted s(messages);
        s.box.uidl = false;
        s.box.xtnd = true;
        s.box.ids = {"x1@host", "x2@host"};
        QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
        ASSERT_EQ(pop.Status(), 0);
        EXPECT_STREQ(pop.Info(0)->Id(), "x1@host");
        EXPECT_STREQ(pop.Info(5)->Id(), "uid6");
        EXPECT_EQ(s.server.Count("TOP"), 0);
    }
    {
        // TOP: the Message-Id field of the header, ignoring case.
        Scripted s(messages);
        s.box.uidl = false;
        s.override = [](const std::string& cmd, qirFakeReply* r) {
            if (cmd != "TOP 2 1")
                return false;
            r->text = "-ERR not this one\r\n";
            return true;
        };
        QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
        ASSERT_EQ(pop.Status(), 0);
        EXPECT_STREQ(pop.Info(0)->Id(), "one@x");
        EXPECT_EQ(pop.Info(1)->Id(), nullptr); // refused, the walk went on
        EXPECT_STREQ(pop.Info(2)->Id(), "three@x");
        EXPECT_EQ(pop.Info(3)->Id(), nullptr);
        EXPECT_STREQ(pop.Info(4)->Id(), "");
        EXPECT_FALSE(pop.Info(4)->HasId());
        EXPECT_STREQ(pop.Info(5)->Id(), "six@x");
        EXPECT_EQ(s.server.Count("TOP"), 6);
        EXPECT_EQ(Text(pop, 0), messages[0]);
    }
    {
        Scripted s(messages);
        s.box.uidl = false;
        s.box.ids = {};
        s.override = [](const std::string& cmd, qirFakeReply* r) {
            if (cmd != "TOP 2 1")
                return false;
            r->text = "+OK\r\nMessage-Id: <two@x>\r\n"; // and the line drops
            r->close = true;
            return true;
        };
        QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
        EXPECT_EQ(pop.Status(), qirConnectionFailed);
    }
    {
        // No method at all: listed, without identifiers.
        Scripted s(messages);
        s.box.uidl = false;
        s.box.top = false;
        QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
        EXPECT_EQ(pop.Status(), 0);
        EXPECT_EQ(pop.Count(), 6);
        EXPECT_EQ(pop.Info(0)->Id(), nullptr);
        EXPECT_EQ(Text(pop, 5), messages[5]);
    }
}

// A server gone away must not end the program with SIGPIPE, and a dead
// connection gets no QUIT.
TEST(QIRPOP3, ServerGoneAway)
{
    Scripted s({"a\n"});
    s.override = [](const std::string& cmd, qirFakeReply* r) {
        if (cmd != "NOOP")
            return false;
        r->text = "+OK\r\n";
        r->reset = true;
        return true;
    };
    {
        QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
        ASSERT_EQ(pop.Status(), 0);
        EXPECT_EQ(pop.Noop(), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        for (int i = 0; i < 3; ++i)
            pop.Send("NOOP\r\n", 6, 0); // into a reset connection
        EXPECT_EQ(pop.Remove(0), qirConnectionFailed);
        EXPECT_EQ(pop.Noop(), qirConnectionFailed);
    }
    EXPECT_EQ(s.server.Count("QUIT"), 0);
}

TEST(QIRPOP3, RecordsAreCountedAndCopied)
{
    int before = qirObjectCounters[17];
    {
        QIRPOP3_MSG_INFO a(4, 100);
        a.SetId("abc", 3);
        QIRPOP3_MSG_INFO b(a);
        a.SetId("changed", 7);
        EXPECT_STREQ(b.Id(), "abc");
        EXPECT_EQ(b.Number(), 4);
        EXPECT_EQ(b.Size(), 100);
        EXPECT_EQ(qirObjectCounters[17], before + 2);
        Scripted s({"a\n", "b\n"});
        QIRPOP3 pop("127.0.0.1", s.server.Port(), "user", "secret");
        EXPECT_EQ(qirObjectCounters[17], before + 4);
    }
    EXPECT_EQ(qirObjectCounters[17], before);
}

} // namespace
