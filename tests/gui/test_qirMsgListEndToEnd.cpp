// The real qir with a folder of 50 messages, used as a user would: the
// folder opened from the folder list, rows selected with clicks, deleted
// and undeleted through the menu with the counters following, ten moved to
// another folder and five copied, the list sorted by subject, everything
// exported and imported into a third folder, the window closed through its
// menu and opened again; then the folders on disk after quit, and the sort
// order again after a restart, from the layout file.
#include <gtest/gtest.h>

#include "qirFolder.h"
#include "qirMsg.h"

static std::string SubjectOf(const qirMsg* m) { return m->Subject() && m->Subject()->Data() ? m->Subject()->Data() : ""; }

#include "qirProgramTest.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

const int messages = 50;

std::string Topic(int i) {
    char s[16];
    snprintf(s, sizeof s, "Topic %02d", (i * 37) % messages);
    return s;
}

// The rows and counters of a message list window as drawn now.
struct ListPage {
    std::vector<qirDrawnLine> rows; // top to bottom
    std::string selected, deleted, total;
};

class MsgListEndToEnd : public qirProgramTest {
protected:
    void SetUp() override {
        qirProgramTest::SetUp();
        if (IsSkipped())
            return;
        std::string dir = Dir();
        for (const char* folder : {"Work", "Archive", "Back"})
            mkdir((dir + "/" + folder + ".QIR").c_str(), 0700);
        for (int i = 0; i < messages; i++) {
            char date[64];
            snprintf(date, sizeof date, "Mon, 01 Jan 2024 10:%02d:00 +0000", i);
            std::string text = "From: Sender <s" + std::to_string(i % 7) + "@example.org>\nDate: " + date +
                               "\nSubject: " + Topic(i) + "\n\nText " + std::to_string(i) + "\n" +
                               (i % 10 == 0 ? "From the middle of the text\n" : "");
            FILE* f = fmemopen(&text[0], text.size(), "r");
            qirMsg m{qirPath((dir + "/Work.QIR/Message" + std::to_string(i)).c_str())};
            ASSERT_EQ(m.ImportRFC822(f), 0);
            ASSERT_EQ(m.Save(), 0);
            fclose(f);
            all.insert(Topic(i));
        }
    }
    // Starts the program and waits for its main window: 0 when it did not come.
    unsigned long Run() {
        Start({{"TZ", "UTC"}});
        return MainWindow();
    }

    // The rows are the words left of the counters' column, one line per
    // baseline; a counter is the word after its label.
    ListPage Read(unsigned long list) {
        ListPage page;
        std::vector<qirDrawnLine> words = draw.Words(list);
        int column = INT_MAX;
        for (const qirDrawnLine& w : words)
            if (w.text == "Selected" || w.text == "Deleted" || w.text == "Total")
                column = std::min(column, w.x);
        for (const qirDrawnLine& w : words) {
            std::string* counter = nullptr;
            for (const qirDrawnLine& label : words)
                if (label.y == w.y && label.x == column && w.x > label.x)
                    counter = label.text == "Selected" ? &page.selected : label.text == "Deleted" ? &page.deleted
                              : label.text == "Total"  ? &page.total : nullptr;
            if (counter)
                *counter = w.text;
        }
        for (const qirDrawnLine& w : words) {
            if (w.x >= column || w.y < 30 || w.text.size() < 2)
                continue;
            if (!page.rows.empty() && page.rows.back().y == w.y)
                page.rows.back().text += " " + w.text;
            else
                page.rows.push_back(w);
        }
        return page;
    }
    // Waits until the page shows what done() wants; the page as last read.
    ListPage WaitPage(unsigned long list, const std::function<bool(const ListPage&)>& done, int ms = 5000) {
        ListPage page;
        WaitFor([&] {
            page = Read(list);
            return done(page);
        }, ms);
        return page;
    }
    static std::string SubjectOfRow(const qirDrawnLine& row) {
        size_t at = row.text.find("Topic ");
        return at == std::string::npos ? "" : row.text.substr(at);
    }
    // Selects rows first..last (a click, then Control-clicks), as a user
    // does, each click given three tries (a synthetic click is now and then
    // lost); the subjects selected.
    std::vector<std::string> SelectRows(unsigned long list, int first, int last) {
        std::vector<std::string> subjects;
        for (int r = first; r <= last; r++) {
            ListPage page = Read(list);
            const qirDrawnLine& row = page.rows.at(r);
            subjects.push_back(SubjectOfRow(row));
            std::string want = std::to_string(r - first + 1);
            for (int attempt = 0; attempt < 3; attempt++) {
                Click(list, row.x + 40, row.y - 4, r != first);
                if (WaitPage(list, [&](const ListPage& p) { return p.selected == want; }, 2000).selected == want)
                    break;
            }
        }
        EXPECT_EQ(Read(list).selected, std::to_string(last - first + 1));
        return subjects;
    }
    // Chooses the folder in the "Choose folder" dialog and presses OK.
    void ChooseFolder(const std::string& name) {
        unsigned long dialog = 0;
        ASSERT_TRUE(WaitFor([&] { return (dialog = Window("Choose folder")) != 0; }, 5000));
        Shot("choose-folder");
        ASSERT_TRUE(ClickWord(dialog, name));
        usleep(200000);
        ASSERT_TRUE(ClickWord(dialog, "OK"));
        ASSERT_TRUE(WaitFor([&] { return Window("Choose folder") == 0; }, 5000));
    }
    std::vector<std::string> OnDisk(const char* folder) {
        qirFolder f{qirPath((Dir() + "/" + folder + ".QIR").c_str())};
        f.Load();
        std::vector<std::string> out;
        for (qirMsg* m = f.First(); m; m = f.Next(m))
            out.push_back(SubjectOf(m));
        std::sort(out.begin(), out.end());
        return out;
    }
    static bool Sorted(const ListPage& page) {
        std::vector<std::string> s;
        for (const qirDrawnLine& r : page.rows)
            s.push_back(SubjectOfRow(r));
        return !s.empty() && std::is_sorted(s.begin(), s.end());
    }

