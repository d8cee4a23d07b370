#include "qirChoiceDialog.h"

#include "qirImagePath.h"
#include "qirMemberAction.h"
#include "qirMessageArea.h"
#include "qirString.h"

#include <IV-look/kit.h>
#include <InterViews/layout.h>

#include <vector>

qirChoiceDialog::qirChoiceDialog(WidgetKit* kit, LayoutKit* lk, Style* parent, qirString title,
                                 const qirList& lines, const qirList& labels)
    : qirDialog(lk->vbox(), parent, title) {
    std::vector<const char*> texts;
    for (qirObject* n = lines.First(); n; n = lines.Next(n)) {
        const qirString* s = static_cast<const qirString*>(n);
        texts.push_back(s->Data() ? s->Data() : "");
    }
    PolyGlyph* box = static_cast<PolyGlyph*>(body());
    PolyGlyph* row = qirMessageArea::Build(box, kit, lk, qirImagePath("warning.tif").Data(),
                                           texts.data(), int(texts.size()));
    for (qirObject* n = labels.First(); n && buttons_ < MaxButtons; n = labels.Next(n)) {
        const qirString* s = static_cast<const qirString*>(n);
        Button* b = kit->push_button(s->Data() ? s->Data() : "",
                                     new qirMemberAction<qirChoiceDialog>(this, &qirChoiceDialog::choose, buttons_));
        button_[buttons_++] = b;
        row->append(b);
        row->append(lk->hglue());
    }
}

void qirChoiceDialog::choose(int i) {
    choice_ = i;
    dismiss(true);
}
