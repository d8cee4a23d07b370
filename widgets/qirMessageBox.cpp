#include "qirUiText.h"

#include "qirMessageBox.h"

#include "qirError.h"
#include "qirImagePath.h"
#include "qirMemberAction.h"
#include "qirMessageArea.h"

#include <IV-look/kit.h>
#include <InterViews/display.h>
#include <InterViews/event.h>
#include <InterViews/layout.h>
#include <InterViews/session.h>

qirMessageBox::qirMessageBox(WidgetKit* kit, LayoutKit* lk, Style* parent, qirString title,
                             qirString icon, const qirString* l1, const qirString* l2,
                             const qirString* l3, const qirString* l4, const qirString* l5,
                             const qirString* l6, const qirString* l7, const qirString* l8,
                             const qirString* l9, const qirString* l10)
    : qirDialog(lk->vbox(), parent, title) {
    const qirString* given[10] = {l1, l2, l3, l4, l5, l6, l7, l8, l9, l10};
    const char* lines[10];
    int count = 0;
    for (const qirString* s : given)
        if (s)
            lines[count++] = s->Data() ? s->Data() : "";
    PolyGlyph* box = static_cast<PolyGlyph*>(body());
    PolyGlyph* row = qirMessageArea::Build(box, kit, lk, icon.Data(), lines, count);
    ok_ = kit->default_button(qirUiText(113),
                              new qirMemberAction<qirMessageBox>(this, &qirMessageBox::Ok));
    row->append(ok_);
    row->append(lk->hglue());
}

void qirMessageBox::keystroke(const Event& e) {
    char c[2];
    if (e.mapkey(c, sizeof c) == 1 && (c[0] == '\r' || c[0] == '\n'))
        dismiss(true);
    qirDialog::keystroke(e);
}

void qirMessageBox::Warn(Window* over, const qirString& text) {
    if (qirLog)
        qirLog->Write(qirLogWarning, text.Data() ? text.Data() : "");
    Session* session = Session::instance();
    qirMessageBox* box = new qirMessageBox(WidgetKit::instance(), LayoutKit::instance(),
                                           session ? session->style() : nullptr, "Warning",
                                           qirImagePath("warning.tif"), &text);
    Resource::ref(box);
    Display* display = session ? session->default_display() : nullptr;
    if (over || !display)
        box->post_for(over);
    else
        box->post_at_aligned(display->width() * 0.5f, display->height() * 0.5f, 0.5f, 0.5f);
    Resource::unref(box);
}
