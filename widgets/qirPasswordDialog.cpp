#include "qirUiText.h"



#include "qirPasswordDialog.h"


#include <IV-look/kit.h>
#include <InterViews/event.h>
#include <X11/keysym.h>
#include <InterViews/font.h>
#include <InterViews/layout.h>
#include <InterViews/patch.h>

#include <cstring>
#include <string>

namespace {
// Dots shown at most; a longer password shows its last ones.
const int shownDots = 20;
}

qirPasswordDialog::qirPasswordDialog(qirString prompt, Style* parent, WidgetKit* kit, LayoutKit* lk)
    : qirDialog(lk->vbox(), parent, qirString("Enter password")), kit_(kit), layout_(lk) {
    memset(buffer_, 0, sizeof buffer_);
    const Font* font = kit->font();
    FontBoundingBox bb;
    font->font_bbox(bb);
    Coord dot = font->width('.');
    Coord height = bb.font_ascent() + bb.font_descent();

    echo_ = new Patch(lk->hbox());
    ShowEcho();
    Glyph* field = kit->inset_frame(lk->fixed(echo_, dot * 24, height * 1.5f));

    PolyGlyph* box = static_cast<PolyGlyph*>(body());
    PolyGlyph* inner = lk->vbox();
    inner->append(lk->vspace(10));
    inner->append(lk->hbox(lk->hglue(), kit->fancy_label(prompt.Data() ? prompt.Data() : ""), lk->hglue()));
    inner->append(lk->vspace(7));
    inner->append(lk->hbox(lk->hspace(10),
                           kit->outset_frame(lk->vbox(lk->vglue(), lk->hbox(lk->hspace(6), kit->label(qirUiText(631)), lk->hspace(6)), lk->vglue())),
                           field, lk->hspace(10)));
    inner->append(lk->vspace(10));
    box->append(kit->outset_frame(lk->hbox(lk->hspace(10), inner, lk->hspace(10))));
}

void qirPasswordDialog::keystroke(const Event& e) {
    unsigned long sym = e.keysym();
    if (sym == XK_Return || sym == XK_KP_Enter || sym == XK_Linefeed) {
        buffer_[length_] = '\0';
        dismiss(true);
        return;
    }
    if (sym == XK_Escape) {
        memset(buffer_, 0, sizeof buffer_);
        length_ = 0;
        ShowEcho();
        dismiss(false);
        return;
    }
    if (sym == XK_BackSpace || sym == XK_Delete || sym == XK_KP_Delete) {
        if (length_ > 0) {
            buffer_[--length_] = '\0';
            ShowEcho();
        }
        return;
    }
    // The character the key types under the display's mapping, with Shift
    // and Caps Lock as the user sees them.  Keys that type nothing, or a
    // control byte, add nothing.
    char text[8];
    unsigned int n = e.mapkey(text, sizeof text);
    if (n != 1)
        return;
    unsigned char c = (unsigned char)text[0];
    if (c < 32 || c == 127 || (c >= 128 && c < 160))
        return;
    if (length_ >= Capacity)
        return;
    buffer_[length_++] = char(c);
    buffer_[length_] = '\0';
    ShowEcho();
}

qirString qirPasswordDialog::Password() const {
    return qirString(std::string(buffer_, length_).c_str());
}

void qirPasswordDialog::ShowEcho() {
    int dots = length_ < shownDots ? length_ : shownDots;
    std::string shown = std::string(size_t(dots), '.') + "_";
    Glyph* row = layout_->hbox(layout_->hspace(kit_->font()->width(' ')), layout_->vcenter(kit_->label(shown.c_str())),
                               layout_->hglue());
    echo_->body(layout_->vbox(layout_->vglue(), row, layout_->vglue()));
    echo_->reallocate();
    echo_->redraw();
}
