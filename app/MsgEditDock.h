// The controller of one letter being written: it owns the draft message
// and, while open, its compose window.
#ifndef QIR_MSG_EDIT_DOCK_H
#define QIR_MSG_EDIT_DOCK_H

#include "qirLauncher.h"

#include <InterViews/enter-scope.h>

class MsgEdit;
class Window;
class qirMsg;

class MsgEditDock : public qirLauncher {
public:
    // Takes the draft (owned from now on) and the window group leader.
    MsgEditDock(qirMsg* message, Window* leader);
    // Closes; the draft directory stays on disk.
    ~MsgEditDock() override;

    // Makes the compose window when there is none.
    void open() override;
    // Takes the window off the screen (ending its external editor) and
    // deletes it and the draft object after the current event, since the
    // window's own Send and Discard close it.  The draft directory stays
    // unless an action removed it.
    void close() override;
    int is_open() override { return window_ != nullptr; }

    // Writes what the open window holds (text and fields) into the draft:
    // 0, or nonzero when something could not be written.
    int SaveDraft();
    // The same without a call to the X server (the display is gone), and
    // the external editor is ended.
    int SaveForLostDisplay();

    // The draft and the window, null once closed.
    qirMsg* Message() const { return message_; }
    MsgEdit* ComposeWindow() const { return window_; }

private:
    MsgEditDock(const MsgEditDock&) = delete;
    MsgEditDock& operator=(const MsgEditDock&) = delete;

    qirMsg* message_;
    MsgEdit* window_ = nullptr;
    Window* leader_;
};

#endif
