// The POP3 client against a real Dovecot started for each test.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "QIRPOP3.h"
#include "qirDovecot.h"
#include "qirStatus.h"

namespace {

std::string Message(int n, const std::string& body)
{
    return "From: sender" + std::to_string(n) + "@example.org\nTo: qir@example.org\nSubject: test " +
           std::to_string(n) + "\nMessage-Id: <msg" + std::to_string(n) + "@example.org>\n\n" + body;
}

// Lines that dot-stuffing, mbox escaping and the reply buffer must survive.
std::vector<std::string> Messages()
{
    return {
        Message(1, "plain body\n"),
        Message(2, ".\n..\n.x\n...\nFrom the start of a line\n>From quoted\n"),
        Message(3, std::string(5000, 'a') + "\n" + std::string(2063, 'b') + ".\nend\n"),
    };
}

std::string Fetch(QIRPOP3& pop, int index)
{
    int length = 0;
    char* text = pop.Retrieve(index, &length);
    std::string out = text ? std::string(text, length) : "<null>";
    delete[] text;
    return out;
}

TEST(QIRPOP3Dovecot, WholeDialogue)
{
    const std::vector<std::string> messages = Messages();
    qirDovecot server(messages);
    ASSERT_EQ(server.Error(), "");

    std::vector<std::string> ids;
    {
        QIRPOP3 pop(server.Host(), server.Port(), server.User(), server.Password());
        ASSERT_EQ(pop.Status(), 0) << pop.LastReply();
        ASSERT_EQ(pop.Count(), 3);
        int listed = 0;
        std::set<std::string> distinct;
        for (int i = 0; i < 3; ++i) {
            ASSERT_NE(pop.Info(i), nullptr);
            EXPECT_EQ(pop.Info(i)->Number(), i + 1);
            listed += pop.Size(i);
            ASSERT_TRUE(pop.Info(i)->HasId());
            ids.push_back(pop.Info(i)->Id());
            distinct.insert(ids.back());
            // The single-message UIDL agrees with the listing.
            const char* one = pop.UniqueId(i);
            ASSERT_NE(one, nullptr);
            EXPECT_EQ(std::string(one), ids.back() + "\r\n");
        }
        EXPECT_EQ(distinct.size(), 3u);
        EXPECT_EQ(pop.TotalSize(), listed);
        EXPECT_EQ(pop.Info(3), nullptr);

        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(Fetch(pop, i), messages[i]) << "message " << i + 1;

        FILE* f = tmpfile();
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(pop.RetrieveTo(1, f), 0);
        rewind(f);
        std::string copy;
        for (int c; (c = fgetc(f)) != EOF;)
            copy += static_cast<char>(c);
        fclose(f);
        EXPECT_EQ(copy, messages[1]);

        // RSET takes a deletion back; DELE then holds until QUIT.
        EXPECT_EQ(pop.Remove(0), 0);
        EXPECT_EQ(pop.IsDeleted(0), 1);
        EXPECT_EQ(pop.Remove(0), qirNotFound);
        EXPECT_EQ(pop.Retrieve(0), nullptr);
        EXPECT_EQ(pop.Reset(), 0);
        EXPECT_EQ(pop.IsDeleted(0), 0);
        EXPECT_EQ(pop.Noop(), 0);
        EXPECT_EQ(pop.Remove(1), 0);
    } // QUIT commits the deletion

    QIRPOP3 again(server.Host(), server.Port(), server.User(), server.Password());
    ASSERT_EQ(again.Status(), 0);
    ASSERT_EQ(again.Count(), 2);
    EXPECT_EQ(std::string(again.Info(0)->Id()), ids[0]);
    EXPECT_EQ(std::string(again.Info(1)->Id()), ids[2]);
    EXPECT_EQ(Fetch(again, 1), messages[2]);
    EXPECT_EQ(server.Mailbox().find("test 2"), std::string::npos);
}

TEST(QIRPOP3Dovecot, EmptyMailbox)
{
    qirDovecot server;
    ASSERT_EQ(server.Error(), "");
    QIRPOP3 pop(server.Host(), server.Port(), server.User(), server.Password());
    EXPECT_EQ(pop.Status(), 0);
    EXPECT_EQ(pop.Count(), 0);
    EXPECT_EQ(pop.TotalSize(), 0);
    EXPECT_EQ(pop.Retrieve(0), nullptr);
}

TEST(QIRPOP3Dovecot, WrongPasswordIsRefused)
{
    qirDovecot server({Message(1, "x\n")});
    ASSERT_EQ(server.Error(), "");
    QIRPOP3 pop(server.Host(), server.Port(), server.User(), "not-the-password");
    EXPECT_EQ(pop.Status(), qirPOP3Refused);
    EXPECT_EQ(pop.Count(), 0);
}

TEST(QIRPOP3Dovecot, StoppedServerIsAConnectionFailure)
{
    qirDovecot server({Message(1, "x\n")});
    ASSERT_EQ(server.Error(), "");
    std::string port = server.Port();
    server.Stop();
    QIRPOP3 pop(server.Host(), port.c_str(), server.User(), server.Password());
    EXPECT_EQ(pop.Status(), qirConnectionFailed);
}

} // namespace
