// The list box row of a message of an open folder: the status button and
// the summary line; it points back to its message until the message lets
// go of it.  Made and held only by qirMsgListItem.
#ifndef QIR_MSG_ROW_H
#define QIR_MSG_ROW_H

// Mail headers before InterViews' macros.
#include "qirMsgListItem.h"
#include "qirMsgList.h"
#include "qirListBox.h"
#include "qirMarkedItem.h"

#include <IV-look/button.h>
#include <IV-look/kit.h>
#include <InterViews/deck.h>
#include <InterViews/layout.h>
#include <InterViews/session.h>

class qirMsgRow : public qirMarkedItem {
public:
    qirMsgRow(qirMsgListItem* message, const qirString& text, qirListBox* box)
        : qirMarkedItem(text, box, Session::instance()->style(), WidgetKit::instance(), LayoutKit::instance()),
          message_(message) {}
    void Detach() { message_ = nullptr; }
    void SetStatus(Deck* d, Button* b)
    {
        status_ = d;
        button_ = b;
    }
    // The status button (inside the row), for pointer tests.
    Button* StatusButton() const { return button_; }
    void FlipTo(int card)
    {
        if (!status_) return;
        status_->flip_to(card);
        redraw();
    }
    qirMsgListItem* Message() const { return message_; }

    void toggle() override
    {
        qirMarkedItem::toggle();
        if (message_ && message_->Owner()) message_->Owner()->RowSelected(message_, Selected());
    }
    void right_press() override
    {
        if (message_) message_->RightPressed();
    }
    void activate() override
    {
        if (message_) message_->Activate();
    }
    void hook() override
    {
        if (message_ && message_->Owner()) message_->Owner()->ShowFace(message_->XFaceBits());
    }

private:
    qirMsgListItem* message_;
    Deck* status_ = nullptr; // inside the row
    Button* button_ = nullptr;
};

#endif
