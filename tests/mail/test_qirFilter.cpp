#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "qirError.h"
#include "qirFilterList.h"
#include "qirMsg.h"
#include "qirScratchDir.h"
#include "qirSmallFileLimit.h"
#include "qirStatus.h"

namespace {

std::string T(const qirString& s) { return s.Text() ? s.Text() : "<null>"; }

// Small messages imported as mail arrives.
struct Fixtures {
    qirScratchDir dir;
    std::vector<std::unique_ptr<qirMsg>> msgs;
    qirMsg* Add(const std::string& header)
    {
        std::string path = dir.File(("Message" + std::to_string(msgs.size() + 1)).c_str());
        msgs.emplace_back(new qirMsg(qirPath(path.c_str())));
        std::string text = header + "\nbody\n";
        FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
        EXPECT_EQ(msgs.back()->ImportRFC822(in), 0);
        fclose(in);
        return msgs.back().get();
    }
};

qirFilter* MakeFilter(const char* name, int fields, const char* pattern, int isCase, const char* other, int actions,
                      const char* copy, const char* reply, const char* forward, int active = 1)
{
    return new qirFilter(name, active, qirFilterCondition(fields, qirWildcard(pattern, isCase), other), actions, copy,
                         reply, forward);
}

} // namespace

TEST(qirFilter, Matching)
{
    Fixtures f;
    qirMsg* urgent = f.Add("From: Boss <boss@work.example>\nTo: me@home.example, Team <team@work.example>\n"
                           "Subject: URGENT: budget\nX-Mailer: Mutt 2.0\n");
    qirMsg* list = f.Add("From: list-owner@lists.example\nReply-To: Real Name <answers@lists.example>\n"
                         "To: me@home.example\nSubject: weekly digest\nx-mailer: other\n");
    enum { S = 8, O = 16, To = 1, Fr = 2, RT = 4 };
    struct Case {
        int fields;
        const char* pattern;
        int isCase;
        const char* other;
        int urgent, list;
    };
    const Case cases[] = {
        {S | To, "*urgent*", 0, "", 1, 0},
        {S | To, "*urgent*", 1, "", 0, 0},
        {S, "URGENT:*", 1, "", 1, 0},
        {To, "team@*", 0, "", 1, 0},         // any address of the list
        {To, "Team", 0, "", 0, 0},           // the full name is never tried
        {Fr, "*@work.example", 0, "", 1, 0},
        {RT, "answers@*", 0, "", 0, 1},
        {Fr, "answers@*", 0, "", 0, 0},
        // The other field is found however its name was typed: any case,
        // with or without the colon, blanks around it ignored.
        {O, "Mutt*", 0, "X-Mailer:", 1, 0},
        {O, "other", 0, "x-mailer:", 0, 1},
        {O, "Mutt*", 0, "x-mailer:", 1, 0},
        {O, "Mutt*", 0, "X-Mailer", 1, 0},
        {O, "*", 0, " X-MAILER : ", 1, 1},
        {O, "*", 0, "X-Mail", 0, 0},
        {O, "*", 0, ":", 0, 0},
        {O, "*", 0, "X-Absent:", 0, 0},
        {O, "*", 0, "", 0, 0},
        {S | Fr | RT, "*digest", 0, "", 0, 1},
        {0, "*", 0, "", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " fields " + std::to_string(c.fields) + " " + c.other);
        qirFilterCondition cond(c.fields, qirWildcard(c.pattern, c.isCase), c.other);
        EXPECT_EQ(cond.Matches(*urgent), c.urgent);
        EXPECT_EQ(cond.Matches(*list), c.list);
    }
    qirFilter inactive("off", 0, qirFilterCondition(S, qirWildcard("*", 0), ""), 8, "", "", "");
    EXPECT_EQ(inactive.Matches(*urgent), 1); // the active flag is the caller's
}

TEST(qirFilter, StatusFlagsMissingArguments)
{
    EXPECT_EQ(qirFilterCondition(16, qirWildcard("*", 0), "").Status(), qirNotOpen);
    EXPECT_EQ(qirFilterCondition(8, qirWildcard("*", 0), "").Status(), 0);
    struct Case {
        int actions;
        const char *copy, *reply, *forward;
        int status;
    };
    const Case cases[] = {
        {1, "", "r", "f", -6}, {2, "c", "", "f", -6}, {4, "c", "r", "", -6},
        {8, "", "", "", 0},    {7, "c", "r", "f", 0},
    };
    for (const Case& c : cases) {
        std::unique_ptr<qirFilter> f(MakeFilter("x", 8, "*", 0, "", c.actions, c.copy, c.reply, c.forward));
        EXPECT_EQ(f->Status(), c.status) << c.actions;
        // Changed in place, a filter's statuses follow what it holds now.
        std::unique_ptr<qirFilter> g(MakeFilter("y", 16, "*", 0, "", 8 - (c.status != 0), "", "", ""));
        g->Change("x", 0, qirFilterCondition(8, qirWildcard("*", 0), ""), c.actions, c.copy, c.reply, c.forward);
        EXPECT_EQ(g->Status(), c.status) << c.actions;
        EXPECT_EQ(g->Condition().Status(), 0);
        EXPECT_EQ(T(g->Name()), "x");
        EXPECT_EQ(g->Actions(), c.actions);
    }
}

