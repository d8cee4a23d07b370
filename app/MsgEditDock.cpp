#include "qirMsg.h"

#include "qirMainWindow.h"

#include "MsgEdit.h"
#include "MsgEditDock.h"
#include "qirAfterEvent.h"

#include <InterViews/action.h>

namespace {

// The window's Send and Discard close it through here; the application
// then lets go of the controller.
class CloseCompose : public Action {
public:
    explicit CloseCompose(MsgEditDock* dock) : dock_(dock) {}
    void execute() override {
        dock_->close();
        if (qirApp)
            qirApp->ComposeClosed(dock_);
    }

private:
    MsgEditDock* dock_;
};

}  // namespace

MsgEditDock::MsgEditDock(qirMsg* message, Window* leader) : message_(message), leader_(leader) {}

MsgEditDock::~MsgEditDock() { close(); }

void MsgEditDock::open() {
    if (!window_ && message_)
        window_ = new MsgEdit(message_, leader_, new CloseCompose(this));
}

void MsgEditDock::close() {
    qirMsg* message = message_;
    message_ = nullptr;
    if (!window_) {
        delete message;
        return;
    }
    // The window's own action may still be on the stack: it goes off the
    // screen now and is deleted, with the draft object, after the event.
    MsgEdit* window = window_;
    window_ = nullptr;
    window->Withdraw();
    qirAfterEvent::Delete(window);
    qirAfterEvent::Delete(message);
}

int MsgEditDock::SaveDraft() { return window_ ? window_->SaveDraft() : 0; }

int MsgEditDock::SaveForLostDisplay() {
    if (!window_)
        return 0;
    int r = window_->SaveDraft();
    window_->StopEditor();
    return r;
}
