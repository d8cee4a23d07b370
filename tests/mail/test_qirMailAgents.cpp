// The sendmail agent against a stub program, and the queue agent.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "qirAddress.h"
#include "qirClock.h"
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirLock.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirQueueAgent.h"
#include "qirScratchDir.h"
#include "qirSendmailAgent.h"
#include "qirStatus.h"

#include "qirMailTestText.h"

namespace {

struct AgentTest : ::testing::Test {
    qirScratchDir scratch;
    qirError log;
    void SetUp() override
    {
        setenv("TZ", "UTC0", 1);
        qirFixClock(1015337000, 7);
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
    }
    std::string Log()
    {
        log.Close();
        std::string text = qirScratchDir::ReadFile(scratch.File("QIR.log"));
        log.Open(scratch.File("QIR.log").c_str(), qirLogDebug, 0);
        return text;
    }
    qirMsg* Message(const char* name, const std::string& body)
    {
        qirMsg* m = new qirMsg(qirPath(scratch.File(name).c_str()));
        qirScratchDir::WriteFile(m->Body()->Path().Text(), body);
        qirAddress joe("joe@example.org", "Joe Bloggs"), ann("ann@example.org", nullptr),
            carol("carol@example.org", nullptr), dave("dave@example.org", "Dave");
        m->AddFrom(&joe);
        m->AddTo(&ann);
        m->AddCc(&carol);
        m->AddBcc(&dave);
        qirString subject("Queued");
        m->SetSubject(&subject);
        m->SetDate(1015337000);
        m->BuildHeader();
        EXPECT_EQ(m->Save(), qirOK);
        return m;
    }
    // A sendmail stand-in: records its arguments and standard input and
    // ends with the status in the file "status".
    std::string Stub()
    {
        std::string path = scratch.File("sendmail");
        qirScratchDir::WriteFile(path, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + scratch.File("args") +
                                           "'\ncat > '" + scratch.File("stdin") + "'\nexit $(cat '" +
                                           scratch.File("status") + "' 2>/dev/null || echo 0)\n");
        chmod(path.c_str(), 0755);
        qirConfig.Set("Sendmail.Path", path.c_str());
        return path;
    }
};

TEST_F(AgentTest, SendmailGetsTheTextVerbatimAndTheRecipientsAsArguments)
{
    Stub();
    qirConfig.Set("Sendmail.Flags", "-t", 0);
    qirConfig.Set("Sendmail.Flags", "-f", 1);
    qirConfig.Set("Sendmail.Flags", "joe@example.org", 2);
    qirMsg* m = Message("Message1", "a line\n.\n..\n-- \nend without newline");
    qirSendmailAgent agent;
    ASSERT_EQ(agent.Send(m), qirOK);
    // "-t" would read recipients from a text without its Bcc field.
    EXPECT_EQ(qirScratchDir::ReadFile(scratch.File("args")),
              "-f\njoe@example.org\n-oi\nann@example.org\ncarol@example.org\ndave@example.org\n");
    std::string in = qirScratchDir::ReadFile(scratch.File("stdin"));
    EXPECT_EQ(in, Export(*m));
    EXPECT_EQ(in.find("BCC:"), std::string::npos);
    EXPECT_NE(in.find("\n.\n..\n-- \nend without newline\n"), std::string::npos) << in;
    delete m;
}

TEST_F(AgentTest, SendmailFlagsAndStatuses)
{
    Stub();
    qirMsg* m = Message("Message1", "x\n");
    struct Case {
        std::vector<const char*> flags;
        const char* args;
    } cases[] = {
        {{}, "-oi\n"},
        {{"-i"}, "-i\n"},
        {{"-oi", "-v"}, "-oi\n-v\n"},
    };
    for (const Case& c : cases) {
        if (qirConfiguration* f = qirConfig.Find("Sendmail.Flags")) f->ValueList()->Remove(nullptr);
        for (size_t i = 0; i < c.flags.size(); ++i) qirConfig.Set("Sendmail.Flags", c.flags[i], (int)i);
        qirSendmailAgent agent;
        EXPECT_EQ(agent.Send(m), qirOK);
        std::string args = qirScratchDir::ReadFile(scratch.File("args"));
        EXPECT_EQ(args.substr(0, strlen(c.args)), c.args);
    }
    qirScratchDir::WriteFile(scratch.File("status"), "1\n");
    qirSendmailAgent agent;
    EXPECT_EQ(agent.Send(m), qirSendmailFailed);
    EXPECT_EQ(std::string(agent.ErrorText().Text()), "Error sending");
    qirConfig.Set("Sendmail.Path", scratch.File("missing").c_str());
    EXPECT_EQ(agent.Send(m), qirCannotStart);
    delete m;
}

TEST_F(AgentTest, SendmailNeverHandsOnARecipientThatLooksLikeAnOption)
{
    Stub();
    qirMsg* m = Message("Message1", "x\n");
    m->To()->Remove(nullptr);
    m->Cc()->Remove(nullptr);
    m->Bcc()->Remove(nullptr);
    qirAddress evil("-oQ/tmp/x", nullptr), shell("$(touch pwned)@example.org", nullptr);
    m->AddTo(&evil);
    m->AddTo(&shell);
    qirSendmailAgent agent;
    EXPECT_EQ(agent.Send(m), qirOK);
    EXPECT_EQ(qirScratchDir::ReadFile(scratch.File("args")), "-oi\n$(touch pwned)@example.org\n");
    EXPECT_NE(Log().find("E Sendmail: recipient <-oQ/tmp/x> cannot be given to sendmail"), std::string::npos);
    m->To()->Remove(nullptr);
    m->AddTo(&evil);
    EXPECT_EQ(agent.Send(m), qirBadValue);
    delete m;
}

TEST_F(AgentTest, QueueEntriesAppearCompleteUnderUniqueNames)
{
    std::string queue = scratch.File("queue");
    mkdir(queue.c_str(), 0700);
    qirConfig.Set("QueueDir", queue.c_str());
    qirMsg* m = Message("Message1", "queued text\n");
    qirQueueAgent a, b;
    ASSERT_EQ(a.Send(m), qirOK);
    ASSERT_EQ(b.Send(m), qirOK);
    std::vector<std::string> names = Entries(queue);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_NE(a.LastEntry(), b.LastEntry());
    for (const std::string& n : names) {
        EXPECT_EQ(n.rfind("Msg_", 0), 0u) << n; // no temporary name or lock file is left
        qirMsg back(qirPath((queue + "/" + n).c_str()));
        EXPECT_EQ(std::string(back.Subject()->Text()), "Queued");
        EXPECT_EQ(back.Bcc()->Count(), 1); // the stored copy keeps Bcc
        EXPECT_EQ(Export(back), Export(*m));
    }
    delete m;
}

TEST_F(AgentTest, QueueFailuresLeaveNothingBehind)
{
    qirMsg* m = Message("Message1", "x\n");
    qirConfig.Set("QueueDir", scratch.File("missing").c_str());
    qirQueueAgent missing;
    EXPECT_EQ(missing.Send(m), qirNoTempFile);

    std::string queue = scratch.File("queue");
    mkdir(queue.c_str(), 0700);
    qirConfig.Set("QueueDir", queue.c_str());
    unlink(m->Body()->Path().Text()); // the body cannot be copied
    qirQueueAgent agent;
    EXPECT_EQ(agent.Send(m), qirFailed);
    EXPECT_TRUE(Entries(queue).empty());
    delete m;
}

} // namespace
