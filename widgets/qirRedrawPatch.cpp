#include "qirRedrawPatch.h"

#include "qirProgressIndicator.h"

#include <InterViews/canvas.h>
#include <InterViews/display.h>
#include <InterViews/window.h>

qirRedrawPatch::qirRedrawPatch(Glyph* body) : MonoGlyph(body) {}

void qirRedrawPatch::allocate(Canvas* c, const Allocation& a, Extension& ext) {
    placed_ = c;
    allocation_ = a;
    MonoGlyph::allocate(c, a, ext);
}

void qirRedrawPatch::draw(Canvas* c, const Allocation& a) const {
    canvas_ = c;
    allocation_ = a;
    MonoGlyph::draw(c, a);
}

void qirRedrawPatch::undraw() {
    canvas_ = nullptr;
    MonoGlyph::undraw();
}

void qirRedrawPatch::RepaintNow() {
    Canvas* c = canvas_;
    if (!c)
        return;
    canvas_ = nullptr;
    // The new body has never been laid out.
    Extension ext;
    ext.clear();
    if (body())
        body()->allocate(c, allocation_, ext);
    c->damage_all();
    if (Window* w = c->window()) {
        w->repair();
        if (w->display())
            w->display()->sync();
    }
    qirProgressIndicator::HandleEventsUntil(this);
}