    std::set<std::string> all;
};

TEST_F(MsgListEndToEnd, DeleteMoveCopySortExportImportCloseAndRestart) {
    unsigned long main = Run();
    ASSERT_NE(main, 0u) << LogTail();
    unsigned long work = OpenFolder(main, "Work");
    ASSERT_NE(work, 0u) << LogTail();
    ListPage page = WaitPage(work, [](const ListPage& p) { return p.total == "50" && p.rows.size() >= 20; });
    ASSERT_EQ(page.total, "50");
    ASSERT_GE(page.rows.size(), 20u);

    // Delete and undelete five rows: the counter and the status faces.
    SelectRows(work, 0, 4);
    ASSERT_TRUE(ChooseMenu(work, "Message", "Delete", "msglist-menu"));
    page = WaitPage(work, [](const ListPage& p) { return p.deleted == "5"; });
    EXPECT_EQ(page.deleted, "5");
    auto faces = [&] {
        std::vector<std::string> f;
        for (int r = 0; r < 6; r++)
            f.push_back(StatusFace(work, page.rows[r]));
        return f;
    };
    std::vector<std::string> shown, want = {"D", "D", "D", "D", "D", "U"};
    EXPECT_TRUE(WaitFor([&] { return (shown = faces()) == want; }, 3000)) << shown[0] << shown[5];
    ASSERT_TRUE(ChooseMenu(work, "Message", "Undelete"));
    page = WaitPage(work, [](const ListPage& p) { return p.deleted == "0"; });
    EXPECT_EQ(page.deleted, "0");
    EXPECT_TRUE(WaitFor([&] { return StatusFace(work, page.rows[0]) == "U"; }, 3000));

    // Move ten to Archive: gone from here at once, there on disk; copy five
    // more (the rows after the moved ones took their places).
    std::vector<std::string> moved = SelectRows(work, 5, 14);
    ASSERT_TRUE(ChooseMenu(work, "Message", "Move to folder..."));
    ChooseFolder("Archive");
    page = WaitPage(work, [](const ListPage& p) { return p.total == "40"; });
    EXPECT_EQ(page.total, "40");
    EXPECT_EQ(page.deleted, "0");
    EXPECT_EQ(page.selected, "0");
    EXPECT_TRUE(WaitFor([&] { return OnDisk("Archive").size() == 10; }, 5000)) << OnDisk("Archive").size();
    std::vector<std::string> copied = SelectRows(work, 5, 9);
    ASSERT_TRUE(ChooseMenu(work, "Message", "Copy to folder..."));
    ChooseFolder("Archive");
    EXPECT_TRUE(WaitFor([&] { return OnDisk("Archive").size() == 15; }, 5000)) << OnDisk("Archive").size();

    // Sort by subject through the menu: the rows follow at once.
    ASSERT_TRUE(ChooseMenu(work, "View", "By subject", "msglist-sort-menu"));
    page = WaitPage(work, [](const ListPage& p) { return Sorted(p) && SubjectOfRow(p.rows[0]) == "Topic 00"; });
    EXPECT_TRUE(Sorted(page));

    // Export everything into ~/Work (the name the dialog offers).
    ASSERT_TRUE(ChooseMenu(work, "Message", "Select all"));
    EXPECT_EQ(WaitPage(work, [](const ListPage& p) { return p.selected == "40"; }).selected, "40");
    ASSERT_TRUE(ChooseMenu(work, "Message", "Export..."));
    unsigned long save = 0;
    ASSERT_TRUE(WaitFor([&] { return (save = Window("Save file")) != 0; }, 5000));
    qirShell("xdotool mousemove --window " + std::to_string(save) + " 20 20 sleep 0.2 key Return");
    std::string mbox = home + "/Work";
    ASSERT_TRUE(WaitFor([&] { return LogTail().find("40 messages exported") != std::string::npos; }, 10000))
        << LogTail();
    EXPECT_EQ(qirShell("python3 -c 'import mailbox,sys; print(len(mailbox.mbox(sys.argv[1])))' " + mbox), "40\n");

    // Import it into Back through that window's menu.
    unsigned long back = OpenFolder(main, "Back");
    ASSERT_NE(back, 0u);
    ASSERT_TRUE(ChooseMenu(back, "File", "Import mailbox..."));
    unsigned long open = 0;
    ASSERT_TRUE(WaitFor([&] { return (open = Window("Open file")) != 0; }, 5000));
    qirShell("xdotool mousemove --window " + std::to_string(open) + " 20 20 sleep 0.2 type --delay 10 '" + mbox + "'");
    qirShell("xdotool key Return");
    page = WaitPage(back, [](const ListPage& p) { return p.total == "40"; }, 10000);
    EXPECT_EQ(page.total, "40") << LogTail();

    // Close Work through its menu, then open it again: the moved messages
    // are gone, the order is the subject order.
    ASSERT_TRUE(ChooseMenu(work, "File", "Close"));
    EXPECT_TRUE(WaitFor([&] { return Window("Work") == 0; }, 5000));
    work = OpenFolder(main, "Work");
    ASSERT_NE(work, 0u);
    page = WaitPage(work, [](const ListPage& p) { return p.total == "40" && Sorted(p); });
    EXPECT_EQ(page.total, "40");
    EXPECT_TRUE(Sorted(page));
    EXPECT_EQ(Quit(main), 0) << LogTail();

    std::vector<std::string> kept, archived(moved);
    archived.insert(archived.end(), copied.begin(), copied.end());
    std::sort(archived.begin(), archived.end());
    for (const std::string& s : all)
        if (std::find(moved.begin(), moved.end(), s) == moved.end())
            kept.push_back(s);
    EXPECT_EQ(OnDisk("Work"), kept);
    EXPECT_EQ(OnDisk("Archive"), archived);
    EXPECT_EQ(OnDisk("Back"), kept);
    std::string layout = qirReadFile(Dir() + "/layout");
    EXPECT_NE(layout.find("Work {\n        Sort {\n            Method 5\n"), std::string::npos) << layout;

    // A restart opens Work in the stored order.
    main = Run();
    ASSERT_NE(main, 0u) << LogTail();
    work = OpenFolder(main, "Work");
    ASSERT_NE(work, 0u);
    page = WaitPage(work, [](const ListPage& p) { return p.total == "40" && Sorted(p); });
    EXPECT_TRUE(Sorted(page));
    EXPECT_EQ(SubjectOfRow(page.rows.at(0)), kept[0]);
    EXPECT_EQ(Quit(main), 0) << LogTail();
}

