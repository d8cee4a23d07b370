// A message with the warning picture and up to ten buttons.
#ifndef QIR_CHOICE_DIALOG_H
#define QIR_CHOICE_DIALOG_H

#include "qirDialog.h"
#include "qirList.h"

class Button;
class LayoutKit;
class WidgetKit;

class qirChoiceDialog : public qirDialog {
public:
    enum { MaxButtons = 10 };

    // lines and labels hold qirString nodes and stay the caller's.  Every
    // line is shown; one button is made per label, left to right, up to
    // ten; further labels are ignored.
    qirChoiceDialog(WidgetKit* kit, LayoutKit* layout, Style* parent, qirString title,
                    const qirList& lines, const qirList& labels);

    // Stores i as the choice and accepts.
    virtual void choose(int i);

    // The index (0-9) of the button that closed the dialog; read it only
    // when the post answered true.
    int Choice() const { return choice_; }

    int ButtonCount() const { return buttons_; }
    Button* ButtonAt(int i) const { return i >= 0 && i < buttons_ ? button_[i] : nullptr; }

private:
    int choice_ = -1;
    int buttons_ = 0;
    Button* button_[MaxButtons];
};

#endif
