#include "qirRTFRunGlyph.h"

#include "qirRTFElement.h"

#include <InterViews/canvas.h>
#include <InterViews/color.h>
#include <InterViews/font.h>
#include <InterViews/hit.h>

namespace {

const qirRTFElement* After(const qirRTFElement* e) { return static_cast<const qirRTFElement*>(e->Next()); }

// The room an element takes on its line, 0 when it takes none.
Coord Room(const qirRTFElement* e) {
    int t = e->type();
    if (t == qirRTFTextType) {
        const qirRTFGlyphElement* g = static_cast<const qirRTFGlyphElement*>(e);
        return g->shown ? g->width : 0;
    }
    if (t == qirRTFSpaceType) {
        const qirRTFSpaceElement* s = static_cast<const qirRTFSpaceElement*>(e);
        return s->shown ? s->width : 0;
    }
    return 0;
}

bool Highlighted(const qirRTFElement* e) {
    int t = e->type();
    if (t == qirRTFTextType)
        return static_cast<const qirRTFGlyphElement*>(e)->highlight;
    if (t == qirRTFSpaceType)
        return static_cast<const qirRTFSpaceElement*>(e)->highlight;
    return false;
}

}  // namespace

qirRTFRunGlyph::qirRTFRunGlyph(const qirRTFRun& run, const Font* font, const Color* color, const Color* highlight)
    : run_(run), font_(font), color_(color), highlight_(highlight) {
    Resource::ref(font_);
    Resource::ref(color_);
    Resource::ref(highlight_);
    if (font_) {
        FontBoundingBox box;
        font_->font_bbox(box);
        ascent_ = box.font_ascent();
        descent_ = box.font_descent();
    }
}

qirRTFRunGlyph::~qirRTFRunGlyph() {
    Resource::unref(font_);
    Resource::unref(color_);
    Resource::unref(highlight_);
}

void qirRTFRunGlyph::request(Requisition& r) const {
    Coord height = ascent_ + descent_;
    r.require(Dimension_X, Requirement(run_.width, 0, 0, 0));
    r.require(Dimension_Y, Requirement(height, 0, 0, height > 0 ? descent_ / height : 0));
}

void qirRTFRunGlyph::allocate(Canvas* c, const Allocation& a, Extension& ext) {
    allocation_ = a;
    allocated_ = 1;
    ext.merge(c, a);
}

void qirRTFRunGlyph::draw(Canvas* c, const Allocation& a) const {
    if (!run_.first)
        return;
    // Backgrounds first, then the characters without anything between
    // them (the canvas draws neighbouring characters as one string), then
    // the underlines, one stroke for each underlined stretch.
    const Coord y = a.y();
    Coord x = a.left();
    for (const qirRTFElement* e = run_.first; e; e = After(e)) {
        Coord w = Room(e);
        if (w > 0 && highlight_ && Highlighted(e))
            c->fill_rect(x, a.bottom(), x + w, a.top(), highlight_);
        x += w;
        if (e == run_.last)
            break;
    }
    x = a.left();
    for (const qirRTFElement* e = run_.first; e; e = After(e)) {
        Coord w = Room(e);
        if (w > 0 && e->type() == qirRTFTextType && font_) {
            const qirRTFGlyphElement* g = static_cast<const qirRTFGlyphElement*>(e);
            if (g->ch >= 31 && g->ch != ' ')
                c->character(font_, g->ch, w, color_, x, y);
        }
        x += w;
        if (e == run_.last)
            break;
    }
    x = a.left();
    Coord start = -1;
    const Coord line = y - descent_ / 2;
    for (const qirRTFElement* e = run_.first; e; e = After(e)) {
        Coord w = Room(e);
        bool under = w > 0 && e->type() == qirRTFTextType && static_cast<const qirRTFGlyphElement*>(e)->underline;
        if (under && start < 0)
            start = x;
        if (!under && w > 0 && start >= 0) {
            c->fill_rect(start, line - 1, x, line, color_);
            start = -1;
        }
        x += w;
        if (e == run_.last)
            break;
    }
    if (start >= 0)
        c->fill_rect(start, line - 1, x, line, color_);
}

void qirRTFRunGlyph::pick(Canvas*, const Allocation& a, int depth, Hit& h) {
    if (h.right() >= a.left() && h.left() < a.right() && h.top() >= a.bottom() && h.bottom() < a.top())
        h.target(depth, this, 0);
}

qirRTFElement* qirRTFRunGlyph::ElementAt(Coord x, Coord* left) const {
    Coord at = allocation_.left();
    qirRTFElement* found = run_.first;
    Coord foundLeft = at;
    for (qirRTFElement* e = run_.first; e; e = static_cast<qirRTFElement*>(e->Next())) {
        Coord w = Room(e);
        if (w > 0) {
            found = e;
            foundLeft = at;
            if (x < at + w)
                break;
        }
        at += w;
        if (e == run_.last)
            break;
    }
    if (left)
        *left = foundLeft;
    return found;
}
