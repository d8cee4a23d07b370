#include "qirMarkedItem.h"

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
    return kit->label(text.Data() ? text.Data() : "");
}

}  // namespace

qirMarkedItem::qirMarkedItem(qirString label, qirListBox* owner, Style* style, WidgetKit* kit,
                             LayoutKit* layout, Glyph* labelGlyph)
    : qirListItem(nullptr, owner, style), label_(label), kit_(kit), layout_(layout) {
    if (live_++ == 0 || !tick_) {
        tick_ = new Stencil(new Bitmap(tickBits, 32, 12, 0, 13), new Color(0.9, 0.0, 0.0, 1.0));
        Resource::ref(tick_);
    }
    deck_ = new Deck(2);
    deck_->append(layout_->hspace(32));
    deck_->append(tick_);
    deck_->flip_to(0);
    labelGlyph_ = labelGlyph ? labelGlyph : labelOf(kit_, label_);
    row_ = layout_->hbox(5);
    row_->append(layout_->hspace(5));
    row_->append(layout_->vcenter(deck_));
    row_->append(layout_->hspace(32));
    row_->append(labelGlyph_);
    row_->append(layout_->hglue());
    patch_ = new Patch(row_);
    body(layout_->hnatural(kit_->inset_frame(patch_), 500));
}

qirMarkedItem::~qirMarkedItem() {
    // The deck holds its own reference to the stencil.
    if (--live_ == 0) {
        Resource::unref(tick_);
        tick_ = nullptr;
    }
}

int qirMarkedItem::TickShown() const { return deck_->card() == 1; }

void qirMarkedItem::toggle() { ToggleMark(); }

void qirMarkedItem::ToggleMark() {
    selected_ = !selected_;
    deck_->flip_to(selected_ ? 1 : 0);
    patch_->redraw();
}

void qirMarkedItem::SetLead(Glyph* lead) {
    row_->replace(0, lead);
    patch_->reallocate();
    patch_->redraw();
}

void qirMarkedItem::SetLabel(qirString text) {
    label_ = text;
    labelGlyph_ = labelOf(kit_, label_);
    row_->replace(3, labelGlyph_);
    patch_->reallocate();
    patch_->redraw();
}
