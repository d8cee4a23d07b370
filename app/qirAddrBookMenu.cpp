#include "qirAddrBookMenu.h"

#include "qirAddrBookWindow.h"
#include "qirMenuItem.h"
#include "qirUiText.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>

Glyph* qir_build_addrbook_menubar(qirAddrBookWindow* book, WidgetKit* kit, LayoutKit* lk) {
    typedef qirAddrBookWindow B;
    Menu* bar = kit->menubar();

    MenuItem* title = kit->menubar_item(qirUiText(440));
    Menu* menu = kit->pulldown();
    qirAppendMenuItem(menu, kit, lk, 453, book, &B::Save);
    menu->append_item(kit->menu_item_separator());
    // The close button's text: the main menu's Quit would promise more.
    qirAppendMenuItem(menu, kit, lk, 303, book, &B::Close);
    title->menu(menu);
    bar->append_item(title);

    title = kit->menubar_item(qirUiText(447));
    menu = kit->pulldown();
    qirAppendMenuItem(menu, kit, lk, 454, book, &B::Add);
    qirAppendMenuItem(menu, kit, lk, 455, book, &B::Edit);
    qirAppendMenuItem(menu, kit, lk, 456, book, &B::Delete);
    qirAppendMenuItem(menu, kit, lk, 457, book, &B::Compose);
    title->menu(menu);
    bar->append_item(title);

    title = kit->menubar_item(qirUiText(114));
    menu = kit->pulldown();
    qirAppendMenuItem(menu, kit, lk, 114, book, &B::Help);
    qirAppendMenuItem(menu, kit, lk, 117, book, &B::HelpIndex);
    title->menu(menu);
    bar->append_item(title);
    return bar;
}
