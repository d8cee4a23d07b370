#include "qirDialog.h"

#include "qirAfterEvent.h"
#include "qirTopWindow.h"

#include <InterViews/display.h>
#include <InterViews/event.h>
#include <InterViews/session.h>
#include <InterViews/style.h>
#include <OS/string.h>
#include <InterViews/window.h>

void (*qirDialog::MappedHook)(qirDialog*) = nullptr;
int qirDialog::posted_ = 0;

qirDialog::qirDialog(Glyph* body, Style* parent, qirString title)
    : Dialog(body, MakeStyle(parent, title)), qirObject(59), title_(title) {
    style_ = Dialog::style();
    Resource::ref(style_);
}

qirDialog::~qirDialog() {
    Resource::unref(style_);
}

Style* qirDialog::MakeStyle(Style* parent, qirString title) {
    Style* style = new Style(String("qirWindow"), parent);
    style->attribute(String("name"), String(title.Data() ? title.Data() : ""), 0);
    return style;
}

bool qirDialog::post_window(TransientWindow* w, Window* parent) {
    window_ = w;
    w->style(style_);
    if (parent)
        w->transient_for(parent);
    // InterViews' own post_at window has no such handler, and a close
    // request there would end the whole session.
    w->wm_delete(new qirDialogCloseHandler(this));
    w->map();
    posted_++;
    if (MappedHook)
        MappedHook(this);
    bool accepted = run();
    posted_--;
    if (posted_ == 0)
        qirAfterEvent::DialogGone();
    w->unmap();
    Display* d = w->display();
    if (!d)
        d = Session::instance()->default_display();
    if (d)
        d->sync();
    window_ = nullptr;
    delete w;
    return accepted;
}

void qir_place_dialog(Window* w, Glyph* dialog, Display* display, Coord x, Coord y, float xalign, float yalign) {
    Requisition r;
    dialog->request(r);
    Coord width = r.x_requirement().natural(), height = r.y_requirement().natural();
    Coord left = x - width * xalign, bottom = y - height * yalign;
    if (!display && Session::instance())
        display = Session::instance()->default_display();
    qir_fit_on_screen(display, width, height, &left, &bottom);
    w->place(left, bottom);
    w->align(0, 0);
}

bool qirDialog::post_for_aligned(Window* parent, float xalign, float yalign) {
    TransientWindow* w = new TransientWindow(this);
    if (parent)
        qir_place_dialog(w, this, parent->display(), parent->left() + parent->width() * 0.5f,
                         parent->bottom() + parent->height() * 0.5f, xalign, yalign);
    return post_window(w, parent);
}

bool qirDialog::post_at_aligned(Coord x, Coord y, float xalign, float yalign) {
    TransientWindow* w = new TransientWindow(this);
    qir_place_dialog(w, this, nullptr, x, y, xalign, yalign);
    return post_window(w, nullptr);
}

bool qir_post_dialog_for(Dialog* dialog, Window* parent) {
    TransientWindow* w = new TransientWindow(dialog);
    Style* style = new Style(dialog->style());
    w->style(style);
    if (parent) {
        w->transient_for(parent);
        qir_place_dialog(w, dialog, parent->display(), parent->left() + parent->width() * 0.5f,
                         parent->bottom() + parent->height() * 0.5f, 0.5f, 0.5f);
    }
    w->wm_delete(new qirDialogCloseHandler(dialog));
    w->map();
    bool accepted = dialog->run();
    w->unmap();
    if (Display* d = w->display())
        d->sync();
    delete w;
    return accepted;
}

bool qirDialog::run() {
    Session* s = Session::instance();
    done_ = false;
    accepted_ = false;
    while (!done_) {
        if (s->done())
            return false;
        Event e;
        s->read(e);
        if (s->done())
            return false;
        // Every key goes to the dialog's keystroke operation (which hands
        // it on to the focus), wherever the pointer is: the pick under the
        // pointer would skip it.  Pointer input to other windows is dropped.
        if (e.type() == Event::key)
            keystroke(e);
        else if (e.grabber() || inside(e))
            e.handle();
    }
    return accepted_;
}

void qirDialog::dismiss(bool accept) {
    accepted_ = accept;
    done_ = true;
    Dialog::dismiss(accept);
}

bool qirDialogCloseHandler::event(Event&) {
    if (dialog_)
        dialog_->dismiss(false);
    return true;
}
