#include "qirConfiguration.h"
#include "qirError.h"
#include "qirHelpManager.h"

#include "qirAfterEvent.h"
#include "qirChildProcess.h"
#include "qirHelpWindow.h"

#include <IV-look/button.h>
#include <InterViews/cursor.h>
#include <InterViews/telltale.h>
#include <InterViews/window.h>

qirHelpManager qirHelp;

int (*qirHelpManager::ComposeTo)(const qirString& address) = nullptr;

namespace {

const char kIndexTitle[] = "QIR Help Index";

// The link cursor: a cross with a hollow centre, its hot spot in the middle.
Cursor* LinkCursorShape() {
    static const int pattern[16] = {0x0000, 0x0100, 0x0100, 0x0100, 0x07c0, 0x07c0, 0x06c0, 0x7c7c,
                                    0x06c0, 0x07c0, 0x07c0, 0x0100, 0x0100, 0x0100, 0x0000, 0x0000};
    static const int mask[16] = {0x0380, 0x0380, 0x0380, 0x0380, 0x0fe0, 0x0fe0, 0xfffe, 0xfffe,
                                 0xfffe, 0x0fe0, 0x0fe0, 0x0380, 0x0380, 0x0380, 0x0380, 0x0000};
    static Cursor* shape = new Cursor(7, 7, pattern, mask);
    return shape;
}

const char* Str(const qirString& s) { return s.Data() ? s.Data() : ""; }

}  // namespace

qirHelpManager::qirHelpManager() : helpPath_("./") {
    current_ = new qirHelpReference(qirString("General Index on Help"), qirPath("index.rtf"));
    history_.Append(current_);
}

qirHelpManager::~qirHelpManager() {
    history_.Remove(nullptr);
    current_ = nullptr;
    // The window, if the session left one, is not touched: drawing or
    // unmapping needs the display, which has gone with the session.
    window_ = nullptr;
}

void qirHelpManager::ReadConfiguration() {
    helpPath_ = qirString(qirHelpReferenceList::ConfiguredHelpPath()).Concat("/");
    qirString index = qirConfig.Get("HelpIndex");
    qirHelpReference* first = static_cast<qirHelpReference*>(history_.First());
    if (first)
        first->target = index.IsEmpty() ? qirPath("index.rtf") : qirPath(index);
}

void qirHelpManager::OpenIndex() { Show(qirHelpReference(qirString(kIndexTitle), qirPath("index.rtf"))); }

void qirHelpManager::ShowFor(Window*, const qirHelpReference& reference) {
    if (window_) {
        // A window under others or iconified comes to the front.
        window_->Map();
        window_->Raise();
        Go(reference);
        return;
    }
    ReadConfiguration();
    qirHelpWindow* made = new qirHelpWindow();
    if (!made->Usable()) {
        // Reported by the viewer; no window.
        delete made;
        return;
    }
    window_ = made;
    window_->Map();
    if (!Go(reference)) {
        window_ = nullptr;
        back_ = forward_ = nullptr;
        delete made;
    }
}

void qirHelpManager::Close() {
    if (!window_)
        return;
    qirHelpWindow* closed = window_;
    window_ = nullptr;
    back_ = forward_ = nullptr;
    closed->Unmap();
    qirAfterEvent::Delete(closed);
}

void qirHelpManager::SetButtons(Button* back, Button* forward) {
    back_ = back;
    forward_ = forward;
    UpdateButtons();
}

void qirHelpManager::UpdateButtons() {
    if (back_)
        back_->state()->set(TelltaleState::is_enabled, current_ && history_.Prev(current_) != nullptr);
    if (forward_)
        forward_->state()->set(TelltaleState::is_enabled, current_ && history_.Next(current_) != nullptr);
}

int qirHelpManager::Go(const qirHelpReference& reference) {
    int shown = 0;
    if (reference.IsOutside()) {
        if (qirLog)
            qirLog->Report(qirLogError, "Unknown reference manager \"%s\" !", Str(reference.Scheme()));
    } else if (reference.target.IsEmpty() || !window_ || !window_->Load(reference)) {
        // An empty target would open the help directory itself.
        if (qirLog)
            qirLog->Report(qirLogError, "Page \"%s\" at path '%s%s' not found !", Str(reference.title),
                           Str(helpPath_), Str(reference.target));
    } else {
        shown = 1;
        qirHelpReference* current = current_;
        qirHelpReference* last = static_cast<qirHelpReference*>(history_.Last());
        // From the middle of the history every page visited stays: the
        // page left is entered again before the new one.
        if (current != last && reference != *last)
            history_.Append(new qirHelpReference(*current));
        if (reference != *current)
            history_.Append(new qirHelpReference(reference));
        current_ = static_cast<qirHelpReference*>(history_.Last());
    }
    UpdateButtons();
    return shown;
}

void qirHelpManager::Visit(qirHelpReference* entry) {
    if (!entry || !window_)
        return;
    if (window_->Load(*entry)) {
        current_ = entry;
    } else if (qirLog) {
        qirLog->Report(qirLogError, "Page \"%s\" at path '%s%s' not found !", Str(entry->title), Str(helpPath_),
                       Str(entry->target));
    }
    UpdateButtons();
}

void qirHelpManager::Back() { Visit(current_ ? static_cast<qirHelpReference*>(history_.Prev(current_)) : nullptr); }

void qirHelpManager::Forward() { Visit(current_ ? static_cast<qirHelpReference*>(history_.Next(current_)) : nullptr); }

void qirHelpManager::Index() {
    if (qirHelpReference* first = static_cast<qirHelpReference*>(history_.First()))
        Go(qirHelpReference(*first));
}

// ------------------------------------------------------------- the host

void qirHelpManager::LinkCursor(int overLink) {
    if (Window* w = window_ ? window_->TheWindow() : nullptr)
        w->cursor(overLink ? LinkCursorShape() : defaultCursor);
}

int qirHelpManager::Run(const qirString& command, const qirString& argument) {
    const char* args[1] = {Str(argument)};
    return qirChildProcess::Start(command, args, 1, nullptr) < 0 ? -1 : 0;
}

int qirHelpManager::Compose(const qirString& address) {
    if (ComposeTo)
        return ComposeTo(address);
    if (qirLog)
        qirLog->Write(qirLogWarning, "Composing is not available yet");
    return -1;
}

void qirHelpManager::ShowLater(const qirHelpReference& reference) {
    // The link that asked belongs to the page that goes: the page is
    // replaced only after its event has been handled.
    qirAfterEvent::Run(
        [](void* data) {
            qirHelpReference* r = static_cast<qirHelpReference*>(data);
            qirHelp.Show(*r);
            delete r;
        },
        new qirHelpReference(reference));
}
