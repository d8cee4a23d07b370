// The characters of a link in the enriched-text viewer: the pointer over
// them shows the link cursor, a click follows the reference.
#ifndef QIR_RTF_LINK_GLYPH_H
#define QIR_RTF_LINK_GLYPH_H

#include <InterViews/input.h>

class qirHelpReferenceNode;

class qirRTFLinkGlyph : public InputHandler {
public:
    // body: the glyph of the characters (referenced); target: owned by the
    // view's reference list, which outlives the page's glyphs.
    qirRTFLinkGlyph(Glyph* body, qirHelpReferenceNode* target);

    void move(const Event&) override;
    void press(const Event&) override;
    void release(const Event&) override;

    qirHelpReferenceNode* Node() const { return target_; }

private:
    qirHelpReferenceNode* target_;
    bool armed_ = false;
};

#endif
