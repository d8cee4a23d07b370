// The real qir on the test X server, driven with xdotool as a user would:
// the address book and the filter book opened from the Books menu, entries
// and filters made by typing and clicking, saved, read back from the files
// and after a restart.  What the windows show is read from the drawlog
// shim; widgets are clicked where their labels were drawn.  This process
// opens no InterViews session, so it may run child processes.
#include <gtest/gtest.h>

#include "qirFilterList.h"
#include "qirError.h"
#include "qirTestProgram.h"

// Read before Xlib's macros rename the words.
static std::string PatternOf(const qirFilter* f) {
    // Kept while it is read: Pattern() answers a copy.
    qirString p = f->Condition().Pattern().Pattern();
    return p.Data() ? p.Data() : "";
}

#include "qirProgramTest.h"

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

namespace {

std::string T(const qirString& s) { return s.Data() ? s.Data() : ""; }

class BooksEndToEnd : public qirProgramTest {
protected:
    // The program with its main window mapped: its id.
    std::string StartMain() {
        Start({{"MAIL", home + "/spool"}});
        std::string w = qirFindWindow(title, 10);
        EXPECT_FALSE(w.empty()) << "no main window\n" << LogTail();
        return w;
    }
    bool Poll(const std::function<bool()>& done) { return WaitFor(done, 5000); }
    int Quit(const std::string& main) {
        qirMainMenu(main, 142);
        return qir.Wait(10000);
    }

