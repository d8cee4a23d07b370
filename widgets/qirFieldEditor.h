// The one-line text field of every dialog and window with text fields.
#ifndef QIR_FIELD_EDITOR_H
#define QIR_FIELD_EDITOR_H

#include <IV-look/field.h>
#include <OS/string.h>

#include <string>

class qirFieldEditor : public FieldEditor {
public:
    // action (may be null, referenced) gets Return as accept and Escape as
    // cancel.
    qirFieldEditor(const char* sample, WidgetKit* kit, Style* style, FieldEditorAction* action = nullptr);
    ~qirFieldEditor() override;

    // Fields of a window made again and again (the compose window).  The
    // toolkit's editor, once drawn, and the window it draws its text in
    // hold each other and are never freed: such a window gives its fields
    // back when it is gone, and the next one takes them.  Take answers an
    // empty field (one made of the same sample and style, or a new one)
    // with a reference for the caller; GiveBack takes that reference.
    static qirFieldEditor* Take(const char* sample, WidgetKit* kit, Style* style);
    static void GiveBack(qirFieldEditor* field);

    // Left and Right move the insertion point one character, whatever the
    // keyboard mapping; every other key is InterViews' own editing.
    void keystroke(const Event&) override;
    // Focus moves as InterViews moves it, with the insertion point of this
    // field put back at its start.
    void next_focus() override;
    void prev_focus() override;
    // Replaces the text, insertion point at the start.  A text longer
    // than the toolkit's editor holds is kept whole: the part that does
    // not fit is not shown and stays after what is.
    void field(const char*) override;
    void field(const String&) override;
    // The whole text: what the editor shows, then the part kept beside it.
    const String* text() const override;
    std::string Value() const;

    void draw(Canvas*, const Allocation&) const override;
    void undraw() override;

    // Characters the toolkit's editor holds: its buffer has 1,000 bytes,
    // and a full one has no terminator, so its text would be read past
    // the end.
    static const int kHeld = 999;

private:
    // The text of the toolkit's editor, never full.
    std::string Held() const;

    // InterViews' editor keeps drawing into the canvas of a window that is
    // gone (a dialog between two posts): a text set while the field is not
    // on the screen waits here until it is drawn again.
    mutable bool drawn_ = false;
    mutable bool pending_ = false;
    std::string pendingText_;   // at most kHeld characters
    std::string tail_;          // what did not fit into the editor
    // Kept here, not by the toolkit's editor: what that holds is never
    // freed (see Take).
    FieldEditorAction* action_ = nullptr;
    std::string sample_;        // for Take: what the field was made of
    const Style* style_ = nullptr;
    mutable CopyString whole_;  // the answer of text()
};

#endif
