// More of a user's moves on the real qir beside the test: waiting for a
// window, finding a line or a word it draws, typing with real keys.
#ifndef QIR_WINDOW_TEST_H
#define QIR_WINDOW_TEST_H

#include "qirProgramTest.h"

#include <algorithm>
#include <string>

class qirWindowTest : public qirProgramTest {
protected:
    // The window titled name once this program draws into it, or 0 after
    // ms milliseconds.
    unsigned long WaitWindow(const std::string& name, int ms = 5000) {
        unsigned long found = 0;
        int polls = 0;
        WaitFor([&] { return ++polls % 5 == 0 && (found = Window(name)) != 0; }, ms);
        return found;
    }
    // The first line of the window that is exactly text, waiting up to ms
    // milliseconds for it.
    bool Find(unsigned long window, const std::string& text, qirDrawnLine* line, int ms = 5000) {
        return WaitFor([&] {
            for (const qirDrawnLine& l : draw.Lines(window))
                if (l.text == text) {
                    *line = l;
                    return true;
                }
            return false;
        }, ms);
    }
    // Where a string drawn on its own (a word of a label, a button's label)
    // stands, waiting up to ms milliseconds.
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
    // Whether a line of the window holds text.  The editor panel draws its
    // text a character at a time, so a line of it reads "s e e": with
    // letters set, blanks are left out of the comparison.
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
    // Real keys, to where the pointer is.
    static void Type(const std::string& text) {
        std::string quoted = "'";
        for (char c : text)
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        qirShell("xdotool type --delay 5 -- " + quoted + "' 2>/dev/null");
    }
    static void Key(const std::string& key) { qirShell("xdotool key " + key + " 2>/dev/null"); }
    // Clicks into a compose window's text, low in it, just above the
    // attachments' counter, and types.
    void TypeText(unsigned long w, const std::string& text) {
        int x, y;
        ASSERT_TRUE(FindWord(w, "Attachments:", &x, &y));
        Click(w, 60, y - 35);
        for (size_t at = 0;;) {
            size_t nl = text.find('\n', at);
            Type(text.substr(at, nl == std::string::npos ? std::string::npos : nl - at));
            if (nl == std::string::npos)
                break;
            Key("Return");
            at = nl + 1;
        }
    }
};

#endif
