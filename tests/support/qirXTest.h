// Plain Xlib for GUI tests: find a window by title and send it the window
// manager's close request or synthetic pointer and key events, as a second
// client would.  Include before any InterViews header (their macros rename
// Display and Window), and after gtest (Xlib defines None and Bool).
#ifndef QIR_XTEST_H
#define QIR_XTEST_H

#ifdef iv__scope_h
#error "include qirXTest.h before the InterViews headers"
#endif

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstring>
#include <initializer_list>
#include <string>

namespace qirx {

typedef ::Display XDisplay;
typedef ::Window XWin;

// One connection of its own per test process.
inline XDisplay* Connection() {
    static XDisplay* dpy = XOpenDisplay(nullptr);
    return dpy;
}

inline int IgnoreError(XDisplay*, XErrorEvent*) { return 0; }

// The mapped top-level window whose WM_NAME is title, or 0.  Windows of
// other test processes may go away meanwhile: their errors are ignored.
inline XWin FindWindowIn(const char* title);
inline XWin FindWindow(const char* title) {
    XDisplay* dpy = Connection();
    if (!dpy)
        return 0;
    XSync(dpy, False);
    int (*old)(XDisplay*, XErrorEvent*) = XSetErrorHandler(IgnoreError);
    XWin w = FindWindowIn(title);
    XSync(dpy, False);
    XSetErrorHandler(old);
    return w;
}

inline XWin FindWindowIn(const char* title) {
    XDisplay* dpy = Connection();
    XWin root = DefaultRootWindow(dpy), parent, *kids = nullptr;
    unsigned int n = 0;
    XWin found = 0;
    if (!XQueryTree(dpy, root, &root, &parent, &kids, &n))
        return 0;
    for (unsigned int i = n; i-- > 0 && !found;) {
        char* name = nullptr;
        if (XFetchName(dpy, kids[i], &name) && name) {
            XWindowAttributes wa;
            if (strcmp(name, title) == 0 && XGetWindowAttributes(dpy, kids[i], &wa) &&
                wa.map_state == IsViewable)
                found = kids[i];
            XFree(name);
        }
    }
    if (kids)
        XFree(kids);
    return found;
}

inline void Geometry(XWin w, int* x, int* y, int* width, int* height) {
    XWindowAttributes wa;
    XGetWindowAttributes(Connection(), w, &wa);
    XWin child;
    XTranslateCoordinates(Connection(), w, DefaultRootWindow(Connection()), 0, 0, x, y, &child);
    *width = wa.width;
    *height = wa.height;
}

// The window manager's close request (WM_PROTOCOLS / WM_DELETE_WINDOW).
inline void SendDelete(XWin w) {
    XDisplay* dpy = Connection();
    XEvent ev;
    memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, w, False, NoEventMask, &ev);
    XSync(dpy, False);
}

// Event times of their own, far enough apart that no two clicks make a
// double click unless asked for.
inline Time NextTime(int gapMs = 1000) {
    static Time t = 100000;
    t += gapMs;
    return t;
}

inline void Fill(XEvent& ev, int type, XWin w, int x, int y, unsigned int state, Time t) {
    XDisplay* dpy = Connection();
    memset(&ev, 0, sizeof ev);
    int rx = x, ry = y;
    XWin child;
    XTranslateCoordinates(dpy, w, DefaultRootWindow(dpy), x, y, &rx, &ry, &child);
    ev.xbutton.type = type;
    ev.xbutton.display = dpy;
    ev.xbutton.window = w;
    ev.xbutton.root = DefaultRootWindow(dpy);
    ev.xbutton.subwindow = None;
    ev.xbutton.time = t;
    ev.xbutton.x = x;
    ev.xbutton.y = y;
    ev.xbutton.x_root = rx;
    ev.xbutton.y_root = ry;
    ev.xbutton.state = state;
    ev.xbutton.same_screen = True;
}

// state holds the modifier and button masks in force before the event.
inline void SendButton(XWin w, int x, int y, unsigned int button, bool press, unsigned int state,
                       Time t) {
    XEvent ev;
    Fill(ev, press ? ButtonPress : ButtonRelease, w, x, y, state, t);
    ev.xbutton.button = button;
    XSendEvent(Connection(), w, False, NoEventMask, &ev);
    XSync(Connection(), False);
}

inline void SendMotion(XWin w, int x, int y, unsigned int state, Time t) {
    XEvent ev;
    Fill(ev, MotionNotify, w, x, y, state, t);
    ev.xmotion.is_hint = NotifyNormal;
    XSendEvent(Connection(), w, False, NoEventMask, &ev);
    XSync(Connection(), False);
}

inline void Click(XWin w, int x, int y, unsigned int button = Button1, unsigned int mods = 0,
                  int gapMs = 1000) {
    Time t = NextTime(gapMs);
    unsigned int mask = button == Button1 ? Button1Mask : button == Button2 ? Button2Mask : Button3Mask;
    SendButton(w, x, y, button, true, mods, t);
    SendButton(w, x, y, button, false, mods | mask, t + 1);
}

inline void SendKey(XWin w, KeySym sym, unsigned int state = 0) {
    XDisplay* dpy = Connection();
    XEvent ev;
    Time t = NextTime(50);
    for (int type : {KeyPress, KeyRelease}) {
        Fill(ev, type, w, 1, 1, state, t++);
        ev.xkey.keycode = XKeysymToKeycode(dpy, sym);
        XSendEvent(dpy, w, False, NoEventMask, &ev);
    }
    XSync(dpy, False);
}

// Real pointer input through the XTEST extension, for what synthetic events
// cannot show: InterViews asks the server where the pointer is and which
// buttons are down.  Coordinates are pixels of window w.
inline void PointerTo(XWin w, int x, int y) {
    XDisplay* dpy = Connection();
    int rx, ry;
    XWin child;
    XTranslateCoordinates(dpy, w, DefaultRootWindow(dpy), x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(dpy, DefaultScreen(dpy), rx, ry, CurrentTime);
    XSync(dpy, False);
}

inline void PointerButton(unsigned int button, bool press) {
    XTestFakeButtonEvent(Connection(), button, press, CurrentTime);
    XSync(Connection(), False);
}

inline void ControlKey(bool press) {
    XDisplay* dpy = Connection();
    XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, XK_Control_L), press, CurrentTime);
    XSync(dpy, False);
}

// Cut buffer 0 as this test's own connection reads it.
inline std::string CutBuffer() {
    int n = 0;
    char* data = XFetchBytes(Connection(), &n);
    std::string s(data ? data : "", data ? n : 0);
    if (data)
        XFree(data);
    return s;
}

}  // namespace qirx

#endif
