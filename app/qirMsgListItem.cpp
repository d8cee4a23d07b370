#include "qirMsgListItem.h"

#include "qirConfiguration.h"
#include "qirShortHeader.h"

#include "MsgView.h"
#include "MsgViewDock.h"
#include "qirMsgList.h"
#include "qirMsgRow.h"

#include <InterViews/window.h>

qirMsgListItem::qirMsgListItem(const qirPath& path, qirMsgList* owner)
    : qirMsg(path, qirMsg::Summary()), owner_(owner)
{
    if (!owner_) return;
    row_ = new qirMsgRow(this, owner_->MessageRows(), owner_->RowShape());
    Resource::ref(row_);
}

qirMsgListItem::~qirMsgListItem()
{
    delete viewDock_;
    if (owner_) owner_->RowGone(this);
    if (row_) {
        row_->Detach();
        Resource::unref(row_);
    }
    delete text_;
}

qirListItem* qirMsgListItem::RowItem() const { return row_; }

qirString qirMsgListItem::SummaryLine() const
{
    if (owner_) return owner_->SummaryFormat().RowText(this);
    qirShortHeader format(qirConfig.Find("Short-Header-Format"));
    return format.RowText(this);
}

const qirString& qirMsgListItem::RowText() const
{
    if (!text_) text_ = new qirString;
    *text_ = SummaryLine();
    return *text_;
}

void qirMsgListItem::Refresh()
{
    if (row_) row_->FlipTo(StatusCard());
    if (owner_) owner_->RowChanged(this);
    if (MsgView* view = viewDock_ ? viewDock_->View() : nullptr) {
        view->ShowStatus();
        view->ShowDeletedMark();
    }
}

void qirMsgListItem::Activate()
{
    if (!viewDock_) viewDock_ = new MsgViewDock(this, owner_, owner_ ? owner_->ListWindow() : nullptr);
    if (!viewDock_->is_open()) viewDock_->open();
}

MsgViewDock* qirMsgListItem::TakeViewDock()
{
    MsgViewDock* dock = viewDock_;
    viewDock_ = nullptr;
    return dock;
}

void qirMsgListItem::SetViewDock(MsgViewDock* dock)
{
    if (viewDock_ != dock) delete viewDock_;
    viewDock_ = dock;
}

void qirMsgListItem::StatusPressed()
{
    if (IsRemoved()) SetRemoved(0);
    else SetRead(!IsRead());
    Refresh();
}

void qirMsgListItem::RightPressed()
{
    SetRemoved(!IsRemoved());
    Refresh();
}
