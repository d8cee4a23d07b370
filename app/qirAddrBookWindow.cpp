#include "qirAddrBook.h"
#include "qirAddress.h"
#include "qirError.h"
#include "qirMsg.h"

#include "qirMainWindow.h"
#include "qirAddrBookWindow.h"

#include "MsgEdit.h"
#include "MsgEditDock.h"
#include "qirAddrBookMenu.h"
#include "qirAddrEntryDialog.h"
#include "qirCloseHandler.h"
#include "qirListBox.h"
#include "qirMemberAction.h"
#include "qirQuestionDialog.h"
#include "qirUiText.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>
#include <InterViews/layout.h>
#include <InterViews/patch.h>
#include <InterViews/session.h>
#include <InterViews/window.h>

#include <memory>
#include <vector>

namespace {

const char* Str(const qirString& s) { return s.Data() ? s.Data() : ""; }

}  // namespace

// ---------------------------------------------------------------- rows

qirAddrBookItem::qirAddrBookItem(qirAddrBookEntry* entry, qirAddrBook* book, qirAddrBookWindow* window,
                                 qirListBox* owner)
    : qirMarkedItem(RowText(entry), owner, WidgetKit::instance()->style(), WidgetKit::instance(),
                    LayoutKit::instance()),
      entry_(entry), book_(book), window_(window) {}

void qirAddrBookItem::activate() { window_->EditRow(this); }

qirString qirAddrBookItem::RowText(const qirAddrBookEntry* entry) {
    return qirString(Str(entry->Alias())).Concat(" : ").Concat(Str(entry->FullName()));
}

// ---------------------------------------------------------------- window

qirAddrBookWindow::qirAddrBookWindow(qirAddrBook* book) : book_(book) { Build(); }

qirAddrBookWindow::~qirAddrBookWindow() {
    Unmap();
    delete window_;
    Resource::unref(rows_);
}

void qirAddrBookWindow::Build() {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    // The rows go in at once, before the scroll bar that watches them.
    rows_ = new qirListBox(0, nullptr);
    Resource::ref(rows_);
    std::vector<qirListItem*> rows = MakeRows();
    rows_->AppendAll(rows.data(), (int)rows.size());
    if (!rows.empty())
        rows.front()->toggle();
    patch_ = new Patch(lk->hnatural(rows_, 400));

    typedef qirMemberAction<qirAddrBookWindow> Act;
    typedef qirAddrBookWindow W;
    Glyph* buttons = lk->hbox(kit->push_button(qirUiText(300), new Act(this, &W::To)), lk->hglue(),
                              kit->push_button(qirUiText(301), new Act(this, &W::Cc)), lk->hglue(),
                              kit->push_button(qirUiText(302), new Act(this, &W::Bcc)));
    buttons = lk->hbox(buttons, lk->hglue(), kit->push_button(qirUiText(304), new Act(this, &W::Compose)),
                       lk->hglue(), kit->push_button(qirUiText(303), new Act(this, &W::Close)), lk->hglue());
    Glyph* menubar = qir_build_addrbook_menubar(this, kit, lk);
    Glyph* body = lk->vbox(kit->bright_inset_frame(menubar),
                           kit->inset_frame(lk->vnatural(lk->hbox(patch_, kit->vscroll_bar(rows_)), 300)),
                           kit->outset_frame(lk->margin(buttons, 8)));

    window_ = new TopLevelWindow(body);
    if (qirApp && qirApp->MainWindow())
        window_->group_leader(qirApp->MainWindow());
    qir_set_window_style(window_, "Addres Book", qirMainWindow::WindowStyle());
    window_->wm_delete(new qirCloseHandler(this));
    qir_place_window(window_, dynamic_cast<Menu*>(menubar));
    window_->map();
}

std::vector<qirListItem*> qirAddrBookWindow::MakeRows() {
    std::vector<qirListItem*> rows;
    for (qirAddrBookEntry* e = book_->First(); e; e = qirAddrBook::Next(e))
        rows.push_back(new qirAddrBookItem(e, book_, this, rows_));
    return rows;
}

void qirAddrBookWindow::Refresh() {
    qirAddrBookItem* selected = Selected();
    qirAddrBookEntry* chosen = selected ? selected->Entry() : nullptr;
    rows_->RemoveAll();
    std::vector<qirListItem*> rows = MakeRows();
    rows_->AppendAll(rows.data(), (int)rows.size());
    for (size_t i = 0; chosen && i < rows.size(); i++) {
        if (static_cast<qirAddrBookItem*>(rows[i])->Entry() == chosen) {
            rows[i]->toggle();
            rows_->ShowRow((int)i);
            break;
        }
    }
    patch_->reallocate();
    patch_->redraw();
}

void qirAddrBookWindow::Show() { qir_show_window(window_); }

void qirAddrBookWindow::Unmap() { qir_unmap_window(window_); }

void qirAddrBookWindow::AttachComposer(MsgEdit* composer) {
    composer_ = composer;
    attached_ = composer != nullptr;
}

