// The password prompt of the new-mail check; typed characters show as dots.
#ifndef QIR_PASSWORD_DIALOG_H
#define QIR_PASSWORD_DIALOG_H

#include "qirDialog.h"

class LayoutKit;
class Patch;
class WidgetKit;

class qirPasswordDialog : public qirDialog {
public:
    // Longest password kept; further characters are ignored.
    enum { Capacity = 256 };

    // Posted with Dialog::post_at at the screen's centre.
    qirPasswordDialog(qirString prompt, Style* parent, WidgetKit* kit, LayoutKit* layout);

    // Return accepts, Escape empties the password and cancels, BackSpace
    // takes the last character back; any other key adds the character it
    // types (its mapped text), and keys that type no printable character,
    // such as function keys or control combinations, are ignored.
    void keystroke(const Event&) override;

    // The typed characters.
    qirString Password() const;
    int Length() const { return length_; }

private:
    void ShowEcho();

    WidgetKit* kit_;
    LayoutKit* layout_;
    Patch* echo_;
    char buffer_[Capacity + 1];
    int length_ = 0;
};

#endif
