

#include "qirFieldEditor.h"

#include <IV-X11/Xlib.h>
#include <IV-X11/xevent.h>
#include <InterViews/event.h>
#include <X11/keysym.h>
#include <OS/string.h>

qirFieldEditor::qirFieldEditor(const char* sample, WidgetKit* kit, Style* style, FieldEditorAction* action)
    : FieldEditor(String(sample ? sample : ""), kit, style, action) {
    FieldEditor::select(0);
}


void qirFieldEditor::keystroke(const Event& e) {
    unsigned long sym = e.keysym();
    KeySym letter = NoSymbol;
    if (sym == XK_Left || sym == XK_KP_Left)
        letter = XK_b;
    else if (sym == XK_Right || sym == XK_KP_Right)
        letter = XK_f;
    XEvent& xe = e.rep()->xevent_;
    if (letter != NoSymbol && (xe.type == KeyPress || xe.type == KeyRelease) && xe.xkey.display) {
        // The editor's own one-back and one-forward controls (Control-B and
        // Control-F), found through this display's keyboard mapping rather
        // than by fixed key codes, which differ between servers.
        KeyCode code = XKeysymToKeycode(xe.xkey.display, letter);
        if (code != 0) {
            Event moved(e);
            moved.rep()->xevent_.xkey.keycode = code;
            moved.rep()->xevent_.xkey.state = ControlMask;
            FieldEditor::keystroke(moved);
            return;
        }
    }
    FieldEditor::keystroke(e);
}

void qirFieldEditor::next_focus() {
    FieldEditor::next_focus();
    if (drawn_)
        FieldEditor::select(0);
}

void qirFieldEditor::prev_focus() {
    FieldEditor::prev_focus();
    if (drawn_)
        FieldEditor::select(0);
}

void qirFieldEditor::field(const char* text) {
    if (!drawn_) {
        pendingText_ = text ? text : "";
        pendingString_ = CopyString(pendingText_.c_str(), int(pendingText_.size()));
        pending_ = true;
        return;
    }
    FieldEditor::field(text ? text : "");
    FieldEditor::select(0);
}

void qirFieldEditor::field(const String& text) {
    field(std::string(text.string(), text.length()).c_str());
}

const String* qirFieldEditor::text() const {
    return pending_ ? &pendingString_ : FieldEditor::text();
}

void qirFieldEditor::draw(Canvas* c, const Allocation& a) const {
    drawn_ = true;
    FieldEditor::draw(c, a);
    if (pending_) {
        pending_ = false;
        qirFieldEditor* self = const_cast<qirFieldEditor*>(this);
        self->FieldEditor::field(pendingText_.c_str());
        self->FieldEditor::select(0);
    }
}

void qirFieldEditor::undraw() {
    drawn_ = false;
    FieldEditor::undraw();
}
