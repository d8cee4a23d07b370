#include "qirTopWindow.h"

#include <IV-look/menu.h>
#include <InterViews/display.h>
#include <InterViews/session.h>
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

void qir_fit_on_screen(Display* display, float width, float height, float* left, float* bottom) {
    if (!display)
        return;
    float dw = display->width(), dh = display->height();
    if (*left + width > dw)
        *left = dw - width;
    if (*left < 0)
        *left = 0;
    if (*bottom < 0)
        *bottom = 0;
    if (*bottom + height > dh)
        *bottom = dh - height;
}

void qir_place_window(Window* window, Menu* menubar) {
    if (!window || !window->glyph())
        return;
    Display* display = window->display();
    if (!display && Session::instance())
        display = Session::instance()->default_display();
    if (!display)
        return;
    Requisition r;
    window->glyph()->request(r);
    float width = r.x_requirement().natural(), height = r.y_requirement().natural();
    float bottom = 0, left = 0;
    if (menubar) {
        // The pulldowns open below the bar, which stands at the window's
        // top inside its frame.
        Requisition bar;
        menubar->request(bar);
        float tallest = 0;
        for (GlyphIndex i = 0; i < menubar->item_count(); i++) {
            Menu* pulldown = menubar->item(i) ? menubar->item(i)->menu() : nullptr;
            if (!pulldown)
                continue;
            Requisition m;
            pulldown->request(m);
            if (m.y_requirement().natural() > tallest)
                tallest = m.y_requirement().natural();
        }
        float room = bar.y_requirement().natural() + tallest + 8;
        if (height < room)
            bottom = room - height;
    }
    qir_fit_on_screen(display, width, height, &left, &bottom);
    window->place(left, bottom);
    window->align(0, 0);
}
