// The folder list of the main window: every folder of the folder directory
// as a row of a list box, Incoming first and Outgoing second.
#ifndef QIR_FOLDER_LIST_VIEW_H
#define QIR_FOLDER_LIST_VIEW_H

#include "qirFolderList.h"

class qirListBox;
class qirMsgList;

class qirFolderListView : public qirFolderList {
public:
    // Nothing is scanned yet; the row list is empty.
    explicit qirFolderListView(qirDirectory directory);
    // Takes every row away, then deletes the folders (each closes its
    // window and is flushed).
    ~qirFolderListView() override;

    // Scans the folder directory, puts Incoming first and Outgoing second
    // and selects the first row: the scan's status.
    int Load();
    // A folder (a qirMsgList) for the folder directory whose row is the
    // last row; the caller appends the folder to the list.
    qirFolder* MakeFolder(const qirDirectory& path) override;
    qirMsgList* CreateFolder(const qirDirectory& path);
    // Moves the selection off the folder's row, unlinks the folder, removes
    // its directory tree, its row and the object.  Null is ignored.
    // Answers the removal's status (0, or that of qirFolder::Destroy).
    int DeleteFolder(qirFolder* folder);
    // Takes every row away (the folders stay in the list).
    void RemoveRows();

    // The folder of the first selected row, or null.
    qirMsgList* Selected() const;
    qirListBox* Rows() const { return rows_; }

private:
    qirListBox* rows_; // referenced
};

#endif
