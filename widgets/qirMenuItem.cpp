#include "qirMenuItem.h"

#include "qirTopWindow.h"
#include "qirUiText.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>
#include <InterViews/canvas.h>
#include <InterViews/display.h>
#include <InterViews/layout.h>
#include <InterViews/patch.h>
#include <InterViews/session.h>
#include <InterViews/window.h>

namespace {

// The window of a submenu.  The menu places it at its item each time it
// opens, below the item (pulldown) or beside it (pullright), and maps it:
// the window moves the place where the menu would leave the screen.
class qirMenuWindow : public PopupWindow {
public:
    qirMenuWindow(Menu* menu, MenuItem* item, int pullright)
        : PopupWindow(menu), item_(item), pullright_(pullright) {}
    void map() override;

private:
    MenuItem* item_;  // owns this window
    int pullright_;
};

void qirMenuWindow::map() {
    Patch* patch = dynamic_cast<Patch*>(item_->body());
    Canvas* canvas = patch ? patch->canvas() : nullptr;
    Window* at = canvas ? canvas->window() : nullptr;
    Display* d = at ? at->display() : nullptr;
    if (!d && Session::instance())
        d = Session::instance()->default_display();
    if (at && d) {
        Requisition r;
        glyph()->request(r);
        Coord w = r.x_requirement().natural(), h = r.y_requirement().natural();
        const Allocation& a = patch->allocation();
        Coord itemLeft = at->left() + a.left(), itemRight = at->left() + a.right();
        Coord itemBottom = at->bottom() + a.bottom(), itemTop = at->bottom() + a.top();
        Coord left = pullright_ ? itemRight : itemLeft;
        // The menu's top at the item's bottom (pulldown) or top (pullright).
        Coord bottom = (pullright_ ? itemTop : itemBottom) - h;
        if (bottom < 0) {
            // Upwards from the item when there is room above it.
            Coord above = pullright_ ? itemBottom : itemTop;
            bottom = above + h <= d->height() ? above : 0;
        }
        if (pullright_ && left + w > d->width())
            left = itemLeft - w;
        qir_fit_on_screen(d, w, h, &left, &bottom);
        place(left, bottom);
        align(0, 0);
    }
    PopupWindow::map();
}

}  // namespace

void qirSetSubmenu(MenuItem* item, Menu* menu, int pullright) {
    item->menu(menu, new qirMenuWindow(menu, item, pullright));
}

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
    qirSetSubmenu(item, menu);
    bar->append_item(item);
    return menu;
}
