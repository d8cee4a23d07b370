#include "MsgView.h"
#include "qirMsgViewMenu.h"

#include "qirUiText.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>
#include <InterViews/layout.h>

namespace {

// Labels line up on the left however wide the menu is.
Glyph* ItemLabel(WidgetKit* kit, LayoutKit* lk, int text)
{
    return lk->hbox(kit->fancy_label(qirUiText(text)), lk->hglue(0, 10000000, 0));
}

void Item(Menu* menu, MsgView* view, WidgetKit* kit, LayoutKit* lk, int text, MsgViewAction::Member member)
{
    MenuItem* item = kit->menu_item(ItemLabel(kit, lk, text));
    item->action(new MsgViewAction(view, member));
    menu->append_item(item);
}

} // namespace

Glyph* qir_build_msgview_menubar(MsgView* view, WidgetKit* kit, LayoutKit* lk)
{
    Menu* bar = kit->menubar();

    MenuItem* message = kit->menubar_item(qirUiText(462));
    Menu* menu = kit->pulldown();
    Item(menu, view, kit, lk, 487, &MsgView::Compose);
    Item(menu, view, kit, lk, 456, &MsgView::Delete);
    Item(menu, view, kit, lk, 486, &MsgView::Undelete);
    menu->append_item(kit->menu_item_separator());
    Item(menu, view, kit, lk, 226, &MsgView::SaveBody);
    Item(menu, view, kit, lk, 227, &MsgView::Export);
    Item(menu, view, kit, lk, 228, &MsgView::CopyToFolder);
    Item(menu, view, kit, lk, 229, &MsgView::MoveToFolder);
    menu->append_item(kit->menu_item_separator());
    Item(menu, view, kit, lk, 492, &MsgView::Print);
    menu->append_item(kit->menu_item_separator());
    Item(menu, view, kit, lk, 230, &MsgView::AddSender);
    menu->append_item(kit->menu_item_separator());
    Item(menu, view, kit, lk, 461, &MsgView::CloseView);
    message->menu(menu);
    bar->append_item(message);

    MenuItem* reply = kit->menubar_item(qirUiText(488));
    menu = kit->pulldown();
    Item(menu, view, kit, lk, 488, &MsgView::ReplyPlain);
    Item(menu, view, kit, lk, 489, &MsgView::ReplyQuoted);
    reply->menu(menu);
    bar->append_item(reply);

    MenuItem* forward = kit->menubar_item(qirUiText(490));
    menu = kit->pulldown();
    Item(menu, view, kit, lk, 490, &MsgView::Forward);
    forward->menu(menu);
    bar->append_item(forward);

    // The body panel puts its own entries here when it is made.
    MenuItem* text = kit->menubar_item(qirUiText(474));
    menu = kit->pulldown();
    view->SetTextMenu(menu);
    text->menu(menu);
    bar->append_item(text);

    MenuItem* help = kit->menubar_item(qirUiText(114));
    menu = kit->pulldown();
    Item(menu, view, kit, lk, 114, &MsgView::Help);
    Item(menu, view, kit, lk, 117, &MsgView::ShowHelpIndex);
    help->menu(menu);
    bar->append_item(help);
    return bar;
}
