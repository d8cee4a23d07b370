#include "qirFolderListView.h"

const qirDirectory* qirFolderDirectory(const qirFolder* f) { return f->Directory(); }

#include "qirMsgList.h"
#include "qirListBox.h"

qirFolderListView::qirFolderListView(qirDirectory directory) : qirFolderList(directory) {
    rows_ = new qirListBox(0, nullptr);
    Resource::ref(rows_);
}

qirFolderListView::~qirFolderListView() {
    RemoveRows();
    // The folder list's destructor deletes the folders; each row's
    // reference of the list box is gone by then.
    while (qirObject* o = qirList::First()) {
        Unlink(o);
        delete o;
    }
    Resource::unref(rows_);
}

qirFolder* qirFolderListView::MakeFolder(const qirDirectory& path) { return CreateFolder(path); }

qirMsgList* qirFolderListView::CreateFolder(const qirDirectory& path) {
    qirMsgList* folder = new qirMsgList(path, rows_);
    // The folder list owns the folder: the row's reference must never be
    // the last one.
    Resource::ref(static_cast<qirListItem*>(folder));
    rows_->append(folder);
    return folder;
}

void qirFolderListView::RemoveRows() {
    while (rows_->Count() > 0)
        rows_->remove(rows_->Item(0));
}

qirMsgList* qirFolderListView::Selected() const {
    return static_cast<qirMsgList*>(rows_->FirstSelected());
}

// Moves a folder to the given place of the folder list and its row to the
// same place among the rows.
static void MoveTo(qirFolderList* list, qirListBox* rows, qirMsgList* folder, int place) {
    qirObject* node = static_cast<qirFolder*>(folder);
    if (list->Nth(place) == node)
        return;
    list->Unlink(node);
    list->InsertBefore(node, list->Nth(place));
    Resource::ref(static_cast<qirListItem*>(folder));
    rows->remove(folder);
    rows->InsertBefore(folder, rows->Item(place));
    Resource::unref(static_cast<qirListItem*>(folder));
}

int qirFolderListView::Load() {
    int status = Scan();
    if (qirFolder* in = Incoming())
        MoveTo(this, rows_, static_cast<qirMsgList*>(in), 0);
    if (qirFolder* out = Outgoing())
        MoveTo(this, rows_, static_cast<qirMsgList*>(out), Count() > 1 ? 1 : 0);
    if (qirListItem* first = rows_->Item(0))
        first->toggle();
    return status;
}

int qirFolderListView::DeleteFolder(qirFolder* f) {
    if (!f || !Contains(f))
        return 0;
    qirMsgList* folder = static_cast<qirMsgList*>(f);
    if (folder->Selected()) {
        folder->toggle();
        qirObject* node = static_cast<qirListItem*>(folder);
        qirObject* other = qirList::Next(node);
        if (!other)
            other = qirList::Prev(node);
        if (other)
            qirListItem::FromNode(other)->toggle();
    }
    Unlink(f);
    folder->CloseWindow();
    int status = folder->Destroy();
    rows_->remove(folder);
    delete f;
    return status;
}