    // The mapped window of this program titled exactly title, as an id for
    // xdotool; "" when none shows within five seconds.
    std::string Window(const std::string& name) {
        std::string found;
        Poll([&] {
            std::string out = qirShell("xdotool search --onlyvisible --name '^" + name + "$' 2>/dev/null");
            for (size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1) {
                std::string id = out.substr(at, nl - at);
                if (draw.CopiedTo(std::stoul(id))) {
                    found = id;
                    return true;
                }
            }
            return false;
        });
        return found;
    }
    // The window of title, moved where the dialogs centred on it fit on
    // the screen (there is no window manager to place it): its id.
    std::string Book(const std::string& name) {
        std::string w = Window(name);
        if (!w.empty()) {
            qirShell("xdotool windowmove --sync " + w + " 420 150");
            usleep(200000);
        }
        return w;
    }
    bool Visible(const std::string& w) {
        return qirShell("xdotool search --onlyvisible --name '.' 2>/dev/null").find(w + "\n") != std::string::npos;
    }
    bool Gone(const std::string& w) { return Poll([&] { return !Visible(w); }); }
    // Where the window shows the word (the nth time, top to bottom).
    std::pair<int, int> Word(const std::string& w, const std::string& word, int nth = 0) {
        std::pair<int, int> at{-1, -1};
        if (!Poll([&] {
                int seen = 0;
                for (const qirDrawnLine& drawn : draw.Words(std::stoul(w))) {
                    if (drawn.text == word && seen++ == nth) {
                        at = {drawn.x, drawn.y};
                        return true;
                    }
                }
                return false;
            }))
            ADD_FAILURE() << "the window shows no \"" << word << "\"";
        return at;
    }
    // Clicks on a word the window shows, as on a button or a check box.
    void Click(const std::string& w, const std::string& word, int nth = 0) {
        std::pair<int, int> at = Word(w, word, nth);
        qirShell("xdotool mousemove --window " + w + " " + std::to_string(at.first + 3) + " " +
                 std::to_string(at.second - 4) + " click 1");
    }
    void Menu(const std::string& w, const std::string& title, int y) { qirPullDown(w, Word(w, title).first, y); }
    void Type(const std::string& w, const std::string& text) {
        qirShell("xdotool type --window " + w + " --delay 5 '" + text + "'");
    }
    void Key(const std::string& w, const std::string& key) { qirShell("xdotool key --window " + w + " " + key); }
    bool Shows(const std::string& w, const std::string& line) {
        return Poll([&] {
            for (const qirDrawnLine& l : draw.Lines(std::stoul(w)))
                if (l.text == line)
                    return true;
            return false;
        });
    }
    std::vector<std::string> Lines(const std::string& w) {
        draw.Update();
        std::vector<std::string> out;
        for (const qirDrawnLine& l : draw.Lines(std::stoul(w)))
            out.push_back(l.text);
        return out;
    }
};

TEST_F(BooksEndToEnd, AddressBookEntryTypedSavedKeptAndRemoved) {
    std::string main = StartMain();
    ASSERT_FALSE(main.empty());
    Menu(main, "Books", 36); // "Address book"
    std::string book = Book("Addres Book");
    ASSERT_FALSE(book.empty()) << LogTail();

    Menu(book, "Books", 36); // "New..."
    std::string entry = Window("Address book entry");
    ASSERT_FALSE(entry.empty());
    Type(entry, "ann");
    Key(entry, "Tab");
    Type(entry, "ann@example.org");
    Key(entry, "Tab");
    Type(entry, "Doe, Ann");
    Shot("address_entry_typed");
    Click(entry, "OK");
    ASSERT_TRUE(Shows(book, "ann : Doe, Ann")) << LogTail();
    Menu(book, "File", 36); // "Save"
    const std::string record = "ann\nDoe, Ann\n\nann@example.org\n0 0 0 0\n";
    ASSERT_TRUE(Poll([&] { return qirReadFile(Dir() + "/book") == record; }))
        << qirReadFile(Dir() + "/book");

    // The same alias again: refused with the reason, the dialog comes back
    // with what was typed; cancelled, nothing is added.
    Menu(book, "Books", 36);
    entry = Window("Address book entry");
    ASSERT_FALSE(entry.empty());
    Type(entry, "ann");
    Key(entry, "Tab");
    Type(entry, "other@example.org");
    Click(entry, "OK");
    std::string error = Window("Error");
    ASSERT_FALSE(error.empty());
    EXPECT_TRUE(Shows(error, "This alias is already in the address book!"));
    Click(error, "OK");
    entry = Window("Address book entry");
    ASSERT_FALSE(entry.empty());
    Click(entry, "Cancel");
    ASSERT_TRUE(Gone(entry));
    EXPECT_EQ(Quit(main), 0) << LogTail();
    EXPECT_EQ(qirReadFile(Dir() + "/book"), record);

    // A restart shows the entry; removed and quit, it is gone from the file.
    main = StartMain();
    ASSERT_FALSE(main.empty());
    Menu(main, "Books", 36);
    book = Book("Addres Book");
    ASSERT_FALSE(book.empty());
    ASSERT_TRUE(Shows(book, "ann : Doe, Ann"));
    Shot("address_book_window");
    Click(book, "ann");
    Menu(book, "Books", 73); // "Delete"
    std::string confirm = Window("Confirm");
    ASSERT_FALSE(confirm.empty());
    EXPECT_TRUE(Shows(confirm, "ann : Doe, Ann"));
    Click(confirm, "OK");
    ASSERT_TRUE(Poll([&] {
        for (const std::string& l : Lines(book))
            if (l.find("ann") != std::string::npos)
                return false;
        return true;
    }));
    // The File menu's last entry closes the book alone.
    ASSERT_TRUE(ChooseMenu(std::stoul(book), "File", "Quit", "address_book_file_menu"));
    EXPECT_TRUE(Gone(book));
    EXPECT_FALSE(qir.Ended());
    EXPECT_EQ(Quit(main), 0) << LogTail();
    EXPECT_EQ(qirReadFile(Dir() + "/book"), "");
}

TEST_F(BooksEndToEnd, FilterMadeSavedReadByTheEngineAndDiscarded) {
    std::string main = StartMain();
    ASSERT_FALSE(main.empty());
    qirMainMenu(main, 36); // "New folder..."
    std::string d = Window("New folder");
    ASSERT_FALSE(d.empty());
    Type(d, "Reports");
    Key(d, "Return");
    ASSERT_TRUE(Shows(main, "Reports"));

    Menu(main, "Books", 54); // "Filter book"
    std::string book = Book("Filter Book");
    ASSERT_FALSE(book.empty()) << LogTail();
    Menu(book, "Books", 36); // "New..."
    std::string filter = Window("New filter");
    ASSERT_FALSE(filter.empty());
    // From the name to the pattern, whose "*QIR*" goes character by
    // character before the new text is typed.
    Key(filter, "Tab");
    Key(filter, "ctrl+d ctrl+d ctrl+d ctrl+d ctrl+d");
    Type(filter, "*report*");
    Click(filter, "Copy");
    Click(filter, "Reports");
    Shot("filter_dialog_typed");
    Click(filter, "OK");
    ASSERT_TRUE(Shows(book, "Filter N0")) << LogTail();

    // An inactive filter shows as such.
    Menu(book, "Books", 36);
    filter = Window("New filter");
    ASSERT_FALSE(filter.empty());
    Click(filter, "Active");
    Click(filter, "OK");
    ASSERT_TRUE(Shows(book, "Filter N1(non active)"));
    Click(book, "Save"); // "Save and close"
    ASSERT_TRUE(Gone(book));

    qirFilterList filters;
    ASSERT_EQ(filters.Load((Dir() + "/filter").c_str()), 0); // the lock is the program's: read all the same
    ASSERT_EQ(filters.Count(), 2);
    qirFilter* f = filters.First();
    EXPECT_EQ(T(f->Name()), "Filter N0");
    EXPECT_EQ(f->IsActive(), 1);
    EXPECT_EQ(f->Condition().Fields(), 8);
    EXPECT_EQ(PatternOf(f), "*report*");
    EXPECT_EQ(f->Actions(), 1);
    EXPECT_EQ(T(f->CopyPath()), "Folder_0.QIR");
    EXPECT_EQ(filters.Last()->IsActive(), 0);

    // Discard and close drops what was not saved.
    const std::string saved = qirReadFile(Dir() + "/filter");
    Menu(main, "Books", 54);
    book = Book("Filter Book");
    ASSERT_FALSE(book.empty());
    Menu(book, "Books", 36);
    filter = Window("New filter");
    ASSERT_FALSE(filter.empty());
    Click(filter, "OK");
    ASSERT_TRUE(Shows(book, "Filter N2"));
    Click(book, "Cancel");
    ASSERT_TRUE(Gone(book));
    Menu(main, "Books", 54);
    book = Book("Filter Book");
    ASSERT_FALSE(book.empty());
    ASSERT_TRUE(Shows(book, "Filter N1(non active)"));
    EXPECT_FALSE(Shows(book, "Filter N2"));
    EXPECT_EQ(Quit(main), 0) << LogTail();
    EXPECT_EQ(qirReadFile(Dir() + "/filter"), saved);

    // Another live process holds the filter file's lock: a save fails in
    // an error box that says why, and the book stays open.
    FILE* lock = fopen((Dir() + "/filter.LOCK").c_str(), "w");
    ASSERT_NE(lock, nullptr);
    fprintf(lock, "%d\n", (int)getpid());
    fclose(lock);
    main = StartMain();
    ASSERT_FALSE(main.empty());
    Menu(main, "Books", 54);
    book = Book("Filter Book");
    ASSERT_FALSE(book.empty());
    Click(book, "Save");
    std::string error = Window("Error");
    ASSERT_FALSE(error.empty()) << LogTail();
    EXPECT_TRUE(Poll([&] {
        for (const std::string& l : Lines(error))
            if (l.rfind("Can't save filter file! Another QIR holds the lock of filter file", 0) == 0)
                return true;
        return false;
    })) << testing::PrintToString(Lines(error));
    Shot("filter_save_error");
    Click(error, "OK");
    ASSERT_TRUE(Gone(error));
    EXPECT_TRUE(Visible(book));
    // The book's Help button (below its Help menu) shows the page on filters.
    Click(book, "Help", 1);
    std::string help = Window("Quorvane Help");
    ASSERT_FALSE(help.empty()) << LogTail();
    EXPECT_TRUE(Shows(help, "Filters"));
    EXPECT_EQ(Quit(main), 0) << LogTail();
    EXPECT_EQ(qirReadFile(Dir() + "/filter"), saved);
}

}  // namespace
