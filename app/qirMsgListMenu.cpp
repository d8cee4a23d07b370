#include "qirMsgList.h"
#include "qirMsgListMenu.h"

#include "qirMenuItem.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>
#include <IV-look/telltale.h>
#include <InterViews/action.h>
#include <InterViews/layout.h>

namespace {

// The close answers the flush's status, which the menu has no use for.
class CloseAction : public Action {
public:
    explicit CloseAction(qirMsgList* list) : list_(list) {}
    void execute() override { list_->CloseWindow(); }

private:
    qirMsgList* list_;
};

}  // namespace

Glyph* qir_build_msglist_menubar(qirMsgList* list, WidgetKit* kit, LayoutKit* lk) {
    Menu* bar = kit->menubar();
    Menu* menu = qirAppendPulldown(bar, kit, 458);
    qirAppendMenuItem(menu, kit, lk, 459, list, &qirMsgList::Rescan);
    qirAppendMenuItem(menu, kit, lk, 460, list, &qirMsgList::ImportMailbox);
    qirAppendMenuSeparator(menu, kit);
    qirAppendMenuItem(menu, kit, lk, 461, new CloseAction(list));

    menu = qirAppendPulldown(bar, kit, 462);
    qirAppendMenuItem(menu, kit, lk, 454, list, &qirMsgList::Compose);
    qirAppendMenuSeparator(menu, kit);
    qirAppendMenuItem(menu, kit, lk, 463, list, &qirMsgList::CopySelected);
    qirAppendMenuItem(menu, kit, lk, 464, list, &qirMsgList::MoveSelected);
    qirAppendMenuSeparator(menu, kit);
    qirAppendMenuItem(menu, kit, lk, 467, list, &qirMsgList::ExportSelected);
    qirAppendMenuItem(menu, kit, lk, 468, list, &qirMsgList::PrintSelected);
    qirAppendMenuItem(menu, kit, lk, 469, list, &qirMsgList::AddSenders);
    qirAppendMenuSeparator(menu, kit);
    qirAppendMenuItem(menu, kit, lk, 470, list, &qirMsgList::DeleteSelected);
    qirAppendMenuItem(menu, kit, lk, 471, list, &qirMsgList::UndeleteSelected);
    qirAppendMenuSeparator(menu, kit);
    qirAppendMenuItem(menu, kit, lk, 472, list, &qirMsgList::SelectAll);
    qirAppendMenuItem(menu, kit, lk, 473, list, &qirMsgList::UnselectAll);

    menu = qirAppendPulldown(bar, kit, 488);
    qirAppendMenuItem(menu, kit, lk, 488, new qirMemberAction<qirMsgList>(list, &qirMsgList::Reply, 0));
    qirAppendMenuItem(menu, kit, lk, 489, new qirMemberAction<qirMsgList>(list, &qirMsgList::Reply, 1));

    menu = qirAppendPulldown(bar, kit, 490);
    qirAppendMenuItem(menu, kit, lk, 490, list, &qirMsgList::Forward);

    // Radio items by menu place; the method each one sorts by.
    static const int sortLabels[7] = {475, 476, 477, 478, 479, 480, 481};
    static const int sortMethods[7] = {0, 1, 5, 3, 4, 2, 6};
    menu = qirAppendPulldown(bar, kit, 474);
    TelltaleGroup* group = new TelltaleGroup;
    TelltaleState* byMethod[7] = {};
    for (int i = 0; i < 7; i++) {
        MenuItem* item = kit->radio_menu_item(group, qirMenuLabel(kit, lk, sortLabels[i]));
        item->action(new qirMemberAction<qirMsgList>(list, &qirMsgList::SortChosen, sortMethods[i]));
        byMethod[sortMethods[i]] = item->state();
        menu->append_item(item);
    }
    qirAppendMenuSeparator(menu, kit);
    MenuItem* reverse = kit->check_menu_item(qirMenuLabel(kit, lk, 482));
    menu->append_item(reverse);
    list->SetSortItems(byMethod, reverse->state());

    menu = qirAppendPulldown(bar, kit, 483);
    qirAppendMenuItem(menu, kit, lk, 484, list, &qirMsgList::OpenAddressBook);
    qirAppendMenuItem(menu, kit, lk, 485, list, &qirMsgList::OpenFilterBook);

    menu = qirAppendPulldown(bar, kit, 114);
    qirAppendMenuItem(menu, kit, lk, 114, list, &qirMsgList::Help);
    qirAppendMenuItem(menu, kit, lk, 117, list, &qirMsgList::ShowHelpIndex);
    return bar;
}
