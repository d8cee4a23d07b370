// The actions of the message list window's menu bar.
// Mail headers first: InterViews' macros would rename their members.
#include "qirError.h"
#include "qirStatus.h"
#include "qirMsgListItem.h"
#include "qirMainWindow.h"
#include "qirMsgList.h"

#include "qirListBox.h"
#include "qirMessageBox.h"
#include "qirMsgActions.h"
#include "qirMsgRow.h"

#include <InterViews/display.h>
#include <InterViews/session.h>
#include <InterViews/telltale.h>
#include <InterViews/window.h>

namespace {

const char atLeastOne[] = "You should select at least one message!";
const char exactlyOne[] = "You should select EXACTLY one message!";

}  // namespace

std::vector<qirMsg*> qirMsgList::SelectedMessages() const {
    std::vector<qirMsg*> selected;
    for (qirMsg* m = qirFolder::First(); m; m = qirFolder::Next(m)) {
        qirListItem* row = static_cast<qirMsgListItem*>(m)->RowItem();
        if (row && row->Selected())
            selected.push_back(m);
    }
    return selected;
}

// ---------------------------------------------------------------- flags and selection

void qirMsgList::DeleteSelected() {
    for (qirMsg* m : SelectedMessages())
        if (!m->IsRemoved()) {
            m->SetRemoved(1);
            static_cast<qirMsgListItem*>(m)->Refresh();
        }
    UpdateDeletedCount();
}

void qirMsgList::UndeleteSelected() {
    for (qirMsg* m : SelectedMessages())
        if (m->IsRemoved()) {
            m->SetRemoved(0);
            static_cast<qirMsgListItem*>(m)->Refresh();
        }
    UpdateDeletedCount();
}

void qirMsgList::SelectAll() {
    for (qirObject* n = msgRows_->Items().First(); n; n = qirList::Next(n)) {
        qirListItem* row = qirListItem::FromNode(n);
        if (!row->Selected())
            row->toggle();
    }
    UpdateSelectedCount();
}

void qirMsgList::UnselectAll() {
    msgRows_->UnselectAll();
    UpdateSelectedCount();
}

// ---------------------------------------------------------------- other folders and files

// The selection of an action that needs one; empty after the warning.
static std::vector<qirMsg*> NeededSelection(const qirMsgList* list) {
    std::vector<qirMsg*> selected = list->SelectedMessages();
    if (selected.empty())
        qirMessageBox::Warn(list->ListWindow(), qirString(atLeastOne));
    return selected;
}

void qirMsgList::CopySelected() {
    std::vector<qirMsg*> selected = NeededSelection(this);
    if (!selected.empty())
        qirMsgActions::ToFolder(this, selected.data(), (int)selected.size(), 0, window_);
}

void qirMsgList::MoveSelected() {
    std::vector<qirMsg*> selected = NeededSelection(this);
    if (!selected.empty())
        qirMsgActions::ToFolder(this, selected.data(), (int)selected.size(), 1, window_);
    UpdateDeletedCount();
}

void qirMsgList::ExportSelected() {
    std::vector<qirMsg*> selected = NeededSelection(this);
    if (!selected.empty())
        qirMsgActions::Export(selected.data(), (int)selected.size(), Name(), window_);
}

void qirMsgList::PrintSelected() {
    if (!qirApp)
        return;
    std::vector<qirMsg*> printed;
    for (qirMsg* m : SelectedMessages())
        if (!m->IsRemoved())
            printed.push_back(m);
    if (!qirMsgActions::ReadWhole(printed.data(), (int)printed.size(), window_))
        return;
    // Each job shows its own sender's face, whatever the pointer passed last.
    for (qirMsg* m : printed) {
        ShowFace(m->XFaceBits());
        qirApp->PrintMessage(m, face_);
    }
}

void qirMsgList::AddSenders() {
    std::vector<qirMsg*> selected = SelectedMessages();
    qirMsgActions::AddSenders(selected.data(), (int)selected.size(), window_);
}

void qirMsgList::Rescan() {
    Flush();
    UpdateReadCount();
    UpdateDeletedCount();
    UpdateSelectedCount();
    ShowFace(nullptr);
    RefreshViews();
}

void qirMsgList::ImportMailbox() {
    if (!qirApp)
        return;
    qirString file("");
    qirApp->OpenFileDialog(&file, window_);
    // The dialog leaves the screen before a long import starts.
    if (Session* session = Session::instance()) {
        session->default_display()->flush();
        session->default_display()->sync();
    }
    if (file.IsEmpty())
        return;
    Flush();
    if (FetchMailbox(qirPath(file), nullptr, 1) != qirOK && qirLog)
        qirLog->Report(qirLogError, "Error import folder!");
    RedrawList();
}

// ---------------------------------------------------------------- letters

void qirMsgList::Compose() {
    if (qirApp)
        qirApp->Compose();
}

// The one selected message of a reply or forward; null after the warning.
static qirMsg* OnlySelected(const qirMsgList* list) {
    qirMsgRow* row = static_cast<qirMsgRow*>(list->MessageRows()->FirstSelected());
    if (list->Counts().Selected() != 1 || !row) {
        qirMessageBox::Warn(list->ListWindow(), qirString(exactlyOne));
        return nullptr;
    }
    return qirApp ? row->Message() : nullptr;
}

void qirMsgList::Reply(int quote) {
    if (qirMsg* original = OnlySelected(this))
        qirApp->ComposeReply(original, quote, window_);
}

void qirMsgList::Forward() {
    if (qirMsg* original = OnlySelected(this))
        qirApp->ComposeForward(original, window_);
}

// ---------------------------------------------------------------- books and help

void qirMsgList::OpenAddressBook() {
    if (qirApp)
        qirApp->AddressBook();
}

void qirMsgList::OpenFilterBook() {
    if (qirApp)
        qirApp->OpenFilterBook();
}

void qirMsgList::Help() {
    if (qirApp)
        qirApp->ShowHelp("QIR messages list Help", "h_msglist.rtf");
}

void qirMsgList::ShowHelpIndex() {
    if (qirApp)
        qirApp->ShowHelp("QIR Help Index", "index.rtf");
}

// ---------------------------------------------------------------- sorting

void qirMsgList::SetSortItems(TelltaleState* const* methods, TelltaleState* reverse) {
    for (int i = 0; i < 7; i++) {
        TelltaleState* s = methods ? methods[i] : nullptr;
        Resource::ref(s);
        Resource::unref(sortItems_[i]);
        sortItems_[i] = s;
    }
    Resource::ref(reverse);
    Resource::unref(reverseItem_);
    reverseItem_ = reverse;
}

void qirMsgList::SortChosen(int method) { Sort(method); }
