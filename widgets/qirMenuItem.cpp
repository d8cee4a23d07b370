#include "qirMenuItem.h"

#include "qirUiText.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>
#include <InterViews/layout.h>

Glyph* qirMenuLabel(WidgetKit* kit, LayoutKit* lk, int text) {
    return lk->hbox(kit->fancy_label(qirUiText(text)), lk->hglue(0, 10000000, 0));
}

void qirAppendMenuItem(Menu* menu, WidgetKit* kit, LayoutKit* lk, int text, Action* action) {
    MenuItem* item = kit->menu_item(qirMenuLabel(kit, lk, text));
    item->action(action);
    menu->append_item(item);
}

void qirAppendMenuSeparator(Menu* menu, WidgetKit* kit) { menu->append_item(kit->menu_item_separator()); }

Menu* qirAppendPulldown(Menu* bar, WidgetKit* kit, int title) {
    MenuItem* item = kit->menubar_item(qirUiText(title));
    Menu* menu = kit->pulldown();
    item->menu(menu);
    bar->append_item(item);
    return menu;
}
