// Base of every top-level window, and the shared window style.
#ifndef QIR_TOP_WINDOW_H
#define QIR_TOP_WINDOW_H

#include "qirObject.h"
#include "qirString.h"

#include <InterViews/enter-scope.h>

class Display;
class Menu;
class Style;
class Window;

class qirTopWindow : public qirObject {
public:
    qirTopWindow() : qirObject(65) {}
    ~qirTopWindow() override;

    // The window manager asks to close the window.  Windows close only by
    // their own actions, so implementations do not close or unmap here;
    // the answer is not acted upon.
    virtual int close_request() = 0;
};

// Every window and dialog opens wholly on the screen: the one rule of
// placement, in InterViews' coordinates (points, the origin at the
// screen's bottom left).  Moves the bottom left corner (left, bottom) of
// a window width by height as little as needed for the window to lie on
// the display; one larger than the display keeps its top left corner on.
void qir_fit_on_screen(Display* display, float width, float height, float* left, float* bottom);
// Places a top-level window before its first mapping, where InterViews
// would (the screen's bottom left) unless that leaves part of it off the
// screen or leaves the tallest pulldown of its menu bar (null: none, at
// the window's top) no room below the bar: then it is raised as far as
// that needs.
void qir_place_window(Window* window, Menu* menubar);

// Maps the window when it is not, and raises it.
void qir_show_window(Window* window);
// Unmaps the window when it is mapped.
void qir_unmap_window(Window* window);

// Gives the window its own "qirWindow" style, a child of parent, whose
// "name" (the title the window manager shows) is title.
void qir_set_window_style(Window* window, qirString title, Style* parent);

#endif