// 81 message directories a crash left without their files, or with empty
// ones, among the messages: opening the folder tells them in one error box
// that names how many and where, lists only the messages, and the
// directories are on disk as they were after the quit (a move out of the
// folder renumbers around them).
TEST_F(MsgListEndToEnd, BrokenDirectoriesAreToldOnceAndKept) {
    const std::string work = Dir() + "/Work.QIR";
    const int broken = 81;
    for (int i = messages; i < messages + broken; i++) {
        std::string d = work + "/Message" + std::to_string(i);
        ASSERT_EQ(mkdir(d.c_str(), 0700), 0);
        if (i % 2)
            qirShell(": > " + d + "/Header.822 && : > " + d + "/Body.PARSED");
    }
    unsigned long main = Run();
    ASSERT_NE(main, 0u) << LogTail();
    qirDrawnLine row{0, 0, ""};
    ASSERT_TRUE(WaitFor([&] {
        for (const qirDrawnLine& l : draw.Lines(main))
            if (l.text == "Work")
                row = l;
        return !row.text.empty();
    }, 10000));
    qirShell("xdotool mousemove --window " + std::to_string(main) + " " + std::to_string(row.x + 10) + " " +
             std::to_string(row.y - 4) + " click --repeat 2 --delay 80 1");
    unsigned long box = 0;
    ASSERT_TRUE(WaitFor([&] { return (box = Window("Error")) != 0; }, 10000)) << LogTail();
    std::string said;
    EXPECT_TRUE(WaitFor([&] {
        said.clear();
        for (const qirDrawnLine& l : draw.Lines(box))
            said += l.text + " ";
        return said.find("81 message directories") != std::string::npos;
    }, 5000)) << said;
    Shot("broken-directories");
    ASSERT_TRUE(ClickWord(box, "OK"));
    unsigned long list = 0;
    ASSERT_TRUE(WaitFor([&] { return (list = Window("Work")) != 0; }, 10000)) << LogTail();
    ListPage page = WaitPage(list, [](const ListPage& p) { return p.total == "50"; });
    EXPECT_EQ(page.total, "50");
    EXPECT_EQ(Window("Error"), 0u);
    std::vector<std::string> moved = SelectRows(list, 0, 0);
    ASSERT_TRUE(ChooseMenu(list, "Message", "Move to folder..."));
    ChooseFolder("Archive");
    page = WaitPage(list, [](const ListPage& p) { return p.total == "49"; });
    EXPECT_EQ(page.total, "49");
    Shot("msglist-after-move");
    EXPECT_EQ(Quit(main), 0) << LogTail();

    std::string log = qirReadFile(Dir() + "/QIR.log");
    EXPECT_EQ(log.find("Error loading"), std::string::npos);
    size_t told = log.find("could not be read");
    EXPECT_NE(told, std::string::npos);
    EXPECT_EQ(log.find("could not be read", told + 1), std::string::npos) << "told more than once";
    std::vector<std::string> kept;
    for (const std::string& s : all)
        if (s != moved[0])
            kept.push_back(s);
    EXPECT_EQ(OnDisk("Work"), kept);
    EXPECT_EQ(OnDisk("Archive"), moved);
    // Renumbered around: the broken ones now follow the 49 messages.
    for (int i = 0; i < broken; i++) {
        std::string d = work + "/Message" + std::to_string(messages - 1 + i);
        struct stat st;
        EXPECT_EQ(stat(d.c_str(), &st), 0) << d;
        EXPECT_EQ(qirReadFile(d + "/Body.PARSED"), "") << d;
    }
    struct stat st;
    EXPECT_NE(stat((work + "/Message" + std::to_string(messages - 1 + broken)).c_str(), &st), 0);
}

