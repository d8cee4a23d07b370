#include "qirMsgList.h"
#include "qirMsgListMenu.h"

#include "qirUiText.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>
#include <IV-look/telltale.h>
#include <InterViews/action.h>
#include <InterViews/layout.h>

namespace {

typedef void (qirMsgList::*ListMember)();
typedef void (qirMsgList::*ListMemberWith)(int);

class ListAction : public Action {
public:
    ListAction(qirMsgList* list, ListMember member) : list_(list), member_(member) {}
    ListAction(qirMsgList* list, ListMemberWith member, int arg) : list_(list), with_(member), arg_(arg) {}
    void execute() override {
        if (member_)
            (list_->*member_)();
        else
            (list_->*with_)(arg_);
    }

private:
    qirMsgList* list_;
    ListMember member_ = nullptr;
    ListMemberWith with_ = nullptr;
    int arg_ = 0;
};

// The close answers the flush's status, which the menu has no use for.
class CloseAction : public Action {
public:
    explicit CloseAction(qirMsgList* list) : list_(list) {}
    void execute() override { list_->CloseWindow(); }

private:
    qirMsgList* list_;
};

// Labels line up on the left however wide the menu is.
Glyph* ItemLabel(WidgetKit* kit, LayoutKit* lk, int text) {
    return lk->hbox(kit->fancy_label(qirUiText(text)), lk->hglue(0, 10000000, 0));
}

void Item(Menu* menu, WidgetKit* kit, LayoutKit* lk, int text, Action* action) {
    MenuItem* item = kit->menu_item(ItemLabel(kit, lk, text));
    item->action(action);
    menu->append_item(item);
}

Menu* Pulldown(Menu* bar, WidgetKit* kit, int text) {
    MenuItem* entry = kit->menubar_item(qirUiText(text));
    Menu* menu = kit->pulldown();
    entry->menu(menu);
    bar->append_item(entry);
    return menu;
}

}  // namespace

Glyph* qir_build_msglist_menubar(qirMsgList* list, WidgetKit* kit, LayoutKit* lk) {
    Menu* bar = kit->menubar();
    auto plain = [&](Menu* menu, int text, ListMember member) { Item(menu, kit, lk, text, new ListAction(list, member)); };

    Menu* menu = Pulldown(bar, kit, 458);
    plain(menu, 459, &qirMsgList::Rescan);
    plain(menu, 460, &qirMsgList::ImportMailbox);
    menu->append_item(kit->menu_item_separator());
    Item(menu, kit, lk, 461, new CloseAction(list));

    menu = Pulldown(bar, kit, 462);
    plain(menu, 454, &qirMsgList::Compose);
    menu->append_item(kit->menu_item_separator());
    plain(menu, 463, &qirMsgList::CopySelected);
    plain(menu, 464, &qirMsgList::MoveSelected);
    menu->append_item(kit->menu_item_separator());
    plain(menu, 467, &qirMsgList::ExportSelected);
    plain(menu, 468, &qirMsgList::PrintSelected);
    plain(menu, 469, &qirMsgList::AddSenders);
    menu->append_item(kit->menu_item_separator());
    plain(menu, 470, &qirMsgList::DeleteSelected);
    plain(menu, 471, &qirMsgList::UndeleteSelected);
    menu->append_item(kit->menu_item_separator());
    plain(menu, 472, &qirMsgList::SelectAll);
    plain(menu, 473, &qirMsgList::UnselectAll);

    menu = Pulldown(bar, kit, 488);
    Item(menu, kit, lk, 488, new ListAction(list, &qirMsgList::Reply, 0));
    Item(menu, kit, lk, 489, new ListAction(list, &qirMsgList::Reply, 1));

    menu = Pulldown(bar, kit, 490);
    plain(menu, 490, &qirMsgList::Forward);

    // Radio items by menu place; the method each one sorts by.
    static const int sortLabels[7] = {475, 476, 477, 478, 479, 480, 481};
    static const int sortMethods[7] = {0, 1, 5, 3, 4, 2, 6};
    menu = Pulldown(bar, kit, 474);
    TelltaleGroup* group = new TelltaleGroup;
    TelltaleState* byMethod[7] = {};
    for (int i = 0; i < 7; i++) {
        MenuItem* item = kit->radio_menu_item(group, ItemLabel(kit, lk, sortLabels[i]));
        item->action(new ListAction(list, &qirMsgList::SortChosen, sortMethods[i]));
        byMethod[sortMethods[i]] = item->state();
        menu->append_item(item);
    }
    menu->append_item(kit->menu_item_separator());
    MenuItem* reverse = kit->check_menu_item(ItemLabel(kit, lk, 482));
    menu->append_item(reverse);
    list->SetSortItems(byMethod, reverse->state());

    menu = Pulldown(bar, kit, 483);
    plain(menu, 484, &qirMsgList::OpenAddressBook);
    plain(menu, 485, &qirMsgList::OpenFilterBook);

    menu = Pulldown(bar, kit, 114);
    plain(menu, 114, &qirMsgList::Help);
    plain(menu, 117, &qirMsgList::ShowHelpIndex);
    return bar;
}
