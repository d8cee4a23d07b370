// Yes/no question with the warning picture.
#ifndef QIR_QUESTION_DIALOG_H
#define QIR_QUESTION_DIALOG_H

#include "qirDialog.h"

class Button;
class LayoutKit;
class WidgetKit;

class qirQuestionDialog : public qirDialog {
public:
    // line1 is required; line2..line10 may be null and are then left out.
    // post_for answers true for the accepting button (text 110), false for
    // the declining one (111) and the window manager's close.
    qirQuestionDialog(WidgetKit* kit, LayoutKit* layout, Style* parent, qirString title,
                      const qirString* line1, const qirString* line2 = nullptr,
                      const qirString* line3 = nullptr, const qirString* line4 = nullptr,
                      const qirString* line5 = nullptr, const qirString* line6 = nullptr,
                      const qirString* line7 = nullptr, const qirString* line8 = nullptr,
                      const qirString* line9 = nullptr, const qirString* line10 = nullptr);

    Button* YesButton() const { return yes_; }
    Button* NoButton() const { return no_; }

private:
    void Answer(int yes) { dismiss(yes != 0); }

    Button* yes_;
    Button* no_;
};

#endif
