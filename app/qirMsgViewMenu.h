// The menu bar of a message view window.
#ifndef QIR_MSG_VIEW_MENU_H
#define QIR_MSG_VIEW_MENU_H

class Glyph;
class LayoutKit;
class MsgView;
class WidgetKit;

// The menu bar of the view: message actions, reply, forward, the text
// panel's own entries (handed to the view with SetTextMenu) and help.
Glyph* qir_build_msgview_menubar(MsgView* view, WidgetKit* kit, LayoutKit* lk);

#endif
