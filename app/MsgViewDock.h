// The controller of one message's view window.  A message row makes it on
// its first double click and owns it; stepping to another message hands
// it to that message's row.
#ifndef MSG_VIEW_DOCK_H
#define MSG_VIEW_DOCK_H

#include "qirLauncher.h"

#include <InterViews/enter-scope.h>

class MsgView;
class Window;
class qirMsgList;
class qirMsgListItem;

class MsgViewDock : public qirLauncher {
public:
    // message and folder are not owned; listWindow leads the view's window
    // group.
    MsgViewDock(qirMsgListItem* message, qirMsgList* folder, Window* listWindow);
    // Closes the view.
    ~MsgViewDock() override;

    // Makes the view unless one exists.
    void open() override;
    // The view goes from the screen now and is deleted once the current
    // event has been handled: the close may come from the view's own menu
    // or button, and the view lets go of the message at once.
    void close() override;
    int is_open() override { return view_ != nullptr; }

    MsgView* View() const { return view_; }
    qirMsgListItem* Message() const { return message_; }
    void SetMessage(qirMsgListItem* message) { message_ = message; }
    qirMsgList* Folder() const { return folder_; }
    Window* ListWindow() const { return listWindow_; }

private:
    MsgViewDock(const MsgViewDock&) = delete;
    MsgViewDock& operator=(const MsgViewDock&) = delete;

    MsgView* view_ = nullptr;  // owned
    qirMsgListItem* message_;
    Window* listWindow_;
    qirMsgList* folder_;
};

#endif
