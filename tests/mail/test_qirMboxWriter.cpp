// Mailbox export: the "From " line, escaping of "From " lines wherever the
// stream's buffers split them, the empty line owed to an appended file, and
// files left as they were when a write fails or a message cannot be written.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "qirAddress.h"
#include "qirMboxWriter.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirScratchDir.h"
#include "qirSmallFileLimit.h"
#include "qirStatus.h"

namespace {

class MboxWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        oldTZ_ = getenv("TZ") ? getenv("TZ") : "";
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override
    {
        setenv("TZ", oldTZ_.c_str(), 1);
        tzset();
    }
    // A message imported from text and saved in the scratch directory;
    // dated, so that its "From " line does not follow the clock.
    qirMsg* Message(const std::string& text)
    {
        std::string t = text.find("Date:") == std::string::npos ? "Date: Tue, 3 Mar 2026 10:11:12 +0000\n" + text : text;
        FILE* f = fmemopen(&t[0], t.size(), "r");
        std::string path = dir.File(("m" + std::to_string(messages.size())).c_str());
        messages.emplace_back(new qirMsg{qirPath(path.c_str())});
        EXPECT_EQ(messages.back()->ImportRFC822(f), 0);
        EXPECT_EQ(messages.back()->Save(), 0);
        fclose(f);
        return messages.back().get();
    }
    // What the file must hold for the message: its From line, its MIME text
    // with "From " lines quoted, an empty line.
    static std::string Expected(qirMsg* m)
    {
        char* buf = nullptr;
        size_t size = 0;
        FILE* f = open_memstream(&buf, &size);
        EXPECT_EQ(m->ExportMIME(f), 0);
        fclose(f);
        std::string text(buf, size), out = qirMboxWriter::FromLine(m).Text();
        free(buf);
        for (size_t at = 0; at < text.size();) {
            size_t nl = text.find('\n', at);
            size_t end = nl == std::string::npos ? text.size() : nl + 1;
            if (text.compare(at, 5, "From ") == 0) out += ">";
            out += text.substr(at, end - at);
            at = end;
        }
        return out + "\n";
    }

    qirScratchDir dir;
    std::vector<std::unique_ptr<qirMsg>> messages;
    std::string oldTZ_;
};

TEST_F(MboxWriterTest, FromLineHoldsOneWordSenderAndTheAsctimeDate)
{
    struct Case {
        const char* mailbox; // null: no From address
        const char* expected;
    } cases[] = {
        {"ann@example.org", "From ann@example.org Tue Mar  3 10:11:12 2026\n"},
        {nullptr, "From MAILER-DAEMON Tue Mar  3 10:11:12 2026\n"},
        {"\"odd one\"@x.org\nFrom evil", "From \"odd_one\"@x.org_From_evil Tue Mar  3 10:11:12 2026\n"},
    };
    for (const Case& c : cases) {
        qirMsg m{qirPath(dir.File("m").c_str())};
        if (c.mailbox) {
            qirAddress a(c.mailbox, "Ann Example");
            m.AddFrom(&a);
        }
        m.SetDate(1772532672); // 2026-03-03 10:11:12 UTC
        EXPECT_STREQ(qirMboxWriter::FromLine(&m).Text(), c.expected);
    }
    qirMsg undated{qirPath(dir.File("u").c_str())};
    std::string line = qirMboxWriter::FromLine(&undated).Text();
    char year[8];
    time_t now = time(nullptr);
    strftime(year, sizeof year, "%Y", gmtime(&now));
    EXPECT_EQ(line.substr(line.size() - 5), std::string(year) + "\n") << line;
}

// Lines of every length before a "From " line move the split points of the
// buffers the text passes through across every place inside the word.
TEST_F(MboxWriterTest, EveryFromLineIsQuotedWhereverBuffersSplitIt)
{
    std::string body = "From the first line of the body\n\n";
    for (int i = 0; i < 700; i++) body += std::string(i % 97, 'x') + "\nFrom line " + std::to_string(i) + "\nFro\nFrom\n";
    body += ">From already quoted\nfrom lower case\nFrom ";
    qirMsg* big = Message("From: a@example.org\nSubject: big\nDate: Tue, 3 Mar 2026 10:11:12 +0000\n\n" + body);
    qirMsg* small = Message("Subject: no sender\n\nFrom here\n");
    std::string path = dir.File("out.mbox");
    qirMboxWriter writer(path.c_str(), 0);
    ASSERT_EQ(writer.Open(), 0);
    ASSERT_EQ(writer.Write(big), 0);
    ASSERT_EQ(writer.Write(small), 0);
    ASSERT_EQ(writer.Commit(), 0);
    std::string got = qirScratchDir::ReadFile(path);
    ASSERT_EQ(got, Expected(big) + Expected(small));
    int separators = 0;
    for (size_t at = 0; (at = got.find("\nFrom ", at)) != std::string::npos; at++) separators++;
    EXPECT_EQ(separators, 1); // the second message's line; the first starts the file
}

