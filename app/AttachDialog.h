// The dialog in which the user picks a file, its MIME type and its transfer
// encoding to attach it to a letter, or changes those of an attachment.
#ifndef ATTACH_DIALOG_H
#define ATTACH_DIALOG_H

#include "qirContentType.h"
#include "qirDialog.h"
#include "qirString.h"

class Button;
class TelltaleGroup;
class qirFieldEditor;
class qirListBox;
class qirMsgComponent;

class AttachDialog : public qirDialog {
public:
    // Ten encodings, in the order of the transfer-encoding table.
    enum { EncodingCount = 10 };

    // A new attachment: text/plain in base64, the file field blank.
    AttachDialog();
    // Changing an attachment: its content type, and in the file field the
    // file the part is stored in (inside directory when one is given),
    // never a name the mail chose.
    explicit AttachDialog(const qirMsgComponent& part, const char* directory = nullptr);
    ~AttachDialog() override;

    // After a post that answered true: the chosen type, subtype, encoding
    // code and name and part name (the file's base name), and the file.
    const qirContentType& ContentType() const { return contentType_; }
    const qirString& File() const { return file_; }

    // OK: a file that cannot be read (or is no regular file) is reported
    // ("File %s does not exists!") and the dialog stays; else the choices
    // are taken and the dialog ends with true.
    void Ok(int);
    void Cancel(int);
    // The application's open dialog; a chosen file replaces the field.
    void Browse(int);

    // For tests: the parts the user works.
    qirFieldEditor* FileField() const { return field_; }
    qirListBox* TypeList() const { return types_; }
    Button* EncodingButton(int i) const { return i >= 0 && i < EncodingCount ? encodings_[i] : nullptr; }

private:
    AttachDialog(const AttachDialog&) = delete;
    AttachDialog& operator=(const AttachDialog&) = delete;
    void Build(const char* fileText);

    qirContentType contentType_;
    qirString file_;
    Button* encodings_[EncodingCount] = {};
    qirListBox* types_ = nullptr;       // referenced
    TelltaleGroup* group_ = nullptr;    // referenced
    qirFieldEditor* field_ = nullptr;
};

#endif
