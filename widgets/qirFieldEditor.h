// The one-line text field of every dialog and window with text fields.
#ifndef QIR_FIELD_EDITOR_H
#define QIR_FIELD_EDITOR_H

#include <IV-look/field.h>
#include <OS/string.h>

#include <string>

class qirFieldEditor : public FieldEditor {
public:
    // action (may be null) gets Return as accept and Escape as cancel.
    qirFieldEditor(const char* sample, WidgetKit* kit, Style* style, FieldEditorAction* action = nullptr);

    // Left and Right move the insertion point one character, whatever the
    // keyboard mapping; every other key is InterViews' own editing.
    void keystroke(const Event&) override;
    // Focus moves as InterViews moves it, with the insertion point of this
    // field put back at its start.
    void next_focus() override;
    void prev_focus() override;
    // Replaces the text, insertion point at the start.
    void field(const char*) override;
    void field(const String&) override;
    const String* text() const override;

    void draw(Canvas*, const Allocation&) const override;
    void undraw() override;

private:
    // InterViews' editor keeps drawing into the canvas of a window that is
    // gone (a dialog between two posts): a text set while the field is not
    // on the screen waits here until it is drawn again.
    mutable bool drawn_ = false;
    mutable bool pending_ = false;
    std::string pendingText_;
    CopyString pendingString_;
};

#endif
