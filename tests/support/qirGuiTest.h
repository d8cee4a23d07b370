// The InterViews side of GUI tests: one session per test process, an event
// pump, and where a glyph of a window lies in X pixels (72 dpi: a point is
// a pixel).
#ifndef QIR_GUI_TEST_H
#define QIR_GUI_TEST_H

#include "qirXTest.h"

#include <InterViews/canvas.h>
#include <InterViews/display.h>
#include <InterViews/event.h>
#include <InterViews/geometry.h>
#include <InterViews/session.h>
#include <InterViews/style.h>
#include <InterViews/window.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include <string>

// gtest has a Message of its own; the tests use no InterViews Message.
#undef Message

namespace qirgui {

// ctest runs one test per process: a lost synthetic event must fail that
// test within two minutes instead of leaving a dialog waiting forever.
inline const unsigned watchdog = alarm(120);

inline Session* TheSession() {
    static Session* session = [] {
        static int argc = 1;
        static char name[] = "qir-test";
        static char* argv[] = {name, nullptr};
        return new Session("QIR", argc, argv);
    }();
    return session;
}

// Handles everything the server has for this client, the events another
// connection has just sent included.
inline void Pump() {
    Session* s = TheSession();
    ::Display* d = s->default_display();
    for (int round = 0; round < 3; round++) {
        d->sync();
        // Not pending(): it takes window-level events (the close request)
        // once more before read() takes them again.
        Event e;
        while (s->read(0, 0, e))
            e.handle();
    }
    d->flush();
}

// A title no other test process on the same server uses.
inline std::string Title(const char* base) {
    return std::string(base) + " [" + std::to_string(getpid()) + "]";
}

// Points to X pixels.  InterViews takes 75 dpi unless told otherwise, so
// this is not the identity even on a 72 dpi server.
inline int Px(Coord c) { return TheSession()->default_display()->to_pixels(c); }

// Centre of a handler's allocation in X pixels of its window.
inline void Centre(Canvas* c, const Allocation& a, int* x, int* y) {
    *x = Px((a.left() + a.right()) / 2);
    *y = Px(c->height() - (a.bottom() + a.top()) / 2);
}

// Waits (pumping this client's events) until a window of the title is
// mapped; 0 after two seconds.
inline qirx::XWin WaitWindow(const std::string& title) {
    for (int i = 0; i < 200; i++) {
        Pump();
        if (qirx::XWin w = qirx::FindWindow(title.c_str()))
            return w;
        usleep(10000);
    }
    return 0;
}

// Maps a top-level window holding body, titled title, at (100, 100) and
// answers it once the server shows it; *xwin is its X window.
inline TopLevelWindow* MapTitled(Glyph* body, const std::string& title, qirx::XWin* xwin) {
    TopLevelWindow* window = new TopLevelWindow(body);
    Style* s = new Style(TheSession()->style());
    s->attribute("name", title.c_str());
    s->attribute("title", title.c_str());
    window->style(s);
    window->place(100, 100);
    window->map();
    *xwin = WaitWindow(title);
    Pump();
    return window;
}

// For tests/screenshots.sh: with QIR_SHOT_DIR set, announces name.ready
// there and keeps the windows painted until the script has written
// name.png (ten seconds at most).  No child process from here: the
// InterViews dispatcher reaps every child with waitpid(-1).
inline void Shot(const char* name) {
    const char* dir = getenv("QIR_SHOT_DIR");
    if (!dir)
        return;
    Pump();
    std::string base = std::string(dir) + "/" + name;
    if (FILE* f = fopen((base + ".ready").c_str(), "w"))
        fclose(f);
    struct stat st;
    for (int i = 0; i < 1000 && stat((base + ".png").c_str(), &st) != 0; i++) {
        Pump();
        usleep(10000);
    }
}

}  // namespace qirgui

#endif