TEST(qirFilterList, SaveAndLoadRoundTripHostileTexts)
{
    qirScratchDir dir;
    std::string path = dir.File("filter");
    const char* hostile = "a;b\tc \"q\" 'r' {x} \\ # d.e";
    {
        qirFilterList list;
        EXPECT_EQ(list.Load(path.c_str()), qirUnreadable); // no file yet
        list.Append(MakeFilter("Spam filter", 8, "*viagra*", 0, "", 8, "", "", ""));
        list.Append(MakeFilter(hostile, 16 | 1, hostile, 1, hostile, 1 | 2 | 4, "/home/u/Mail/Saved; x",
                               "/home/u/reply text", "\"Some One\" <one@example.org>", 0));
        list.Append(MakeFilter("", 16, "", 0, "", 1, "", "", ""));
        ASSERT_EQ(list.Save(), 0);
    }
    qirFilterList list;
    ASSERT_EQ(list.Load(path.c_str()), 0);
    ASSERT_EQ(list.Count(), 3);
    qirFilter* f = list.First();
    EXPECT_EQ(T(f->Name()), "Spam filter");
    EXPECT_EQ(f->IsActive(), 1);
    EXPECT_EQ(f->Condition().Fields(), 8);
    EXPECT_EQ(T(f->Condition().Pattern().Pattern()), "*viagra*");
    EXPECT_EQ(f->Actions(), 8);
    f = qirFilterList::Next(f);
    EXPECT_EQ(T(f->Name()), hostile);
    EXPECT_EQ(f->IsActive(), 0);
    EXPECT_EQ(f->Condition().Fields(), 17);
    EXPECT_EQ(T(f->Condition().Pattern().Pattern()), hostile);
    EXPECT_EQ(f->Condition().Pattern().IsCaseSensitive(), 1);
    EXPECT_EQ(T(f->Condition().OtherFieldName()), hostile);
    EXPECT_EQ(f->Actions(), 7);
    EXPECT_EQ(T(f->CopyPath()), "/home/u/Mail/Saved; x");
    EXPECT_EQ(T(f->ReplyPath()), "/home/u/reply text");
    EXPECT_EQ(T(f->ForwardAddress()), "\"Some One\" <one@example.org>");
    f = qirFilterList::Next(f);
    EXPECT_EQ(f->Condition().Status(), qirNotOpen); // kept, with its status
    EXPECT_EQ(f->Status(), qirNotOpen);
    // Saving what was loaded gives the same file.
    std::string first = qirScratchDir::ReadFile(path);
    ASSERT_EQ(list.Save(), 0);
    EXPECT_EQ(qirScratchDir::ReadFile(path), first);
}

TEST(qirFilterList, OldFormAndVersions)
{
    struct Case {
        const char* file;
        int count;
    };
    qirScratchDir dir;
    std::string path = dir.File("filter");
    ASSERT_EQ(qirScratchDir::WriteFile(path, "FilterEntries {\n"
                                             "  a Spam 3 *spam* 3 0 \"\" \"\" 1\n"
                                             "  b Keep 1 *@work* 0 1 \"\" /home/u/Mail/Work 0\n"
                                             "  c Auto 4 * 1 0 X-Loop: /home/u/reply 1\n"
                                             "  d Fwd 0 me* 2 0 \"\" other@example.org 1\n"
                                             "  e Odd 3 x 5 0 \"\" /dropped 1\n"
                                             "}\n"),
              0);
    qirFilterList list;
    ASSERT_EQ(list.Load(path.c_str()), 0);
    ASSERT_EQ(list.Count(), 5);
    qirFilter* f = list.First();
    EXPECT_EQ(T(f->Name()), "Spam");
    EXPECT_EQ(f->IsActive(), 1);
    EXPECT_EQ(f->Condition().Fields(), 8);
    EXPECT_EQ(f->Actions(), 8);
    f = qirFilterList::Next(f);
    EXPECT_EQ(f->Condition().Fields(), 2);
    EXPECT_EQ(f->Actions(), 1);
    EXPECT_EQ(f->Condition().Pattern().IsCaseSensitive(), 1);
    EXPECT_EQ(T(f->CopyPath()), "/home/u/Mail/Work");
    EXPECT_EQ(f->IsActive(), 0);
    f = qirFilterList::Next(f);
    EXPECT_EQ(f->Condition().Fields(), 16);
    EXPECT_EQ(T(f->Condition().OtherFieldName()), "X-Loop:");
    EXPECT_EQ(f->Actions(), 2);
    EXPECT_EQ(T(f->ReplyPath()), "/home/u/reply");
    f = qirFilterList::Next(f);
    EXPECT_EQ(f->Actions(), 4);
    EXPECT_EQ(T(f->ForwardAddress()), "other@example.org");
    EXPECT_EQ(T(f->CopyPath()), "");
    f = qirFilterList::Next(f);
    EXPECT_EQ(f->Actions(), 32);
    EXPECT_EQ(T(f->CopyPath()), "");
    EXPECT_EQ(T(f->ForwardAddress()), "");

    // Saving writes the current form, which loads back the same.
    ASSERT_EQ(list.Save(), 0);
    qirFilterList again;
    ASSERT_EQ(again.Load(path.c_str()), 0);
    EXPECT_EQ(again.Count(), 5);
    EXPECT_EQ(T(again.First()->Name()), "Spam");

    std::string other = dir.File("filter3");
    ASSERT_EQ(qirScratchDir::WriteFile(other, "QIRFilterFileVersion 3.0\nFilterEntries {\n  0 {\n    Name x\n  }\n}\n"), 0);
    qirFilterList future;
    EXPECT_EQ(future.Load(other.c_str()), 0);
    EXPECT_EQ(future.Count(), 0);
}

