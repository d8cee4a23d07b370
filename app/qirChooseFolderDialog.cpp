#include "qirFolderList.h"
#include "qirFolderListView.h"
#include "qirMainWindow.h"

#include "qirChooseFolderDialog.h"

#include "qirListBox.h"
#include "qirMarkedItem.h"
#include "qirMemberAction.h"
#include "qirUiText.h"

#include <IV-look/kit.h>
#include <InterViews/layout.h>

#include <algorithm>

qirChooseFolderDialog::qirChooseFolderDialog(qirFolder** result, qirFolderList* folders)
    : qirDialog(LayoutKit::instance()->vbox(), qirApp ? qirApp->AppStyle() : nullptr, "Choose folder"),
      result_(result),
      folders_(folders ? folders : qirApp ? qirApp->FolderList() : nullptr) {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    *result_ = nullptr;
    rows_ = new qirListBox(0, nullptr);
    Resource::ref(rows_);
    if (folders_)
        for (qirFolder* f = folders_->First(); f; f = qirFolderList::Next(f))
            rows_->append(new qirMarkedItem(f->Name(), rows_, style(), kit, lk));
    if (qirListItem* first = rows_->Item(0))
        first->toggle();
    PolyGlyph* box = static_cast<PolyGlyph*>(body());
    // Room for a dozen folders before the list scrolls.
    Glyph* list = rows_;
    if (qirListItem* first = rows_->Item(0)) {
        Requisition r;
        first->request(r);
        int shown = std::min(std::max(rows_->Count() + 1, 5), 13);
        list = lk->vnatural(rows_, r.y_requirement().natural() * shown);
    }
    box->append(kit->inset_frame(lk->hbox(list, kit->vscroll_bar(rows_))));
    Glyph* buttons = lk->hbox(
        lk->hglue(), kit->default_button(qirUiText(110), new qirMemberAction<qirChooseFolderDialog>(this, &qirChooseFolderDialog::Ok)),
        lk->hglue(), kit->push_button(qirUiText(111), new qirMemberAction<qirChooseFolderDialog>(this, &qirChooseFolderDialog::Cancel)),
        lk->hglue());
    box->append(kit->outset_frame(lk->vbox(lk->vspace(8), buttons, lk->vspace(8))));
}

qirChooseFolderDialog::~qirChooseFolderDialog() { Resource::unref(rows_); }

void qirChooseFolderDialog::Ok(int) {
    int index = 0;
    for (qirObject* n = rows_->Items().First(); n; n = qirList::Next(n), index++) {
        if (qirListItem::FromNode(n)->Selected()) {
            // The folder at the same place of the list, if it is still there.
            *result_ = folders_ ? static_cast<qirFolder*>(folders_->Nth(index)) : nullptr;
            break;
        }
    }
    dismiss(true);
}

void qirChooseFolderDialog::Cancel(int) {
    *result_ = nullptr;
    dismiss(false);
}
