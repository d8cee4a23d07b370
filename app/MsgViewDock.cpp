#include "qirMsgListItem.h"
#include "qirMsgList.h"

#include "MsgView.h"
#include "MsgViewDock.h"

#include "qirAfterEvent.h"

#include <InterViews/action.h>

namespace {

class CloseView : public Action {
public:
    explicit CloseView(MsgViewDock* dock) : dock_(dock) {}
    void execute() override { dock_->close(); }

private:
    MsgViewDock* dock_;
};

} // namespace

MsgViewDock::MsgViewDock(qirMsgListItem* message, qirMsgList* folder, Window* listWindow)
    : message_(message), listWindow_(listWindow), folder_(folder)
{
}

MsgViewDock::~MsgViewDock() { close(); }

void MsgViewDock::open()
{
    if (view_ || !message_) return;
    view_ = new MsgView(folder_, message_, this, listWindow_, new CloseView(this));
}

void MsgViewDock::close()
{
    if (!view_) return;
    MsgView* closed = view_;
    view_ = nullptr;
    closed->Unmap();
    closed->Detach();
    qirAfterEvent::Delete(closed);
}
