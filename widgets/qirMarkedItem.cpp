#include "qirMarkedItem.h"

#include "qirTextLabel.h"

#include <IV-look/kit.h>
#include <InterViews/bitmap.h>
#include <InterViews/color.h>
#include <InterViews/deck.h>
#include <InterViews/layout.h>
#include <InterViews/patch.h>
#include <InterViews/polyglyph.h>
#include <InterViews/stencil.h>

int qirMarkedItem::live_ = 0;
Stencil* qirMarkedItem::tick_ = nullptr;

namespace {

// 32 x 12, X bitmap order: the short stroke from the left, the long one up
// to the top right.
const unsigned char tickBits[48] = {
    0x00, 0x00, 0x3e, 0x00, 0x00, 0xc0, 0x0f, 0x00, 0x04, 0xf0, 0x03, 0x00,
    0x1e, 0xf8, 0x00, 0x00, 0x3f, 0x3e, 0x00, 0x00, 0xbf, 0x1f, 0x00, 0x00,
    0xf8, 0x07, 0x00, 0x00, 0xf0, 0x03, 0x00, 0x00, 0xf0, 0x01, 0x00, 0x00,
    0xe0, 0x00, 0x00, 0x00, 0x60, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

Glyph* labelOf(WidgetKit* kit, const qirString& text) {
    return qirTextLabel(kit, text.Data());
}

}  // namespace

qirMarkedItem::qirMarkedItem(qirString label, qirListBox* owner, Style* style, WidgetKit* kit,
                             LayoutKit* layout, Glyph* labelGlyph)
    : qirListItem(nullptr, owner, style), label_(label), kit_(kit), layout_(layout) {
    if (live_++ == 0 || !tick_) {
        tick_ = new Stencil(new Bitmap(tickBits, 32, 12, 0, 13), new Color(0.9, 0.0, 0.0, 1.0));
        Resource::ref(tick_);
    }
    labelGlyph_ = labelGlyph ? labelGlyph : labelOf(kit_, label_);
    body(BuildBody(nullptr));
}

qirMarkedItem::qirMarkedItem(qirListBox* owner, Style* style, WidgetKit* kit, LayoutKit* layout,
                             qirRowShape* shape, Deferred)
    : qirListItem(nullptr, owner, style), kit_(kit), layout_(layout), deferred_(1) {
    if (live_++ == 0 || !tick_) {
        tick_ = new Stencil(new Bitmap(tickBits, 32, 12, 0, 13), new Color(0.9, 0.0, 0.0, 1.0));
        Resource::ref(tick_);
    }
    shape_ = shape;
    Resource::ref(shape_);
}

// A deferred row has no body until it is built: it answers its shape's
// size (a long list asks every row after each change), is built when it is
// first measured or allocated, and lets its body go when it is undrawn.
void qirMarkedItem::request(Requisition& r) const {
    if (deferred_ && !row_) {
        if (shape_->Known()) {
            r = shape_->Size();
            return;
        }
        // The first row asked is built to measure them all.
        const_cast<qirMarkedItem*>(this)->Build();
        qirListItem::request(r);
        shape_->Measured(r);
        return;
    }
    qirListItem::request(r);
}

void qirMarkedItem::allocate(Canvas* c, const Allocation& a, Extension& ext) {
    if (deferred_ && !row_)
        Build();
    allocated_ = 1;
    qirListItem::allocate(c, a, ext);
}

void qirMarkedItem::undraw() {
    // A deferred row that was not allocated since it was last undrawn has
    // nothing on screen to take away: a long list taking all its rows out
    // then touches no more of each than it must.
    if (deferred_ && !allocated_ && !row_)
        return;
    allocated_ = 0;
    qirListItem::undraw();
    if (deferred_)
        Release();
}

qirMarkedItem::~qirMarkedItem() {
    Resource::unref(lead_);
    Resource::unref(shape_);
    // The deck holds its own reference to the stencil.
    if (--live_ == 0) {
        Resource::unref(tick_);
        tick_ = nullptr;
    }
}

// The row, left to right: the lead (5 points of space when null), the tick,
// 32 points of space, the label, stretchable glue; framed, 500 points wide.
Glyph* qirMarkedItem::BuildBody(Glyph* lead) {
    deck_ = new Deck(2);
    deck_->append(layout_->hspace(32));
    deck_->append(tick_);
    deck_->flip_to(selected_ ? 1 : 0);
    row_ = layout_->hbox(5);
    row_->append(lead ? lead : layout_->hspace(5));
    row_->append(layout_->vcenter(deck_));
    row_->append(layout_->hspace(32));
    row_->append(labelGlyph_);
    row_->append(layout_->hglue());
    patch_ = new Patch(row_);
    return layout_->hnatural(kit_->inset_frame(patch_), 500);
}

void qirMarkedItem::Build() {
    if (row_)
        return;
    if (!labelGiven_)
        label_ = DeferredLabel();
    labelGlyph_ = labelOf(kit_, label_);
    body(BuildBody(lead_ ? lead_ : DeferredLead()));
}

void qirMarkedItem::Release() {
    if (!row_)
        return;
    patch_ = nullptr;
    deck_ = nullptr;
    row_ = nullptr;
    labelGlyph_ = nullptr;
    if (!labelGiven_)
        label_ = qirString();
    // Deleted after the event: a glyph of the row may be the one handling it.
    if (Glyph* old = body()) {
        Resource::ref(old);
        body(nullptr);
        old->unref_deferred();
    }
    RowReleased();
}

const qirString& qirMarkedItem::Label() const {
    if (deferred_ && !labelGiven_ && !row_)
        label_ = DeferredLabel();
    return label_;
}

int qirMarkedItem::TickShown() const { return deck_ ? deck_->card() == 1 : selected_; }

void qirMarkedItem::toggle() { ToggleMark(); }

void qirMarkedItem::ToggleMark() {
    selected_ = !selected_;
    if (!deck_)
        return;
    deck_->flip_to(selected_ ? 1 : 0);
    patch_->redraw();
}

void qirMarkedItem::SetLead(Glyph* lead) {
    if (deferred_) {
        Resource::ref(lead);
        Resource::unref(lead_);
        lead_ = lead;
    }
    if (!row_)
        return;
    row_->replace(0, lead ? lead : layout_->hspace(5));
    patch_->reallocate();
    patch_->redraw();
}

void qirMarkedItem::SetLabel(qirString text) {
    label_ = text;
    if (deferred_)
        labelGiven_ = 1;
    if (!row_)
        return;
    labelGlyph_ = labelOf(kit_, label_);
    row_->replace(3, labelGlyph_);
    patch_->reallocate();
    patch_->redraw();
}
