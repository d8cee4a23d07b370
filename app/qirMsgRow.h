// The list box row of a message of an open folder: the status button and
// the summary line; it points back to its message until the message lets
// go of it.  Made and held only by qirMsgListItem.  A folder may hold a
// hundred thousand of these, so a row has glyphs only while it is shown:
// its summary line and its status button are made when it is drawn.
#ifndef QIR_MSG_ROW_H
#define QIR_MSG_ROW_H

// Mail headers before InterViews' macros.
#include "qirMsgListItem.h"
#include "qirMsgList.h"
#include "qirListBox.h"
#include "qirMarkedItem.h"

#include <IV-look/button.h>
#include <IV-look/kit.h>
#include <InterViews/action.h>
#include <InterViews/deck.h>
#include <InterViews/layout.h>
#include <InterViews/session.h>

class qirMsgRow : public qirMarkedItem {
public:
    qirMsgRow(qirMsgListItem* message, qirListBox* box, qirRowShape* shape)
        : qirMarkedItem(box, Session::instance()->style(), WidgetKit::instance(), LayoutKit::instance(), shape,
                        Deferred()),
          message_(message) {}
    void Detach() { message_ = nullptr; }
    // The status button (inside the row), for pointer tests; null while the
    // row is not shown.
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

protected:
    qirString DeferredLabel() const override { return message_ ? message_->SummaryLine() : qirString(""); }
    // The status button leads the row, before the tick, so that the
    // summary stays the row's label.
    Glyph* DeferredLead() override
    {
        qirMsgList* owner = message_ ? message_->Owner() : nullptr;
        if (!owner) return nullptr;
        WidgetKit* kit = WidgetKit::instance();
        status_ = LayoutKit::instance()->deck(3);
        for (int card = 0; card < 3; card++) status_->append(owner->StatusFace(card));
        status_->flip_to(message_->StatusCard());
        // One style for the buttons of all rows: a style per row would make
        // closing a large folder take each out of its parent by a search.
        kit->push_style(owner->StatusButtonStyle());
        button_ = kit->push_button(status_, new StatusAction(this));
        kit->pop_style();
        return button_;
    }
    void RowReleased() override
    {
        status_ = nullptr;
        button_ = nullptr;
    }

private:
    class StatusAction : public Action {
    public:
        explicit StatusAction(qirMsgRow* row) : row_(row) {}
        void execute() override
        {
            if (row_->message_) row_->message_->StatusPressed();
        }

    private:
        qirMsgRow* row_; // the button lives inside the row
    };

    qirMsgListItem* message_;
    Deck* status_ = nullptr; // inside the row while it is built
    Button* button_ = nullptr;
};

#endif
