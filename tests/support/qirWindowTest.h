// A test of the real qir that drives its windows as a user does: windows
// found by title, what they show read back from the draw log, real pointer
// and key input (xdotool over XTEST).
#ifndef QIR_WINDOW_TEST_H
#define QIR_WINDOW_TEST_H

#include "qirProgramTest.h"

#include <algorithm>
#include <string>

class qirWindowTest : public qirProgramTest {
protected:
    // The mapped window titled exactly name that this program draws, or 0
    // after ms milliseconds.
    unsigned long Window(const std::string& name, int ms = 5000) {
        unsigned long found = 0;
        WaitFor([&] { return (found = WindowNow(name)) != 0; }, ms);
        return found;
    }
    unsigned long WindowNow(const std::string& name) {
        std::string out = qirShell("xdotool search --onlyvisible --name '^" + name + "$' 2>/dev/null");
        for (size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1) {
            unsigned long id = std::stoul(out.substr(at, nl - at));
            if (draw.CopiedTo(id))
                return id;
        }
        return 0;
    }

    // The first line of the window that is exactly text (or, with prefix
    // set, begins with it), waiting up to ms milliseconds for it.
    bool Find(unsigned long window, const std::string& text, qirDrawnLine* line, int ms = 5000, bool prefix = false) {
        return WaitFor([&] {
            for (const qirDrawnLine& l : draw.Lines(window))
                if (prefix ? l.text.compare(0, text.size(), text) == 0 : l.text == text) {
                    *line = l;
                    return true;
                }
            return false;
        }, ms);
    }
    // The origin of a string drawn on its own (a word of a label, a
    // button's label, a menu title), waiting up to ms milliseconds.
    bool FindWord(unsigned long window, const std::string& word, int* x, int* y, int ms = 5000) {
        return WaitFor([&] {
            for (const qirDrawnLine& w : draw.Words(window))
                if (w.text == word) {
                    *x = w.x;
                    *y = w.y;
                    return true;
                }
            return false;
        }, ms);
    }
    // Whether a line of the window holds text.  The editor panel draws
    // its text a character at a time, so a line of it reads "s e e": with
    // letters set, blanks on both sides are left out of the comparison.
    bool Shows(unsigned long window, const std::string& text, bool letters = false) {
        auto squeeze = [&](std::string s) {
            if (letters)
                s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
            return s;
        };
        std::string wanted = squeeze(text);
        draw.Update();
        for (const qirDrawnLine& l : draw.Lines(window))
            if (squeeze(l.text).find(wanted) != std::string::npos)
                return true;
        return false;
    }

    // Real pointer and keys: the pointer moves to (x, y) of the window and
    // clicks there; typed text goes where the pointer is.
    static void Click(unsigned long window, int x, int y, int repeat = 1) {
        qirShell("xdotool mousemove --window " + std::to_string(window) + " " + std::to_string(x) + " " +
                 std::to_string(y) + " click --repeat " + std::to_string(repeat) + " --delay 80 1");
    }
    static void Type(const std::string& text) {
        std::string quoted = "'";
        for (char c : text)
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        qirShell("xdotool type --delay 5 -- " + quoted + "' 2>/dev/null");
    }
    static void Key(const std::string& key) { qirShell("xdotool key " + key + " 2>/dev/null"); }
    // Clicks the line's text, a little right of its start.
    static void ClickText(unsigned long window, const qirDrawnLine& line, int dx = 10) {
        Click(window, line.x + dx, line.y - 4);
    }
    // Pulls down the menu titled title of the window's menu bar and lets
    // go over its entry entry.
    bool Menu(unsigned long window, const std::string& title, const std::string& entry) {
        int x, y;
        if (!FindWord(window, title, &x, &y, 3000))
            return false;
        qirShell("xdotool mousemove --window " + std::to_string(window) + " " + std::to_string(x + 5) + " " +
                 std::to_string(y - 4) + " mousedown 1 sleep 0.3");
        unsigned long menu = 0;
        qirDrawnLine item;
        bool found = WaitFor([&] {
            for (const auto& shown : draw.WindowsShowing(entry))
                if (shown.first != window) {
                    menu = shown.first;
                    item = shown.second;
                    return true;
                }
            return false;
        }, 3000);
        if (found)
            qirShell("xdotool mousemove --window " + std::to_string(menu) + " " + std::to_string(item.x + 5) + " " +
                     std::to_string(item.y - 4) + " sleep 0.3 mouseup 1");
        else
            qirShell("xdotool mouseup 1");
        return found;
    }

    // Double-clicks the folder's name in the main window: its list window,
    // or 0.
    unsigned long OpenFolder(unsigned long main, const std::string& name) {
        qirDrawnLine row;
        if (!Find(main, name, &row, 10000))
            return 0;
        // Synthetic clicks are now and then lost: a second double click on
        // an open folder does nothing.
        for (int attempt = 0; attempt < 3; attempt++) {
            Click(main, row.x + 10, row.y - 4, 2);
            if (unsigned long list = Window(name, 3000))
                return list;
        }
        return 0;
    }

};

#endif
