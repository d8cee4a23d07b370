// A message of an open folder that is also a row of its message list
// window: the row (a marked item with the status button and the summary
// line) is made with the message and leaves the list box with it.  The
// message is read as a summary (qirMsg::Summary): the rest is read when it
// is asked for; the row's glyphs exist while it is shown.
#ifndef QIR_MSG_LIST_ITEM_H
#define QIR_MSG_LIST_ITEM_H

#include "qirMsg.h"
#include "qirMsgCounts.h"

class MsgViewDock;
class qirListItem;
class qirMsgList;
class qirMsgRow;

class qirMsgListItem : public qirMsg {
public:
    // Builds the message from its directory and its row (in the owner's
    // message list box; no row without an owner).
    qirMsgListItem(const qirPath& path, qirMsgList* owner);
    // Takes the row out of the list box and releases it; deletes the view
    // controller, which closes an open view.
    ~qirMsgListItem() override;

    // After a change of the read or deleted flag: the status card and the
    // owner's counters follow.
    void Refresh();
    // The status button: undeletes a deleted message, else flips read.
    void StatusPressed();
    // The right button: flips the deleted flag.
    void RightPressed();
    // The double click: opens the message's view window (making its
    // controller first), unless it is open.
    void Activate();

    // The controller of the message's view window (owned), or null.  The
    // view hands it on when it steps to another message: TakeViewDock lets
    // go of it, SetViewDock takes one over (deleting a different one held).
    MsgViewDock* ViewDock() const { return viewDock_; }
    MsgViewDock* TakeViewDock();
    void SetViewDock(MsgViewDock* dock);

    qirMsgRow* Row() const { return row_; }
    // The row as a list box item, or null without an owner.
    qirListItem* RowItem() const;
    qirMsgList* Owner() const { return owner_; }
    qirMsgCounts::Mark* CountMark() { return &mark_; }
    // 0 unread, 1 read, 2 deleted: the card the status button shows.
    int StatusCard() const { return IsRemoved() ? 2 : IsRead() ? 1 : 0; }
    // The row's text (the summary line, or the sender without a summary
    // layout), made afresh from the message at each call.
    const qirString& RowText() const;
    qirString SummaryLine() const;
    // Whether the row is in the owner's list box (kept by the owner).
    int RowShown() const { return rowShown_; }
    void SetRowShown(int shown) { rowShown_ = shown; }

private:
    qirMsgList* owner_;
    qirMsgRow* row_ = nullptr;         // referenced
    mutable qirString* text_ = nullptr; // owned; made by RowText
    qirMsgCounts::Mark mark_;
    int rowShown_ = 0;
    MsgViewDock* viewDock_ = nullptr; // owned
};

#endif