TEST(qirFilterList, ReloadDropsWhatWasNotSaved)
{
    qirScratchDir dir;
    std::string path = dir.File("filter");
    qirFilterList list;
    list.Load(path.c_str());
    list.Append(MakeFilter("kept", 8, "*", 0, "", 8, "", "", ""));
    ASSERT_EQ(list.Save(), 0);
    list.Append(MakeFilter("dropped", 8, "*", 0, "", 8, "", "", ""));
    EXPECT_EQ(list.Reload(), 0);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(T(list.First()->Name()), "kept");
    EXPECT_TRUE(list.IsLocked());
    // The file gone meanwhile: an empty list, still able to save.
    unlink(path.c_str());
    EXPECT_EQ(list.Reload(), qirUnreadable);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Save(), 0);
}

TEST(qirFilterList, FailuresLeaveTheOldFile)
{
    qirScratchDir dir;
    std::string path = dir.File("filter");
    {
        qirFilterList list;
        list.Load(path.c_str());
        list.Append(MakeFilter("old", 8, "*", 0, "", 8, "", "", ""));
        ASSERT_EQ(list.Save(), 0);
    }
    const std::string old = qirScratchDir::ReadFile(path);
    {
        qirFilterList list;
        ASSERT_EQ(list.Load(path.c_str()), 0);
        for (int i = 0; i < 50; ++i) list.Append(MakeFilter("new", 8, "*a long enough pattern*", 0, "", 8, "", "", ""));
        // The save runs in a child: it answers -99 when its reason is wrong.
        const std::string reason = "Can't write filter file <" + path + ">: File too large";
        EXPECT_EQ(qirRunWithSmallFileLimit([&] {
                      qirString why;
                      int r = list.Save(&why);
                      return T(why) == reason ? r : -99;
                  }),
                  qirWriteError);
        EXPECT_EQ(qirScratchDir::ReadFile(path), old);
        EXPECT_EQ(dir.Entries().size(), 2u); // the file and its lock
    }
    // Another live process holds the lock: the filters load but never save,
    // and the failure says why: to a caller that shows it, else to the log.
    ASSERT_EQ(qirScratchDir::WriteFile(path + ".LOCK", "1\n"), 0);
    {
        qirFilterList list;
        ASSERT_EQ(list.Load(path.c_str()), 0);
        EXPECT_EQ(list.Count(), 1);
        qirString why;
        EXPECT_EQ(list.Save(&why), qirLockNotHeld);
        const std::string reason = "Another QIR holds the lock of filter file <" + path + ">";
        EXPECT_EQ(T(why), reason);
        qirError log;
        log.Open(dir.File("log").c_str(), qirLogDebug, 0);
        qirLog = &log;
        EXPECT_EQ(list.Save(), qirLockNotHeld);
        qirLog = nullptr;
        log.Close();
        EXPECT_NE(qirScratchDir::ReadFile(dir.File("log")).find("E " + reason + "\n"), std::string::npos);
        unlink(dir.File("log").c_str());
    }
    unlink((path + ".LOCK").c_str());
    // A file that is there but does not parse is never saved over.
    const std::string broken = "QIRFilterFileVersion 2.0\n{\n";
    ASSERT_EQ(qirScratchDir::WriteFile(path, broken), 0);
    qirFilterList list;
    EXPECT_EQ(list.Load(path.c_str()), qirUnreadable);
    EXPECT_EQ(list.Save(), qirUnreadable);
    EXPECT_EQ(qirScratchDir::ReadFile(path), broken);
}
