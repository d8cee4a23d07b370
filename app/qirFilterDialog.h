// Edits one filter in place: its name, its active flag, the header fields
// its pattern is tried against, the pattern and its case flag, and its
// actions with their folder, reply file and forward address.
#ifndef QIR_FILTER_DIALOG_H
#define QIR_FILTER_DIALOG_H

#include "qirDialog.h"

#include <vector>

class Button;
class qirFieldEditor;
class qirFilter;
class qirListBox;

class qirFilterDialog : public qirDialog {
public:
    // Shows the filter (not owned); the folder list is the application's.
    explicit qirFilterDialog(qirFilter* filter);
    ~qirFilterDialog() override;

    // Checks the fields; a missing or wrong one is named in a warning and
    // the dialog stays posted with the filter unchanged.  Otherwise stores
    // everything into the filter, trimmed of the fields' padding, and
    // answers true.
    void Ok(int = 0);
    void Cancel(int = 0);
    // Puts the file chosen in the open-file dialog into the reply field.
    void BrowseReply(int = 0);

    // The dialog's parts, for the book and its tests.  Boxes of the fields
    // in bit order: To, From, Reply-To, Subject, the named field; of the
    // actions: copy, reply, forward, mark removed.
    Button* FieldBox(int i) const { return fieldBoxes_[i]; }
    Button* ActionBox(int i) const { return actionBoxes_[i]; }
    Button* ActiveBox() const { return active_; }
    Button* CaseBox() const { return case_; }
    qirFieldEditor* NameField() const { return name_; }
    qirFieldEditor* OtherField() const { return other_; }
    qirFieldEditor* PatternField() const { return pattern_; }
    qirFieldEditor* ReplyField() const { return reply_; }
    qirFieldEditor* ForwardField() const { return forward_; }
    qirListBox* Folders() const { return folders_; }

private:
    Button* fieldBoxes_[5];
    qirFieldEditor* other_;
    qirFieldEditor* name_;
    Button* actionBoxes_[4];
    qirFieldEditor* pattern_;
    qirListBox* folders_;              // referenced
    std::vector<qirString> folderDirs_; // the base name of each row's folder
    qirFieldEditor* reply_;
    qirFieldEditor* forward_;
    Button* case_;
    Button* active_;
    qirFilter* filter_;
};

#endif
