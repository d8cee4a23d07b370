// The dialog that asks for a folder's name and icon, for a new folder or
// for the properties of an existing one.
#ifndef QIR_FOLDER_DIALOG_H
#define QIR_FOLDER_DIALOG_H

#include "qirPath.h"
#include "qirString.h"

#include "qirDialog.h"
#include "qirFieldEditor.h"

#include <InterViews/transformer.h>

class Patch;
class qirFolderDialog;

// The icon field: Return or line feed shows the typed icon in the preview.
class qirFolderIconField : public qirFieldEditor {
public:
    qirFolderIconField(const char* sample, WidgetKit* kit, Style* style, qirFolderDialog* dialog);
    void keystroke(const Event&) override;

private:
    qirFolderDialog* dialog_; // the dialog holding this field
};

class qirFolderDialog : public qirDialog {
public:
    // name and icon are the caller's and must outlive the dialog; a missing
    // icon file is replaced by the default icon at once.  newFolder chooses
    // the heading and the title.
    qirFolderDialog(qirString* name, qirPath* icon, int incoming, int newFolder);
    ~qirFolderDialog() override;

    // Shows the icon field's file (or the default icon) in the preview; an
    // unreadable file shows an empty frame of the icon's size.
    void UpdatePreview();
    // The default icon by the incoming flag.
    qirString DefaultIcon() const;

    // Button actions.
    void Ok(int);
    void Cancel(int);
    void Browse(int);

    qirFieldEditor* NameField() const { return nameField_; }
    qirFolderIconField* IconField() const { return iconField_; }
    // Whether the preview shows a picture.
    int PreviewShown() const { return previewShown_; }

private:
    qirString* name_;
    qirPath* icon_;
    Patch* preview_;
    int incoming_;
    qirFolderIconField* iconField_;
    qirFieldEditor* nameField_;
    Transformer transformer_;
    int previewShown_ = 0;
};

#endif
