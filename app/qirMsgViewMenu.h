// The menu bar of a message view window, and the action that binds a menu
// entry or a tool-bar button of the view to one of its members.
#ifndef QIR_MSG_VIEW_MENU_H
#define QIR_MSG_VIEW_MENU_H

#include <InterViews/action.h>

class Glyph;
class LayoutKit;
class MsgView;
class WidgetKit;

// Runs a member of the view.  The view outlives its menus and buttons.
class MsgViewAction : public Action {
public:
    typedef void (MsgView::*Member)();
    MsgViewAction(MsgView* view, Member member) : view_(view), member_(member) {}
    void execute() override { (view_->*member_)(); }

private:
    MsgView* view_;
    Member member_;
};

// The menu bar of the view: message actions, reply, forward, the text
// panel's own entries (handed to the view with SetTextMenu) and help.
Glyph* qir_build_msgview_menubar(MsgView* view, WidgetKit* kit, LayoutKit* lk);

#endif