qirAddrBookItem* qirAddrBookWindow::Selected() const {
    return static_cast<qirAddrBookItem*>(rows_->FirstSelected());
}

int qirAddrBookWindow::AliasTaken(const qirAddrBookEntry* entry) const {
    qirString alias = entry->Alias();
    for (qirAddrBookEntry* e = book_->First(); e; e = qirAddrBook::Next(e))
        if (e != entry && e->Alias() == alias)
            return 1;
    return 0;
}

int qirAddrBookWindow::EditEntry(qirAddrBookEntry* entry, int inBook) {
    qirAddrBookEntry kept(*entry);
    qirAddrEntryDialog* dialog = new qirAddrEntryDialog(entry);
    Resource::ref(dialog);
    posted_ = 1;
    int accepted = 0;
    for (;;) {
        dialog->FocusAlias();
        if (!dialog->post_for(window_))
            break;
        if (!AliasTaken(entry)) {
            accepted = 1;
            break;
        }
        // Posted again with what was typed, for the alias to be changed.
        if (qirLog)
            qirLog->Write(qirLogError, qirUiText(310));
    }
    posted_ = 0;
    Resource::unref(dialog);
    if (!accepted && inBook)
        entry->Assign(kept);
    return accepted;
}

void qirAddrBookWindow::Save(int) {
    if (posted_)
        return;
    qirString why;
    if (book_->Save(&why) != 0 && qirLog)
        qirLog->Report(qirLogError, "Can't save address book! %s", Str(why));
}

void qirAddrBookWindow::Close(int) {
    if (posted_)
        return;
    if (qirApp)
        qirApp->CloseAddressBook();
}

void qirAddrBookWindow::Insert(int field) {
    qirAddrBookItem* row = Selected();
    if (posted_ || !attached_ || !composer_ || !row)
        return;
    std::unique_ptr<qirAddress> address(row->Entry()->ToAddress());
    qirString text = address->Format();
    if (field == 0)
        composer_->AddTo(text);
    else if (field == 1)
        composer_->AddCc(text);
    else
        composer_->AddBcc(text);
}

void qirAddrBookWindow::To(int) { Insert(0); }
void qirAddrBookWindow::Cc(int) { Insert(1); }
void qirAddrBookWindow::Bcc(int) { Insert(2); }

void qirAddrBookWindow::Compose(int) {
    qirAddrBookItem* row = Selected();
    if (posted_ || !row || !qirApp)
        return;
    MsgEditDock* dock = qirApp->NewComposeDock();
    if (!dock)
        return;
    std::unique_ptr<qirAddress> address(row->Entry()->ToAddress());
    dock->Message()->AddTo(address.get());
    dock->open();
}

void qirAddrBookWindow::Add(int) {
    if (posted_)
        return;
    qirAddrBookEntry* entry = new qirAddrBookEntry();
    if (!EditEntry(entry, 0)) {
        delete entry;
        return;
    }
    book_->Append(entry);
    qirAddrBookItem* row = new qirAddrBookItem(entry, book_, this, rows_);
    rows_->append(row);
    int count = rows_->Count();
    if (count == 1)
        row->toggle();
    rows_->ShowRow(count - 1);
    patch_->redraw();
}

void qirAddrBookWindow::Edit(int) {
    if (qirAddrBookItem* row = Selected())
        EditRow(row);
}

void qirAddrBookWindow::EditRow(qirAddrBookItem* row) {
    if (posted_ || !row)
        return;
    if (EditEntry(row->Entry(), 1))
        row->SetLabel(qirAddrBookItem::RowText(row->Entry()));
}

void qirAddrBookWindow::Delete(int) {
    qirAddrBookItem* row = Selected();
    if (posted_ || !row)
        return;
    qirString l1(qirUiText(656)), l2(row->Label()), l3(qirUiText(657));
    qirQuestionDialog* question =
        new qirQuestionDialog(WidgetKit::instance(), LayoutKit::instance(), qirMainWindow::WindowStyle(), "Confirm", &l1, &l2, &l3);
    Resource::ref(question);
    posted_ = 1;
    bool yes = question->post_for(window_);
    posted_ = 0;
    Resource::unref(question);
    if (!yes)
        return;
    int at = 0;
    for (qirObject* n = rows_->Items().First(); n && qirListItem::FromNode(n) != row; n = qirList::Next(n))
        at++;
    qirAddrBookEntry* entry = row->Entry();
    rows_->remove(row); // the row goes first: it names the entry
    book_->Remove(entry);
    int left = rows_->Count();
    if (left == 0)
        return;
    if (at >= left)
        at = left - 1;
    rows_->Item(at)->toggle();
    rows_->ShowRow(at);
}

void qirAddrBookWindow::Help(int) {
    if (qirApp)
        qirApp->ShowHelp("QIR addresses book Help", "h_addrbook.rtf");
}

void qirAddrBookWindow::HelpIndex(int) {
    if (qirApp)
        qirApp->ShowHelp("QIR Help Index", "index.rtf");
}