// A message whose "Header.822" is gone (a crash, another program) is listed
// from its summary.  Export, Reply and Forward chosen on it bring the
// warning that names it, before any file dialog: no file, no letter.
TEST_F(MsgListEndToEnd, AMessageThatCannotBeReadWholeIsRefused) {
    ASSERT_EQ(unlink((Dir() + "/Work.QIR/Message3/Header.822").c_str()), 0);
    unsigned long main = Run();
    ASSERT_NE(main, 0u) << LogTail();
    unsigned long work = OpenFolder(main, "Work");
    ASSERT_NE(work, 0u) << LogTail();
    ListPage page = WaitPage(work, [](const ListPage& p) { return p.total == "50" && p.rows.size() >= 20; });
    int row = -1;
    for (size_t r = 0; r < page.rows.size(); r++)
        if (SubjectOfRow(page.rows[r]) == Topic(3))
            row = (int)r;
    ASSERT_GE(row, 0) << "the message is listed";
    SelectRows(work, row, row);
    const char* shots[] = {"msglist-unreadable-warning", nullptr, nullptr};
    int n = 0;
    for (auto item : {std::make_pair("Message", "Export..."), std::make_pair("Reply", "Reply"),
                      std::make_pair("Forward", "Forward")}) {
        SCOPED_TRACE(item.second);
        ASSERT_TRUE(ChooseMenu(work, item.first, item.second));
        // The first read of the message's rest reports its failure too.
        unsigned long warning = 0;
        ASSERT_TRUE(WaitFor([&] {
            if (unsigned long error = Window("Error"))
                ClickWord(error, "OK");
            return (warning = Window("Warning")) != 0;
        }, 10000)) << LogTail();
        std::string text;
        ASSERT_TRUE(WaitFor([&] {
            text.clear();
            for (const qirDrawnLine& l : draw.Lines(warning))
                text += l.text + " ";
            return text.find("cannot be read whole") != std::string::npos;
        }, 5000)) << text;
        EXPECT_NE(text.find("Work.QIR/Message3"), std::string::npos) << text;
        if (shots[n++])
            Shot(shots[n - 1]);
        EXPECT_EQ(Window("Save file"), 0u);
        ASSERT_TRUE(ClickWord(warning, "OK"));
        ASSERT_TRUE(WaitFor([&] { return Window("Warning") == 0; }, 5000));
    }
    EXPECT_EQ(Quit(main), 0) << LogTail();
    EXPECT_EQ(access((home + "/Work").c_str(), F_OK), -1) << "nothing exported";
    EXPECT_EQ(qirShell("ls '" + Dir() + "/Drafts' 2>/dev/null | grep -c Message"), "0\n") << "no letter begun";
    EXPECT_EQ(OnDisk("Work").size(), 50u) << "the message is kept";
}

}  // namespace
