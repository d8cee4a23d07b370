// The search dialog of the enriched-text editor: a text, match case and
// backward.  One object is posted again and again and keeps the last
// accepted search.
#ifndef QIR_SEARCH_DIALOG_H
#define QIR_SEARCH_DIALOG_H

#include "qirDialog.h"

class Button;
class qirFieldEditor;

class qirSearchDialog : public qirDialog {
public:
    qirSearchDialog();

    // Return or line feed anywhere accepts, as the search button does.
    void keystroke(const Event&) override;

    // Stores the field and the check boxes and accepts.
    void Accept(int = 0);
    // Puts the controls back to the kept search and cancels.
    void Cancel(int = 0);

    // The last accepted search.
    const qirString& Text() const { return text_; }
    // The same, under a name the InterViews macros leave alone.
    const char* SearchText() const { return text_.Data(); }
    int Backward() const { return backward_; }
    int MatchCase() const { return matchCase_; }

    qirFieldEditor* Field() const { return field_; }
    Button* MatchCaseBox() const { return matchCaseBox_; }
    Button* BackwardBox() const { return backwardBox_; }
    Button* SearchButton() const { return search_; }
    Button* CancelButton() const { return cancel_; }

private:
    qirString text_;
    int backward_ = 0;
    int matchCase_ = 0;
    qirFieldEditor* field_;
    Button* matchCaseBox_;
    Button* backwardBox_;
    Button* search_;
    Button* cancel_;
};

#endif
