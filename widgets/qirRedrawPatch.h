// A glyph that knows whether it has been drawn since its last repaint
// request, and repaints itself at once while the main loop is not running.
#ifndef QIR_REDRAW_PATCH_H
#define QIR_REDRAW_PATCH_H

#include <InterViews/geometry.h>
#include <InterViews/monoglyph.h>

class qirRedrawPatch : public MonoGlyph {
public:
    explicit qirRedrawPatch(Glyph* body);

    void allocate(Canvas*, const Allocation&, Extension&) override;
    void draw(Canvas*, const Allocation&) const override;
    void undraw() override;

    // Lays out the (new) body in the old place and draws it now.  Nothing
    // when the patch has not been drawn since the last request.
    void RepaintNow();

    // Whether it has been drawn since the last repaint request.
    bool Drawn() const { return canvas_ != nullptr; }

private:
    mutable Canvas* canvas_ = nullptr;
    mutable Allocation allocation_;
    Canvas* placed_ = nullptr;  // the canvas of the last allocate
};

#endif
