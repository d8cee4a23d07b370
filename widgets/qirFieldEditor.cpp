

#include "qirFieldEditor.h"

#include <IV-X11/Xlib.h>
#include <IV-X11/xevent.h>
#include <InterViews/event.h>
#include <X11/keysym.h>
#include <OS/string.h>

#include <algorithm>
#include <vector>

qirFieldEditor::qirFieldEditor(const char* sample, WidgetKit* kit, Style* style, FieldEditorAction* action)
    : FieldEditor(String(sample ? sample : ""), kit, style, nullptr),
      action_(action),
      sample_(sample ? sample : ""),
      style_(style) {
    Resource::ref(action_);
    FieldEditor::select(0);
}

qirFieldEditor::~qirFieldEditor() { Resource::unref(action_); }

namespace {

// Never destroyed: the fields in it are the session's.
std::vector<qirFieldEditor*>& Spares() {
    static std::vector<qirFieldEditor*>& spares = *new std::vector<qirFieldEditor*>;
    return spares;
}

}  // namespace

qirFieldEditor* qirFieldEditor::Take(const char* sample, WidgetKit* kit, Style* style) {
    std::vector<qirFieldEditor*>& spares = Spares();
    const std::string wanted = sample ? sample : "";
    for (size_t i = spares.size(); i-- > 0;) {
        qirFieldEditor* f = spares[i];
        if (f->sample_ == wanted && f->style_ == style) {
            spares.erase(spares.begin() + i);
            return f;
        }
    }
    qirFieldEditor* f = new qirFieldEditor(sample, kit, style);
    Resource::ref(f);
    f->field("");
    return f;
}

void qirFieldEditor::GiveBack(qirFieldEditor* field) {
    if (!field)
        return;
    field->field("");
    Spares().push_back(field);
}


void qirFieldEditor::keystroke(const Event& e) {
    // A full editor takes no more characters (its buffer would lose its
    // terminator); its editing keys still work.
    char c = 0;
    const int mapped = e.mapkey(&c, 1);
    if (mapped == 1 && static_cast<unsigned char>(c) >= ' ' && c != 127 && static_cast<int>(Held().size()) >= kHeld)
        return;
    if (action_ && mapped == 1 && (c == '\r' || c == '\n')) {
        action_->accept(this);
        return;
    }
    if (action_ && mapped == 1 && c == 27) {
        action_->cancel(this);
        return;
    }
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
    std::string all = text ? text : "";
    tail_ = all.size() > size_t(kHeld) ? all.substr(kHeld) : std::string();
    all.resize(std::min(all.size(), size_t(kHeld)));
    if (!drawn_) {
        pendingText_ = all;
        pending_ = true;
        return;
    }
    FieldEditor::field(all.c_str());
    FieldEditor::select(0);
}

void qirFieldEditor::field(const String& text) {
    field(std::string(text.string(), text.length()).c_str());
}

std::string qirFieldEditor::Held() const {
    if (pending_)
        return pendingText_;
    const String* s = FieldEditor::text();
    return s ? std::string(s->string(), s->length()) : std::string();
}

std::string qirFieldEditor::Value() const { return Held() + tail_; }

const String* qirFieldEditor::text() const {
    std::string all = Value();
    whole_ = CopyString(all.c_str(), int(all.size()));
    return &whole_;
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
