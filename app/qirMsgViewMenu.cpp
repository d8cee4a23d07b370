#include "MsgView.h"
#include "qirMsgViewMenu.h"

#include "qirMenuItem.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>
#include <InterViews/layout.h>

Glyph* qir_build_msgview_menubar(MsgView* view, WidgetKit* kit, LayoutKit* lk)
{
    Menu* bar = kit->menubar();

    Menu* menu = qirAppendPulldown(bar, kit, 462);
    qirAppendMenuItem(menu, kit, lk, 487, view, &MsgView::Compose);
    qirAppendMenuItem(menu, kit, lk, 456, view, &MsgView::Delete);
    qirAppendMenuItem(menu, kit, lk, 486, view, &MsgView::Undelete);
    qirAppendMenuSeparator(menu, kit);
    qirAppendMenuItem(menu, kit, lk, 226, view, &MsgView::SaveBody);
    qirAppendMenuItem(menu, kit, lk, 227, view, &MsgView::Export);
    qirAppendMenuItem(menu, kit, lk, 228, view, &MsgView::CopyToFolder);
    qirAppendMenuItem(menu, kit, lk, 229, view, &MsgView::MoveToFolder);
    qirAppendMenuSeparator(menu, kit);
    qirAppendMenuItem(menu, kit, lk, 492, view, &MsgView::Print);
    qirAppendMenuSeparator(menu, kit);
    qirAppendMenuItem(menu, kit, lk, 230, view, &MsgView::AddSender);
    qirAppendMenuSeparator(menu, kit);
    qirAppendMenuItem(menu, kit, lk, 461, view, &MsgView::CloseView);

    menu = qirAppendPulldown(bar, kit, 488);
    qirAppendMenuItem(menu, kit, lk, 488, view, &MsgView::ReplyPlain);
    qirAppendMenuItem(menu, kit, lk, 489, view, &MsgView::ReplyQuoted);

    menu = qirAppendPulldown(bar, kit, 490);
    qirAppendMenuItem(menu, kit, lk, 490, view, &MsgView::Forward);

    // The body panel puts its own entries here when it is made.
    menu = qirAppendPulldown(bar, kit, 474);
    view->SetTextMenu(menu);

    menu = qirAppendPulldown(bar, kit, 114);
    qirAppendMenuItem(menu, kit, lk, 114, view, &MsgView::Help);
    qirAppendMenuItem(menu, kit, lk, 117, view, &MsgView::ShowHelpIndex);
    return bar;
}
