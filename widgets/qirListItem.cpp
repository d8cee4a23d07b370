#include "qirListItem.h"

#include "qirListBox.h"

#include <InterViews/event.h>

qirListItem::qirListItem(Glyph* body, qirListBox* owner, Style* style)
    : ActiveHandler(body, style), qirObject(27), owner_(owner) {}

qirListItem::~qirListItem() {}

void qirListItem::move(const Event& e) {
    hook();
    ActiveHandler::move(e);
    if (owner_)
        owner_->DragOver(this, e.left_is_down());
}

void qirListItem::press(const Event& e) {
    if (!owner_)
        return;
    if (e.pointer_button() == Event::right) {
        owner_->EndDrag();
        right_press();
        return;
    }
    owner_->Press(this, e.control_is_down());
}

// Not ActiveHandler::drag: it would take the motion as a move over the
// pressed row.
void qirListItem::drag(const Event& e) {
    // Let go of the grab so that motion reaches the rows under the pointer.
    if (owner_ && owner_->MultiSelect())
        e.ungrab(handler());
}

void qirListItem::release(const Event&) {
    if (owner_)
        owner_->EndDrag();
}

void qirListItem::double_click(const Event&) {
    activate();
}

void qirListItem::toggle() { selected_ = !selected_; }
void qirListItem::right_press() {}
void qirListItem::activate() {}
void qirListItem::hook() {}
