#include "qirRTFLinkGlyph.h"

#include "qirHelpReference.h"

#include <IV-look/kit.h>
#include <InterViews/event.h>

qirRTFLinkGlyph::qirRTFLinkGlyph(Glyph* body, qirHelpReferenceNode* target)
    : InputHandler(body, WidgetKit::instance()->style()), target_(target) {}

void qirRTFLinkGlyph::move(const Event& e) {
    if (target_)
        target_->Busy();
    InputHandler::move(e);
}

void qirRTFLinkGlyph::press(const Event& e) {
    armed_ = true;
    InputHandler::press(e);
}

// The reference is followed when the button comes up over the link, as a
// button acts: a new page replaces this glyph only after the press and
// the release have been handled (the reference list's host waits for the
// event's end), never while the toolkit still holds this handler's grab.
void qirRTFLinkGlyph::release(const Event& e) {
    bool follow = armed_ && inside(e);
    armed_ = false;
    InputHandler::release(e);
    if (follow && target_)
        target_->Follow();
}
