#include "qirUiText.h"

#include "qirQuestionDialog.h"

#include "qirImagePath.h"
#include "qirMemberAction.h"
#include "qirMessageArea.h"

#include <IV-look/kit.h>
#include <InterViews/layout.h>

qirQuestionDialog::qirQuestionDialog(WidgetKit* kit, LayoutKit* lk, Style* parent, qirString title,
                                     const qirString* l1, const qirString* l2, const qirString* l3,
                                     const qirString* l4, const qirString* l5, const qirString* l6,
                                     const qirString* l7, const qirString* l8, const qirString* l9,
                                     const qirString* l10)
    : qirDialog(lk->vbox(), parent, title) {
    const qirString* given[10] = {l1, l2, l3, l4, l5, l6, l7, l8, l9, l10};
    const char* lines[10];
    int count = 0;
    for (const qirString* s : given)
        if (s)
            lines[count++] = s->Data() ? s->Data() : "";
    PolyGlyph* box = static_cast<PolyGlyph*>(body());
    PolyGlyph* row =
        qirMessageArea::Build(box, kit, lk, qirImagePath("warning.tif").Data(), lines, count);
    yes_ = kit->default_button(qirUiText(110),
                               new qirMemberAction<qirQuestionDialog>(this, &qirQuestionDialog::Answer, 1));
    no_ = kit->push_button(qirUiText(111),
                           new qirMemberAction<qirQuestionDialog>(this, &qirQuestionDialog::Answer, 0));
    row->append(yes_);
    row->append(lk->hglue());
    row->append(no_);
    row->append(lk->hglue());
}
