// Lets the user pick the target folder of a copy or a move.
#ifndef QIR_CHOOSE_FOLDER_DIALOG_H
#define QIR_CHOOSE_FOLDER_DIALOG_H

#include "qirDialog.h"

class qirFolder;
class qirFolderList;
class qirListBox;

class qirChooseFolderDialog : public qirDialog {
public:
    // result is the caller's and is set to null now; after a post that
    // answers true it holds the chosen folder.  folders is the list shown
    // (null: the application's folder list).
    explicit qirChooseFolderDialog(qirFolder** result, qirFolderList* folders = nullptr);
    ~qirChooseFolderDialog() override;

    void Ok(int);
    void Cancel(int);

    qirListBox* Rows() const { return rows_; }

private:
    qirFolder** result_;
    qirFolderList* folders_;
    qirListBox* rows_; // referenced
};

#endif
