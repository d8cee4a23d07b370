#include "qirFilterBookMenu.h"

#include "qirFilterBookWindow.h"
#include "qirMenuItem.h"
#include "qirUiText.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>

Glyph* qir_build_filterbook_menubar(qirFilterBookWindow* book, WidgetKit* kit, LayoutKit* lk) {
    typedef qirFilterBookWindow B;
    Menu* bar = kit->menubar();

    MenuItem* title = kit->menubar_item(qirUiText(440));
    Menu* menu = kit->pulldown();
    qirAppendMenuItem(menu, kit, lk, 453, book, &B::Save);
    menu->append_item(kit->menu_item_separator());
    qirAppendMenuItem(menu, kit, lk, 494, book, &B::SaveAndClose);
    qirAppendMenuItem(menu, kit, lk, 493, book, &B::DiscardAndClose);
    title->menu(menu);
    bar->append_item(title);

    title = kit->menubar_item(qirUiText(447));
    menu = kit->pulldown();
    qirAppendMenuItem(menu, kit, lk, 454, book, &B::NewFilter);
    qirAppendMenuItem(menu, kit, lk, 455, book, &B::EditFilter);
    qirAppendMenuItem(menu, kit, lk, 456, book, &B::RemoveFilters);
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