TEST_F(MboxWriterTest, AppendingOwesTheEmptyLineBeforeTheFirstMessage)
{
    qirMsg* m = Message("From: a@example.org\nSubject: s\n\nbody\n");
    struct Case {
        const char* old;
        const char* between;
    } cases[] = {{"", ""}, {"From x Mon Jan  1 00:00:00 2024\n\nlast", "\n\n"},
                 {"From x Mon Jan  1 00:00:00 2024\n\nlast\n", "\n"}, {"From x Mon Jan  1 00:00:00 2024\n\nlast\n\n", ""}};
    for (const Case& c : cases) {
        std::string path = dir.File("append.mbox");
        ASSERT_EQ(qirScratchDir::WriteFile(path, c.old), 0);
        qirMboxWriter writer(path.c_str(), 1);
        ASSERT_EQ(writer.Open(), 0);
        ASSERT_EQ(writer.Write(m), 0);
        ASSERT_EQ(writer.Write(m), 0);
        ASSERT_EQ(writer.Commit(), 0);
        EXPECT_EQ(qirScratchDir::ReadFile(path), c.old + std::string(c.between) + Expected(m) + Expected(m))
            << c.old;
    }
}

// A message whose body file is gone is left out whole; the rest follow.
TEST_F(MboxWriterTest, AMessageThatCannotBeExportedIsTakenBackWhole)
{
    qirMsg* first = Message("From: a@example.org\nSubject: one\n\nbody one\n");
    qirMsg* broken = Message("From: b@example.org\nSubject: two\n\nbody two\n");
    qirMsg* last = Message("From: c@example.org\nSubject: three\n\nbody three\n");
    ASSERT_EQ(unlink(broken->Body()->Path().Text()), 0);
    for (int append : {0, 1}) {
        std::string path = dir.File(append ? "a.mbox" : "r.mbox");
        qirMboxWriter writer(path.c_str(), append);
        ASSERT_EQ(writer.Open(), 0);
        EXPECT_EQ(writer.Write(first), 0);
        EXPECT_EQ(writer.Write(broken), qirFailed);
        EXPECT_EQ(writer.Write(last), 0);
        EXPECT_EQ(writer.Written(), 2);
        ASSERT_EQ(writer.Commit(), 0);
        EXPECT_EQ(qirScratchDir::ReadFile(path), Expected(first) + Expected(last));
    }
}

// Writes that fail part way (the file size limit) or an export given up
// leave the file exactly as it was, and no file where there was none.
TEST_F(MboxWriterTest, FailedOrAbandonedExportLeavesTheFileAsItWas)
{
    qirMsg* m = Message("From: a@example.org\nSubject: s\n\n" + std::string(3000, 'y') + "\n");
    const std::string old = "From x Mon Jan  1 00:00:00 2024\n\nold mail\n\n";
    for (int append : {0, 1}) {
        SCOPED_TRACE(append ? "append" : "replace");
        std::string path = dir.File("kept.mbox");
        ASSERT_EQ(qirScratchDir::WriteFile(path, old), 0);
        int r = qirRunWithSmallFileLimit([&] {
            qirMboxWriter writer(path.c_str(), append);
            if (writer.Open() != 0) return 1;
            // The failure shows at a write or, still buffered, at the commit.
            for (int i = 0; i < 5; i++)
                if (writer.Write(m) == qirWriteError) break;
            return writer.Commit() == qirWriteError ? 0 : 2;
        }, 1000);
        EXPECT_EQ(r, 0);
        EXPECT_EQ(qirScratchDir::ReadFile(path), old);

        std::string fresh = dir.File("fresh.mbox");
        {
            qirMboxWriter writer(fresh.c_str(), append);
            ASSERT_EQ(writer.Open(), 0);
            ASSERT_EQ(writer.Write(m), 0);
        }
        EXPECT_EQ(qirScratchDir::ReadFile(fresh), "<missing>");
        {
            qirMboxWriter writer(path.c_str(), append);
            ASSERT_EQ(writer.Open(), 0);
            ASSERT_EQ(writer.Write(m), 0);
        }
        EXPECT_EQ(qirScratchDir::ReadFile(path), old);
    }
    std::vector<std::string> left = dir.Entries();
    for (const std::string& e : left) EXPECT_EQ(e.find(".tmp"), std::string::npos) << e;
    qirMboxWriter nowhere(dir.File("no/such/dir.mbox").c_str(), 1);
    EXPECT_EQ(nowhere.Open(), qirCannotOpen);
}

} // namespace
