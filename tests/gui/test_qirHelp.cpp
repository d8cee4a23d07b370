// The real qir's help, driven as a user would with xdotool and read back
// through the drawlog shim: Help in the main menu shows the folder-list
// page, links lead on, Back, Forward and Help index go along; a missing
// page is reported in an error box and the page stays; a web reference runs the
// configured program with the exact address as its one argument, and
// nothing of a hostile one ever runs as a command; dragging over a page
// puts the text in cut buffer 0, read from a connection of this test.
// This process opens no InterViews session, so the program's and
// xdotool's children are its own.
#include <gtest/gtest.h>

#include "qirProgramTest.h"

#include <X11/Xlib.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

class HelpEndToEnd : public qirProgramTest {
protected:
    std::string Log() const { return qirReadFile(Dir() + "/QIR.log"); }
    void Write(const std::string& path, const std::string& text) {
        FILE* f = fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr) << path;
        fputs(text.c_str(), f);
        fclose(f);
    }
    void StartHere() {
        Start({{"MAIL", home + "/spool"}});
        main = qirFindWindow(title, 10);
        ASSERT_FALSE(main.empty()) << "no main window\n" << LogTail();
    }
    // The word drawn in window w, followed on its line by the words of
    // rest; false when it is not shown.
    bool Find(unsigned long w, const std::vector<std::string>& words, qirDrawnLine* at) {
        std::vector<qirDrawnLine> drawn = draw.Words(w);
        for (size_t i = 0; i + words.size() <= drawn.size(); ++i) {
            size_t k = 0;
            while (k < words.size() && drawn[i + k].text == words[k] && drawn[i + k].y == drawn[i].y)
                ++k;
            if (k == words.size()) {
                *at = drawn[i];
                return true;
            }
        }
        return false;
    }
    bool Shows(unsigned long w, const std::string& line) {
        for (const qirDrawnLine& l : draw.Lines(w))
            if (l.text.find(line) != std::string::npos)
                return true;
        return false;
    }
    std::string Dump(unsigned long w) {
        std::string out;
        for (const qirDrawnLine& l : draw.Lines(w))
            out += std::to_string(l.y) + ": " + l.text + "\n";
        return out;
    }
    // Clicks the first letter of the words, as a user clicks a link.
    void Click(unsigned long w, const std::vector<std::string>& words) {
        qirDrawnLine at{0, 0, ""};
        ASSERT_TRUE(WaitFor([&] { return Find(w, words, &at); }, 5000)) << words[0] << " not shown\n" << Dump(w);
        qirShell("xdotool mousemove --window " + std::to_string(w) + " " + std::to_string(at.x + 3) + " " +
                 std::to_string(at.y - 4) + " click 1");
    }
    // The help window, opened from the main menu's Help pulldown: the entry
    // at height y of the main window (its first entry is at 36).
    unsigned long HelpFromMenu(int y) {
        unsigned long m = std::stoul(main);
        qirDrawnLine help{0, 0, ""};
        EXPECT_TRUE(WaitFor([&] {
            for (const qirDrawnLine& word : draw.Words(m))
                if (word.text == "Help" && word.y < 25) {
                    help = word;
                    return true;
                }
            return false;
        }, 5000)) << "no Help in the menu bar\n" << Dump(m);
        int x = help.x + 10;
        qirShell("xdotool mousemove --window " + main + " " + std::to_string(x) + " 12 mousedown 1 sleep 0.3 "
                 "mousemove --window " + main + " " + std::to_string(x + 10) + " " + std::to_string(y) +
                 " sleep 0.3 mouseup 1");
        std::string w = qirFindWindow("Quorvane Help", 5);
        return w.empty() ? 0 : std::stoul(w);
    }
    int Quit() {
        qirMainMenu(main, 142);
        return qir.Wait(10000);
    }

    std::string main;
};

std::string CutBuffer() {
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy)
        return "<no display>";
    int n = 0;
    char* data = XFetchBytes(dpy, &n);
    std::string s(data ? data : "", data ? n : 0);
    if (data)
        XFree(data);
    XCloseDisplay(dpy);
    return s;
}

}  // namespace

TEST_F(HelpEndToEnd, ShippedPagesFromTheMenuWithLinksBackForwardAndIndex) {
    StartHere();
    unsigned long help = HelpFromMenu(36);
    ASSERT_NE(help, 0u) << "no help window\n" << Log();
    ASSERT_TRUE(WaitFor([&] { return Shows(help, "The Main Window"); }, 5000)) << Dump(help);
    EXPECT_TRUE(Shows(help, "The File menu")) << Dump(help);

    Click(help, {"message", "list", "window"});
    EXPECT_TRUE(WaitFor([&] { return Shows(help, "The Message List"); }, 5000)) << Dump(help);
    Click(help, {"Back"});
    EXPECT_TRUE(WaitFor([&] { return Shows(help, "The Main Window"); }, 5000)) << Dump(help);
    Click(help, {"Forward"});
    EXPECT_TRUE(WaitFor([&] { return Shows(help, "The Message List"); }, 5000)) << Dump(help);
    Click(help, {"Help", "index"});
    EXPECT_TRUE(WaitFor([&] { return Shows(help, "Quorvane Help") && Shows(help, "The windows"); }, 5000)) << Dump(help);
    EXPECT_EQ(Quit(), 0);
}

