#include "qirUiText.h"

#include "qirSearchDialog.h"

#include "qirFieldEditor.h"
#include "qirMemberAction.h"

#include <IV-look/kit.h>
#include <IV-look/telltale.h>
#include <InterViews/event.h>
#include <InterViews/layout.h>
#include <OS/string.h>

#include <string>

namespace {

// Return in the field accepts the search as the button does.
class SearchFieldAction : public FieldEditorAction {
public:
    explicit SearchFieldAction(qirSearchDialog* d) : dialog_(d) {}
    void accept(FieldEditor*) override { dialog_->Accept(); }
    void cancel(FieldEditor*) override {}

private:
    qirSearchDialog* dialog_;
};

bool Chosen(Button* b) { return b->state()->test(TelltaleState::is_chosen); }
void SetChosen(Button* b, int on) { b->state()->set(TelltaleState::is_chosen, on != 0); }

}  // namespace

qirSearchDialog::qirSearchDialog()
    : qirDialog(LayoutKit::instance()->vbox(), WidgetKit::instance()->style(), qirString("Search Dialog")),
      text_("") {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    field_ = new qirFieldEditor("", kit, kit->style(), new SearchFieldAction(this));
    matchCaseBox_ = kit->check_box(qirUiText(919), nullptr);
    backwardBox_ = kit->check_box(qirUiText(920), nullptr);
    search_ = kit->default_button(qirUiText(917),
                                  new qirMemberAction<qirSearchDialog>(this, &qirSearchDialog::Accept));
    cancel_ = kit->push_button(qirUiText(111),
                               new qirMemberAction<qirSearchDialog>(this, &qirSearchDialog::Cancel));

    PolyGlyph* box = lk->vbox();
    box->append(lk->vspace(10));
    box->append(lk->hbox(lk->hglue(), kit->fancy_label(qirUiText(917)), lk->hglue()));
    box->append(lk->vspace(10));
    box->append(lk->hbox(lk->hspace(20), lk->vcenter(kit->label(qirUiText(918))), lk->hspace(8),
                         lk->vcenter(kit->inset_frame(lk->hfixed(field_, 250))), lk->hspace(20)));
    box->append(lk->vspace(10));
    box->append(lk->hbox(lk->hspace(20), lk->hglue(), matchCaseBox_, lk->hglue(), backwardBox_, lk->hglue(),
                         lk->hspace(20)));
    box->append(lk->vspace(10));
    box->append(lk->hbox(lk->hglue(), search_, lk->hglue(), cancel_, lk->hglue()));
    box->append(lk->vspace(10));
    static_cast<PolyGlyph*>(body())->append(kit->outset_frame(box));

    SetChosen(backwardBox_, 0);
    append_input_handler(field_);
    focus(field_);
}

void qirSearchDialog::keystroke(const Event& e) {
    char c[2];
    if (e.mapkey(c, sizeof c) == 1 && (c[0] == '\r' || c[0] == '\n')) {
        Accept();
        return;
    }
    qirDialog::keystroke(e);
}

void qirSearchDialog::Accept(int) {
    const String* s = field_->text();
    text_ = s ? qirString(std::string(s->string(), s->length()).c_str()) : qirString("");
    backward_ = Chosen(backwardBox_);
    matchCase_ = Chosen(matchCaseBox_);
    dismiss(true);
}

void qirSearchDialog::Cancel(int) {
    SetChosen(backwardBox_, backward_);
    SetChosen(matchCaseBox_, matchCase_);
    if (text_.Data() && *text_.Data())
        field_->field(text_.Data());
    dismiss(false);
}
