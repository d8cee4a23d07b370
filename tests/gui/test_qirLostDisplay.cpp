// The real qir losing its display, on an X server of the test's own that
// the test stops: with the Incoming window open and a filter that matches
// a read message, and once while the quit's "Proceed filter" question is
// up.  Nothing is asked on the dead display and the process ends with 1,
// not a crash; the letter typed into the open compose window is in its
// draft, the layout is saved, every folder is flushed (a message deleted
// in the window is gone from the disk) and the message the filter would
// have moved stays where it was.
#include <gtest/gtest.h>

// Mail headers before InterViews: its macros rename common words.
#include "qirFilter.h"
#include "qirFilterList.h"
#include "qirMailTestText.h"
#include "qirMsg.h"

#include "qirWindowTest.h"

#include <sys/stat.h>

#include <string>
#include <vector>

namespace {

const char typed[] = "Typed before the display went";

std::string Mail(const std::string& subject) {
    return "From: Sender <sender@example.org>\nTo: me@example.org\nDate: Mon, 01 Jan 2024 10:00:00 +0000\n"
           "Subject: " + subject + "\n\nText of " + subject + "\n";
}

class LostDisplay : public qirWindowTest {
protected:
    void SetUp() override {
        qirWindowTest::SetUp();
        if (IsSkipped())
            return;
        if (!OwnDisplay())
            GTEST_SKIP() << "no free display for an X server of this test's own";
        std::string incoming = Dir() + "/Incoming.QIR";
        mkdir(incoming.c_str(), 0700);
        const char* subjects[] = {"For the archive", "Drop me", "Unread news"};
        for (int i = 0; i < 3; i++) {
            std::string path = incoming + "/Message" + std::to_string(i);
            ASSERT_EQ(ImportMessage(path, Mail(subjects[i])), 0);
            qirMsg m{qirPath(path.c_str())};
            m.SetRead(i < 2);
            ASSERT_EQ(m.Save(), 0);
        }
        mkdir((Dir() + "/Archive.QIR").c_str(), 0700);
        // Read messages about the archive are moved there when Incoming
        // closes, after the question.
        qirFilterList filters;
        filters.Load((Dir() + "/filter").c_str());
        filters.Append(new qirFilter("archive", 1,
                                     qirFilterCondition(qirFilterCondition::SubjectField, qirWildcard("*archive*", 0),
                                                        qirString("")),
                                     qirFilter::CopyAction | qirFilter::DeleteAction, qirPath("Archive.QIR"),
                                     qirPath(""), qirString("")));
        ASSERT_EQ(filters.Save(), 0);
    }
    std::string Log() const { return qirReadFile(Dir() + "/QIR.log"); }
    static std::string SubjectOf(const std::string& dir) {
        qirMsg m{qirPath(dir.c_str())};
        return m.Subject() && m.Subject()->Data() ? m.Subject()->Data() : "?";
    }
    std::vector<std::string> Subjects(const std::string& folder) {
        std::vector<std::string> out;
        for (const std::string& m : qirListDirectory(Dir() + "/" + folder))
            if (m.compare(0, 7, "Message") == 0)
                out.push_back(SubjectOf(Dir() + "/" + folder + "/" + m));
        return out;
    }
    // The texts of the drafts on disk.
    std::vector<std::string> Drafts() {
        std::vector<std::string> out;
        for (const std::string& d : qirListDirectory(Dir() + "/Drafts"))
            out.push_back(qirReadFile(Dir() + "/Drafts/" + d + "/Message/MsgBody.txt"));
        return out;
    }
    // The program on its own display with Incoming open, "Drop me" marked
    // deleted there (a right click), and a compose window holding typed.
    void Prepare() {
        unsigned long list = StartOnIncoming({{"TZ", "UTC"}}, &main);
        ASSERT_NE(list, 0u) << LogTail();
        qirDrawnLine drop{0, 0, ""};
        ASSERT_TRUE(WaitFor([&] {
            for (const qirDrawnLine& l : draw.Lines(list))
                if (l.text.find("Drop me") != std::string::npos)
                    drop = l;
            return !drop.text.empty();
        }, 10000)) << "no row of Drop me";
        for (int attempt = 0; attempt < 3 && StatusFace(list, drop) != "D"; attempt++) {
            Clicks(list, drop.x + 40, drop.y - 4, 3, 1);
            WaitFor([&] { return StatusFace(list, drop) == "D"; }, 2000);
        }
        ASSERT_EQ(StatusFace(list, drop), "D");
        ASSERT_TRUE(ChooseMenu(main, "Books", "Compose"));
        unsigned long letter = WaitWindow("Compose letter");
        ASSERT_NE(letter, 0u) << LogTail();
        TypeText(letter, typed);
        ASSERT_TRUE(WaitFor([&] { return Shows(letter, typed, true); }, 5000)) << "the text was not typed";
    }
    // The display goes; what the end saved.
    void LoseTheDisplayAndCheck() {
        StopOwnDisplay();
        EXPECT_EQ(qir.Wait(20000), 1) << LogTail();
        EXPECT_NE(Log().find("\nE The X display is gone: saving and ending\n"), std::string::npos) << LogTail();
        std::vector<std::string> drafts = Drafts();
        ASSERT_EQ(drafts.size(), 1u);
        EXPECT_NE(drafts[0].find(typed), std::string::npos) << drafts[0];
        // The layout, with Incoming's sort settings written at its close.
        EXPECT_NE(qirReadFile(Dir() + "/layout").find("Incoming"), std::string::npos) << qirReadFile(Dir() + "/layout");
        EXPECT_EQ(Subjects("Incoming.QIR"), (std::vector<std::string>{"For the archive", "Unread news"}));
        EXPECT_TRUE(Subjects("Archive.QIR").empty());
    }

    unsigned long main = 0;
};

}  // namespace

TEST_F(LostDisplay, WithTheIncomingWindowOpenAndAMatchingFilter) {
    Prepare();
    LoseTheDisplayAndCheck();
}

TEST_F(LostDisplay, WhileTheQuitAsksAboutTheFilter) {
    Prepare();
    qirMainMenu(std::to_string(main), 142); // "Quit"
    ASSERT_NE(WaitWindow("Proceed filter", 10000), 0u) << LogTail();
    LoseTheDisplayAndCheck();
}
