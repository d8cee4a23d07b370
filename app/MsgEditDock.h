// The controller of one letter being written: it owns the draft message
// and, while open, its compose window.
//
// Seam: the compose window is not built yet.  The application object's
// NewComposeDock makes no controller until it is, so nothing opens one.
#ifndef QIR_MSG_EDIT_DOCK_H
#define QIR_MSG_EDIT_DOCK_H

#include "qirLauncher.h"

class Window;
class qirMsg;

class MsgEditDock : public qirLauncher {
public:
    // Takes the draft (owned from now on) and the window group leader.
    MsgEditDock(qirMsg* message, Window* leader);
    ~MsgEditDock() override;

    void open() override;
    void close() override;
    int is_open() override { return 0; }

    // The draft, null once closed.
    qirMsg* Message() const { return message_; }

private:
    MsgEditDock(const MsgEditDock&) = delete;
    MsgEditDock& operator=(const MsgEditDock&) = delete;

    qirMsg* message_;
    Window* leader_;
};

#endif