TEST_F(HelpEndToEnd, MissingPagesWebReferencesAndTheCutBuffer) {
    std::string pages = home + "/help";
    mkdir(pages.c_str(), 0700);
    std::string web = "http://example.org/a?b=1&c=two words";
    std::string hostile = "http://x.org/;touch " + home + "/pwned;$(touch " + home + "/pwned2)`touch " + home +
                          "/pwned3`'\"";
    Write(pages + "/h_folders.rtf",
          "<bold>Test folder page</bold>\n\n"
          "<href><param>nowhere.rtf</param>a missing page</href>\n\n"
          "<href><param>" + web + "</param>a web page</href>\n\n"
          "<href><param>" + hostile + "</param>a hostile page</href>\n\n"
          "<href><param>gopher:hole</param>a gopher hole</href>\n\n"
          "<href><param>mailto:someone@example.org</param>write to us</href>\n\n"
          "Select this text here.\n");
    Write(home + "/record.sh", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> " + home + "/recorded\n");
    chmod((home + "/record.sh").c_str(), 0700);
    WriteConfig("HelpPath " + pages + "\nHelpReferences {\n    http \"" + home + "/record.sh %s\"\n}\n");
    StartHere();
    unsigned long help = HelpFromMenu(36);
    ASSERT_NE(help, 0u) << "no help window\n" << Log();
    ASSERT_TRUE(WaitFor([&] { return Shows(help, "Test folder page"); }, 5000)) << Dump(help);

    // A page that is not there: an error box, and the page stays.
    Click(help, {"a", "missing", "page"});
    std::string error = "E Page \"a missing page\" at path '" + pages + "/nowhere.rtf' not found !";
    EXPECT_TRUE(WaitFor([&] { return Log().find(error) != std::string::npos; }, 5000)) << Log();
    std::string box = qirFindWindow("Error", 10);
    ASSERT_FALSE(box.empty()) << "no error box";
    EXPECT_TRUE(WaitFor([&] { return Shows(std::stoul(box), "not found"); }, 5000))
        << Dump(std::stoul(box));
    qirShell("xdotool key --window " + box + " Return 2>/dev/null");
    EXPECT_TRUE(WaitFor([&] { return qirFindWindow("Error", 1).empty(); }, 5000)) << "the error box stays";
    EXPECT_TRUE(Shows(help, "Test folder page")) << Dump(help);

    // Web references: the configured program gets each address exactly,
    // as its one argument.
    Click(help, {"a", "web", "page"});
    EXPECT_TRUE(WaitFor([&] { return qirReadFile(home + "/recorded") == web + "\n"; }, 5000))
        << qirReadFile(home + "/recorded");
    Click(help, {"a", "hostile", "page"});
    EXPECT_TRUE(WaitFor([&] { return qirReadFile(home + "/recorded") == web + "\n" + hostile + "\n"; }, 5000))
        << qirReadFile(home + "/recorded");
    struct stat st;
    for (const char* f : {"/pwned", "/pwned2", "/pwned3"})
        EXPECT_NE(stat((home + f).c_str(), &st), 0) << f << " was made: page text ran as a command";

    // A scheme that no program serves: an error box names it.
    Click(help, {"a", "gopher", "hole"});
    EXPECT_TRUE(WaitFor([&] { return Log().find("E Unknown reference manager \"gopher\" !") != std::string::npos; },
                        5000)) << Log();
    box = qirFindWindow("Error", 10);
    ASSERT_FALSE(box.empty()) << "no error box";
    qirShell("xdotool key --window " + box + " Return 2>/dev/null");
    EXPECT_TRUE(WaitFor([&] { return qirFindWindow("Error", 1).empty(); }, 5000)) << "the error box stays";

    // A mail reference opens a letter to its address and runs nothing.
    Click(help, {"write", "to", "us"});
    std::string letter = qirFindWindow("Compose letter", 10);
    ASSERT_FALSE(letter.empty()) << "no compose window\n" << Log();
    // Its fields draw into windows of their own.
    EXPECT_TRUE(WaitFor([&] {
        for (unsigned long d : draw.Drawables())
            if (Shows(d, "someone@example.org")) return true;
        return false;
    }, 5000)) << "no field shows the address";
    EXPECT_EQ(qirReadFile(home + "/recorded"), web + "\n" + hostile + "\n");
    qirShell("xdotool windowraise " + std::to_string(help) + " sleep 0.3");

    // A drag from the first letter of "Select" to that of "here.".
    qirDrawnLine from{0, 0, ""}, to{0, 0, ""};
    ASSERT_TRUE(Find(help, {"Select"}, &from) && Find(help, {"here."}, &to)) << Dump(help);
    std::string w = std::to_string(help);
    qirShell("xdotool mousemove --window " + w + " " + std::to_string(from.x + 3) + " " + std::to_string(from.y - 4) +
             " mousedown 1 sleep 0.2 mousemove --window " + w + " " + std::to_string((from.x + to.x) / 2) + " " +
             std::to_string(to.y - 4) + " sleep 0.2 mousemove --window " + w + " " + std::to_string(to.x + 3) + " " +
             std::to_string(to.y - 4) + " sleep 0.2 mouseup 1 sleep 0.3");
    EXPECT_EQ(CutBuffer(), "Select this text h");
    EXPECT_EQ(Quit(), 0);
}
