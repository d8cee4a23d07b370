#include "qirMsgList.h"

#include "qirError.h"
#include "qirIconImage.h"
#include "qirListBox.h"
#include "qirUiText.h"

#include <cstdio>

#include <IV-look/kit.h>
#include <InterViews/border.h>
#include <InterViews/color.h>
#include <InterViews/layout.h>
#include <InterViews/patch.h>
#include <InterViews/polyglyph.h>
#include <InterViews/session.h>

Color* qirMsgList::grey_ = nullptr;
Color* qirMsgList::black_ = nullptr;
int qirMsgList::rows_ = 0;

qirMsgList::qirMsgList(const qirPath& directory, qirListBox* rows)
    : qirFolder(directory), qirListItem(new Patch(nullptr), rows, Session::instance()->style()) {
    patch_ = static_cast<Patch*>(body());
    if (rows_++ == 0) {
        grey_ = new Color(0.7, 0.7, 0.7, 1.0);
        black_ = new Color(0.0, 0.0, 0.0, 1.0);
        Resource::ref(grey_);
        Resource::ref(black_);
    }
    RefreshIcon();
}

qirMsgList::~qirMsgList() {
    CloseWindow();
    patch_->body(nullptr);
    Resource::unref(icon_glyph_);
    if (--rows_ == 0) {
        Resource::unref(grey_);
        Resource::unref(black_);
        grey_ = black_ = nullptr;
    }
}

qirString qirMsgList::CountText() const {
    char text[32];
    snprintf(text, sizeof text, " %3d", qirFolder::Count());
    return qirString(qirUiText(10)).Concat(text);
}

void qirMsgList::BuildRow() {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    PolyGlyph* row = lk->hbox();
    if (icon_glyph_)
        row->append(lk->vcenter(kit->outset_frame(lk->margin(icon_glyph_, 10))));
    const char* name = Name().Data() ? Name().Data() : "";
    Glyph* text = lk->vbox(lk->hbox(kit->label(name), lk->hglue()),
                           lk->hbox(kit->label(CountText().Data()), lk->hglue()));
    row->append(lk->vcenter(new Border(lk->margin(text, 3), Selected() ? black_ : grey_, 1)));
    row->append(lk->hglue());
    row->append(lk->hspace(10));
    patch_->body(lk->margin(lk->hnatural(row, 300), 2));
    patch_->reallocate();
    patch_->redraw();
}

void qirMsgList::RefreshIcon() {
    qirString path = qirInstalledImage(Icon());
    if (Glyph* image = qirScaledImage(path.Data(), 48, 32, 1)) {
        Resource::unref(icon_glyph_);
        icon_glyph_ = image;
        Resource::ref(icon_glyph_);
        iconShown_ = 1;
    }
    BuildRow();
}

void qirMsgList::RefreshCount() { BuildRow(); }

void qirMsgList::toggle() {
    qirListItem::toggle();
    BuildRow();
}

void qirMsgList::activate() {
    if (!open_)
        OpenWindow();
}

void qirMsgList::OpenWindow() {
    CountOnDisk();
    RefreshCount();
}

int qirMsgList::CloseWindow() {
    open_ = 0;
    return IsLoaded() ? Flush() : 0;
}
