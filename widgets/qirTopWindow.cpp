#include "qirTopWindow.h"

#include <InterViews/style.h>
#include <OS/string.h>
#include <InterViews/window.h>

qirTopWindow::~qirTopWindow() {}

void qir_set_window_style(Window* window, qirString title, Style* parent) {
    if (!window)
        return;
    Style* style = new Style(String("qirWindow"), parent);
    style->attribute(String("name"), String(title.Data() ? title.Data() : ""), 0);
    // Window::style takes its own reference.
    window->style(style);
}

void qir_show_window(Window* window) {
    if (!window->is_mapped())
        window->map();
    window->raise();
}

void qir_unmap_window(Window* window) {
    if (window->is_mapped())
        window->unmap();
}
