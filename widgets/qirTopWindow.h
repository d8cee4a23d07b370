// Base of every top-level window, and the shared window style.
#ifndef QIR_TOP_WINDOW_H
#define QIR_TOP_WINDOW_H

#include "qirObject.h"
#include "qirString.h"

#include <InterViews/enter-scope.h>

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

// Maps the window when it is not, and raises it.
void qir_show_window(Window* window);
// Unmaps the window when it is mapped.
void qir_unmap_window(Window* window);

// Gives the window its own "qirWindow" style, a child of parent, whose
// "name" (the title the window manager shows) is title.
void qir_set_window_style(Window* window, qirString title, Style* parent);

#endif
