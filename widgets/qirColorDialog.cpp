#include "qirUiText.h"

#include "qirColorDialog.h"

#include "qirMemberAction.h"

#include <IV-look/kit.h>
#include <InterViews/background.h>
#include <InterViews/canvas.h>
#include <InterViews/color.h>
#include <InterViews/layout.h>
#include <InterViews/session.h>

#include <cstdio>
#include <cstring>

namespace {
// The four levels of each channel, as bytes.
const int level[4] = {0, 85, 170, 255};
}

void qirColorDialog::PaletteName(int row, int column, char name[8]) {
    int blue = level[row / 2];
    int red = level[2 * (row % 2) + column / 4];
    int green = level[column % 4];
    snprintf(name, 8, "#%02x%02x%02x", red, green, blue);
}

qirColorSwatch::qirColorSwatch(const char* name, qirColorDialog* dialog, WidgetKit* kit, LayoutKit* lk)
    : InputHandler(nullptr, kit->style()), dialog_(dialog), kit_(kit) {
    snprintf(name_, sizeof name_, "%s", name ? name : "#000000");
    unsigned int r = 0, g = 0, b = 0;
    sscanf(name_, "#%2x%2x%2x", &r, &g, &b);
    const Color* colour = new Color(r / 255.0f, g / 255.0f, b / 255.0f, 1.0f);
    patch_ = lk->fixed(new Background(lk->hbox(lk->hglue(), lk->vglue()), colour), 32, 32);
    Resource::ref(patch_);
    ShowFrame();
}

qirColorSwatch::~qirColorSwatch() {
    Resource::unref(patch_);
}

void qirColorSwatch::draw(Canvas* c, const Allocation& a) const {
    canvas_ = c;
    extension_.clear();
    extension_.merge(c, a);
    InputHandler::draw(c, a);
}

void qirColorSwatch::undraw() {
    canvas_ = nullptr;
    InputHandler::undraw();
}

void qirColorSwatch::press(const Event&) {
    Select();
}

void qirColorSwatch::Select() {
    if (dialog_->selected_ && dialog_->selected_ != this)
        dialog_->selected_->Unselect();
    selected_ = 1;
    dialog_->selected_ = this;
    ShowFrame();
}

void qirColorSwatch::Unselect() {
    selected_ = 0;
    if (dialog_->selected_ == this)
        dialog_->selected_ = nullptr;
    ShowFrame();
}

void qirColorSwatch::ShowFrame() {
    body(selected_ ? kit_->inset_frame(patch_) : kit_->outset_frame(patch_));
    if (canvas_) {
        // The frame glyph is new: lay it out in the old place, then draw.
        Extension ext;
        ext.clear();
        body()->allocate(canvas_, allocation(), ext);
        canvas_->damage(extension_);
    }
}

qirColorDialog::qirColorDialog(const char* initial)
    : qirDialog(LayoutKit::instance()->vbox(), Session::instance()->style(), qirString("Select Color Dialog")) {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    PolyGlyph* rows = lk->vbox();
    qirColorSwatch* first = nullptr;
    qirColorSwatch* chosen = nullptr;
    for (int r = 0; r < Rows; r++) {
        PolyGlyph* row = lk->hbox();
        for (int c = 0; c < Columns; c++) {
            char name[8];
            PaletteName(r, c, name);
            qirColorSwatch* s = new qirColorSwatch(name, this, kit, lk);
            swatch_[r * Columns + c] = s;
            if (!first)
                first = s;
            if (!chosen && initial && strcmp(initial, name) == 0)
                chosen = s;
            row->append(lk->margin(s, 3));
            append_input_handler(s);
        }
        rows->append(row);
    }
    accept_ = kit->default_button(qirUiText(110),
                                  new qirMemberAction<qirColorDialog>(this, &qirColorDialog::Accept));
    defaultButton_ = kit->push_button(qirUiText(542),
                                      new qirMemberAction<qirColorDialog>(this, &qirColorDialog::TakeDefault));
    cancel_ = kit->push_button(qirUiText(111),
                               new qirMemberAction<qirColorDialog>(this, &qirColorDialog::Cancel));
    PolyGlyph* buttons = lk->hbox(lk->hglue(), accept_, lk->hglue(), defaultButton_, lk->hglue(), cancel_,
                                  lk->hglue());
    PolyGlyph* box = lk->vbox(lk->margin(rows, 8), kit->outset_frame(lk->vbox(lk->vspace(8), buttons, lk->vspace(8))));
    static_cast<PolyGlyph*>(body())->append(kit->outset_frame(box));
    (chosen ? chosen : first)->Select();
}

const char* qirColorDialog::Selected() const {
    return selected_ ? selected_->Name() : nullptr;
}

void qirColorDialog::Accept(int) {
    dismiss(true);
}

void qirColorDialog::TakeDefault(int) {
    default_ = 1;
    dismiss(true);
}

void qirColorDialog::Cancel(int) {
    dismiss(false);
}
