// One run of a laid-out line of the enriched-text viewer: neighbouring
// characters in one font and colour, drawn from the engine's elements.
// One glyph per run, not per character, keeps a page of a megabyte quick
// to compose.  The selection's background and underlines are drawn here.
#ifndef QIR_RTF_RUN_GLYPH_H
#define QIR_RTF_RUN_GLYPH_H

#include "qirRTFGlyphKit.h"

#include <InterViews/geometry.h>
#include <InterViews/glyph.h>

class Color;
class Font;
class qirRTFElement;

class qirRTFRunGlyph : public Glyph {
public:
    // font, color and highlight are referenced; the elements must outlive
    // the glyph (the next layout replaces it).
    qirRTFRunGlyph(const qirRTFRun& run, const Font* font, const Color* color, const Color* highlight);
    ~qirRTFRunGlyph() override;

    void request(Requisition&) const override;
    void allocate(Canvas*, const Allocation&, Extension&) override;
    void draw(Canvas*, const Allocation&) const override;
    // A hit inside the run targets it, so that a link around it gets the
    // pointer's events.
    void pick(Canvas*, const Allocation&, int depth, Hit&) override;

    // The element under x (points, the canvas's) and its left edge; the
    // last element for an x beyond the run, the first before it.
    qirRTFElement* ElementAt(Coord x, Coord* left = nullptr) const;
    const Allocation& Allocated() const { return allocation_; }
    int IsAllocated() const { return allocated_; }
    const qirRTFRun& Run() const { return run_; }

private:
    qirRTFRun run_;
    const Font* font_;
    const Color* color_;
    const Color* highlight_;
    Coord ascent_ = 0, descent_ = 0;
    Allocation allocation_;
    int allocated_ = 0;
};

#endif
