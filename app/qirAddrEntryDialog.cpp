#include "qirAddrBookEntry.h"

#include "qirMainWindow.h"
#include "qirAddrEntryDialog.h"

#include "qirFieldEditor.h"
#include "qirMemberAction.h"
#include "qirMessageBox.h"
#include "qirUiText.h"

#include <IV-look/button.h>
#include <IV-look/kit.h>
#include <InterViews/layout.h>
#include <InterViews/session.h>
#include <InterViews/telltale.h>
#include <InterViews/window.h>
#include <OS/string.h>

#include <cstring>

namespace {

const char* blanks = "                              "; // 30: the fields' sample text

qirString TextOf(qirFieldEditor* field) {
    const String* s = field->text();
    return s ? qirString(s->string(), s->length()) : qirString("");
}

int HasLineBreak(const qirString& s) { return s.Data() && strpbrk(s.Data(), "\r\n") != nullptr; }

}  // namespace

qirAddrEntryDialog::qirAddrEntryDialog(qirAddrBookEntry* entry)
    : qirDialog(LayoutKit::instance()->vbox(), qirMainWindow::WindowStyle(), qirUiText(650)), entry_(entry) {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    for (qirFieldEditor*& f : fields_)
        f = new qirFieldEditor(blanks, kit, style());

    group_ = new TelltaleGroup();
    Resource::ref(group_);
    static const char* const kindLabels[4] = {"  Internet  ", " Compuserve ", "   FIDOnet  ", "   Unknown  "};
    // Check boxes joined in one group choose one kind as radio buttons
    // do; the look draws its radio marks too small to read.
    for (int i = 0; i < 4; i++) {
        kinds_[i] = kit->check_box(kindLabels[i], nullptr);
        kinds_[i]->state()->join(group_);
    }
    int kind = entry_->AddressKind();
    kinds_[kind >= 0 && kind <= 3 ? kind : 0]->state()->set(TelltaleState::is_chosen, true);

    static const int labels[4] = {651, 652, 653, 654};
    PolyGlyph* column = lk->vbox();
    for (int i = 0; i < 4; i++) {
        if (i)
            column->append(lk->vglue(5));
        column->append(lk->hbox(kit->label(qirUiText(labels[i])), lk->hglue(10), fields_[i]));
    }
    PolyGlyph* radios = lk->vbox();
    for (Button* b : kinds_)
        radios->append(lk->hbox(b, lk->hglue()));
    Glyph* kinds = lk->vbox(lk->hbox(kit->label(qirUiText(655)), lk->hglue()), lk->vspace(5),
                            kit->inset_frame(lk->margin(radios, 5)));
    Glyph* form = kit->outset_frame(lk->vbox(
        lk->vspace(15), lk->hbox(lk->hglue(), kit->label(qirUiText(650)), lk->hglue()), lk->vspace(15),
        lk->hbox(lk->hspace(20), column, lk->hspace(20), kinds, lk->hspace(20)), lk->vspace(15)));
    Glyph* buttons = kit->outset_frame(lk->vbox(
        lk->vspace(8),
        lk->hbox(lk->hglue(),
                 kit->default_button(qirUiText(110), new qirMemberAction<qirAddrEntryDialog>(this, &qirAddrEntryDialog::Ok)),
                 lk->hglue(),
                 kit->push_button(qirUiText(111), new qirMemberAction<qirAddrEntryDialog>(this, &qirAddrEntryDialog::Cancel)),
                 lk->hglue()),
        lk->vspace(8)));
    PolyGlyph* box = static_cast<PolyGlyph*>(body());
    box->append(form);
    box->append(buttons);

    for (qirFieldEditor* f : fields_)
        append_input_handler(f);
    const qirString texts[4] = {entry_->Alias(), entry_->Address(), entry_->FullName(), entry_->Organisation()};
    for (int i = 0; i < 4; i++)
        if (!texts[i].IsEmpty())
            fields_[i]->field(texts[i].Data());
    FocusAlias();
}

qirAddrEntryDialog::~qirAddrEntryDialog() { Resource::unref(group_); }

void qirAddrEntryDialog::FocusAlias() { focus(fields_[0]); }

void qirAddrEntryDialog::Ok(int) {
    qirString texts[4];
    for (int i = 0; i < 4; i++) {
        texts[i] = TextOf(fields_[i]);
        texts[i].TrimRight();
    }
    // A line break would split the entry's record in the book's file and
    // the address in a letter's header.
    if (HasLineBreak(texts[0]) || HasLineBreak(texts[1])) {
        qirMessageBox::Warn(window(), "An alias or an address can't hold a line break!");
        return;
    }
    entry_->SetAlias(texts[0]);
    entry_->SetAddress(texts[1]);
    entry_->SetFullName(texts[2]);
    entry_->SetOrganisation(texts[3]);
    for (int i = 0; i < 4; i++) {
        if (kinds_[i]->state()->test(TelltaleState::is_chosen)) {
            entry_->SetAddressKind(i);
            break;
        }
    }
    dismiss(true);
}

void qirAddrEntryDialog::Cancel(int) { dismiss(false); }
