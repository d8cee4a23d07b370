#include "qirMainMenu.h"
#include "qirMenuItem.h"

#include "qirMainWindow.h"
#include "qirUiText.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>
#include <InterViews/action.h>
#include <InterViews/layout.h>

namespace {

typedef void (qirMainWindow::*AppMember)();

class AppAction : public Action {
public:
    AppAction(qirMainWindow* app, AppMember member) : app_(app), member_(member) {}
    void execute() override { (app_->*member_)(); }

private:
    qirMainWindow* app_;
    AppMember member_;
};

// Labels line up on the left however wide the menu is.
Glyph* ItemLabel(WidgetKit* kit, LayoutKit* lk, int text) {
    return lk->hbox(kit->fancy_label(qirUiText(text)), lk->hglue(0, 10000000, 0));
}

void Item(Menu* menu, qirMainWindow* app, WidgetKit* kit, LayoutKit* lk, int text, AppMember member) {
    MenuItem* item = kit->menu_item(ItemLabel(kit, lk, text));
    item->action(new AppAction(app, member));
    menu->append_item(item);
}

}  // namespace

Glyph* qir_build_main_menubar(qirMainWindow* app, WidgetKit* kit, LayoutKit* lk) {
    Menu* bar = kit->menubar();

    MenuItem* folders = kit->menubar_item(qirUiText(440));
    Menu* menu = kit->pulldown();
    Item(menu, app, kit, lk, 441, &qirMainWindow::NewFolder);
    Item(menu, app, kit, lk, 442, &qirMainWindow::OpenFolder);
    Item(menu, app, kit, lk, 443, &qirMainWindow::FolderProperties);
    Item(menu, app, kit, lk, 444, &qirMainWindow::DeleteFolder);
    menu->append_item(kit->menu_item_separator());
    Item(menu, app, kit, lk, 445, &qirMainWindow::CheckNewMail);
    menu->append_item(kit->menu_item_separator());
    Item(menu, app, kit, lk, 446, &qirMainWindow::Quit);
    qirSetSubmenu(folders, menu);
    bar->append_item(folders);

    MenuItem* books = kit->menubar_item(qirUiText(447));
    menu = kit->pulldown();
    Item(menu, app, kit, lk, 448, &qirMainWindow::AddressBook);
    Item(menu, app, kit, lk, 449, &qirMainWindow::OpenFilterBook);
    Item(menu, app, kit, lk, 450, &qirMainWindow::Compose);
    qirSetSubmenu(books, menu);
    bar->append_item(books);

    MenuItem* log = kit->menubar_item(qirUiText(497));
    menu = kit->pulldown();
    for (int i = 0; i < 7; i++) {
        if (i == 6)
            menu->append_item(kit->menu_item_separator());
        MenuItem* item = kit->check_menu_item(ItemLabel(kit, lk, 498 + i)); // catalogue: 498-504
        app->SetLogToggle(i, item->state());
        menu->append_item(item);
    }
    qirSetSubmenu(log, menu);
    bar->append_item(log);

    MenuItem* help = kit->menubar_item(qirUiText(451));
    menu = kit->pulldown();
    Item(menu, app, kit, lk, 114, &qirMainWindow::HelpFolders);
    Item(menu, app, kit, lk, 117, &qirMainWindow::HelpIndex);
    menu->append_item(kit->menu_item_separator());
    Item(menu, app, kit, lk, 452, &qirMainWindow::About);
    qirSetSubmenu(help, menu);
    bar->append_item(help);
    return bar;
}
