
#include "qirProgressIndicator.h"

#include "qirCloseHandler.h"
#include "qirRedrawPatch.h"
#include "qirString.h"

#include <IV-X11/Xlib.h>
#include <IV-X11/xdisplay.h>
#include <IV-X11/xevent.h>
#include <IV-look/kit.h>
#include <InterViews/background.h>
#include <InterViews/color.h>
#include <InterViews/display.h>
#include <InterViews/event.h>
#include <InterViews/layout.h>
#include <InterViews/session.h>
#include <InterViews/window.h>

#include <chrono>
#include <cstdio>

namespace {

// How long Begin waits for the first drawing of its window at most: a
// server that never exposes it must not hang the work in progress.
const auto drawWait = std::chrono::seconds(2);

XDisplay* XConnection() {
    Session* s = Session::instance();
    if (!s || !s->default_display())
        return nullptr;
    return s->default_display()->rep()->display_;
}

Bool IsInput(XDisplay* dpy, XEvent* ev, XPointer) {
    switch (ev->type) {
    case KeyPress:
    case KeyRelease:
    case ButtonPress:
    case ButtonRelease:
    case MotionNotify:
        return True;
    case ClientMessage:
        return ev->xclient.format == 32 &&
               Atom(ev->xclient.data.l[0]) == XInternAtom(dpy, "WM_DELETE_WINDOW", True);
    default:
        return False;
    }
}

bool IsInputEvent(const Event& e) {
    switch (e.type()) {
    case Event::key:
    case Event::down:
    case Event::up:
    case Event::motion:
        return true;
    default:
        return false;
    }
}

}  // namespace

qirProgressIndicator::qirProgressIndicator()
    : kit_(WidgetKit::instance()), layout_(LayoutKit::instance()) {}

qirProgressIndicator::~qirProgressIndicator() {
    End();
}

void qirProgressIndicator::DropPendingInput() {
    XDisplay* dpy = XConnection();
    if (!dpy)
        return;
    XSync(dpy, False);
    XEvent ev;
    while (XCheckIfEvent(dpy, &ev, IsInput, nullptr)) {
    }
}

void qirProgressIndicator::HandleEventsUntil(qirRedrawPatch* patch, bool waitForDraw) {
    Session* s = Session::instance();
    if (!s)
        return;
    auto until = std::chrono::steady_clock::now() + drawWait;
    while (!(patch && patch->Drawn()) && std::chrono::steady_clock::now() < until) {
        // Input is taken off the queue before InterViews reads it: the
        // session handles close requests inside read itself.
        DropPendingInput();
        Event e;
        if (!s->read(0, waitForDraw ? 20000 : 0, e)) {
            if (!waitForDraw)
                break;
            continue;
        }
        if (!IsInputEvent(e))
            e.handle();
    }
}

void qirProgressIndicator::Begin(uint32_t total, uint32_t current, int percentMode, qirList* lines) {
    if (window_)
        End();
    qirProgress::Begin(total, current, percentMode, lines);
    WidgetKit* kit = kit_;
    LayoutKit* lk = layout_;

    PolyGlyph* text = lk->vbox();
    if (lines)
        for (qirObject* n = lines->First(); n; n = qirList::Next(n)) {
            const qirString* s = static_cast<const qirString*>(n);
            text->append(lk->hbox(lk->hglue(), kit->label(s->Data() ? s->Data() : ""), lk->hglue()));
        }
    Set(current);
    // Without text lines the window is the progress alone.
    Glyph* glyph = nullptr;
    if (text->count() > 0) {
        Glyph* top =
            kit->outset_frame(lk->hbox(lk->hspace(12), lk->vbox(lk->vspace(5), text, lk->vspace(5)), lk->hspace(12)));
        glyph = lk->vbox(top, patch_);
    } else {
        // Held by nothing: the reference given back deletes it.
        Resource::ref(text);
        Resource::unref(text);
        glyph = lk->vbox(patch_);
    }

    window_ = new TopLevelWindow(glyph);
    qir_set_window_style(window_, qirString("Progress Indicator"), kit->style());
    window_->wm_delete(new qirCloseHandler(this));
    if (::Display* d = Session::instance()->default_display()) {
        window_->place(d->width() / 2, d->height() / 2);
        window_->align(0.5, 0.5);
    }

    HandleEventsUntil(nullptr);
    window_->map();
    if (window_->display())
        window_->display()->sync();
    window_->repair();
    HandleEventsUntil(patch_, true);
}

void qirProgressIndicator::Set(uint32_t current) {
    current_ = current;
    if (current > total_)
        return;
    // Only a change of what the window shows is drawn: a fetch sets its
    // progress thousands of times, the percentage moves a hundred.
    if (patch_ && (percentMode_ ? PercentOf(current) == percent_ : current == shownCurrent_))
        return;
    Glyph* g = ProgressGlyph();
    if (!patch_) {
        patch_ = new qirRedrawPatch(kit_->outset_frame(g));
        Resource::ref(patch_);
        return;
    }
    patch_->body(kit_->outset_frame(g));
    patch_->RepaintNow();
}

int qirProgressIndicator::PercentOf(uint32_t current) const {
    return total_ == 0 ? 0 : int(double(current) / double(total_) * 100.0);
}

Glyph* qirProgressIndicator::ProgressGlyph() {
    WidgetKit* kit = kit_;
    LayoutKit* lk = layout_;
    char* text = line_;
    if (percentMode_) {
        percent_ = PercentOf(current_);
        snprintf(text, sizeof line_, "Progress: %d%%", percent_);
    } else {
        percent_ = -1;
        shownCurrent_ = current_;
        snprintf(text, sizeof line_, "Progress: %5u of %5u", current_, total_);
    }
    PolyGlyph* box = lk->vbox();
    box->append(lk->vspace(8));
    box->append(lk->hbox(lk->hspace(20), lk->hglue(), kit->label(text), lk->hglue(), lk->hspace(20)));
    if (percentMode_) {
        PolyGlyph* inside = lk->hbox();
        if (percent_ > 0) {
            Color* blue = new Color(0.0, 0.0, 1.0, 1.0);
            inside->append(kit->outset_frame(new Background(lk->hspace(BarWidth(percent_)), blue)));
        }
        inside->append(lk->hglue());
        box->append(lk->vspace(10));
        box->append(lk->hbox(lk->hglue(), lk->hspace(30), kit->inset_frame(lk->fixed(inside, 400, 20)),
                             lk->hspace(30), lk->hglue()));
        box->append(lk->vspace(10));
    } else {
        box->append(lk->vspace(8));
    }
    return kit->inset_frame(box);
}

void qirProgressIndicator::End() {
    if (window_) {
        // What the user typed or clicked at the busy program is not run
        // afterwards either.
        DropPendingInput();
        // Damage still listed for the window would be repaired after it
        // is gone: repair it now, while the window exists.
        if (window_->display())
            window_->display()->repair();
        window_->unmap();
        if (window_->display())
            window_->display()->sync();
        delete window_;
        window_ = nullptr;
    }
    if (patch_) {
        Resource::unref(patch_);
        patch_ = nullptr;
    }
    percent_ = -1;
}
