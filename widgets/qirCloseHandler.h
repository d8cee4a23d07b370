// Takes the window manager's close request for a top-level window.
#ifndef QIR_CLOSE_HANDLER_H
#define QIR_CLOSE_HANDLER_H

#include "qirObject.h"

#include <InterViews/handler.h>

class qirTopWindow;

// Install with ManagedWindow::wm_delete.  Without it InterViews would end
// the whole session when any window is closed from the window manager.
class qirCloseHandler : public Handler, public qirObject {
public:
    // The target is not owned; it must outlive the window holding this.
    explicit qirCloseHandler(qirTopWindow* target);
    ~qirCloseHandler() override;

    // Asks the target's close_request and always reports the event handled.
    bool event(Event&) override;

private:
    qirTopWindow* target_;
};

#endif
