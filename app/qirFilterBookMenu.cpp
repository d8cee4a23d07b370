#include "qirFilterBookMenu.h"

#include "qirFilterBookWindow.h"
#include "qirMenuItem.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>

Glyph* qir_build_filterbook_menubar(qirFilterBookWindow* book, WidgetKit* kit, LayoutKit* lk) {
    typedef qirFilterBookWindow B;
    Menu* bar = kit->menubar();
    Menu* menu = qirAppendPulldown(bar, kit, 440);
    qirAppendMenuItem(menu, kit, lk, 453, book, &B::Save);
    qirAppendMenuSeparator(menu, kit);
    qirAppendMenuItem(menu, kit, lk, 494, book, &B::SaveAndClose);
    qirAppendMenuItem(menu, kit, lk, 493, book, &B::DiscardAndClose);
    menu = qirAppendPulldown(bar, kit, 447);
    qirAppendMenuItem(menu, kit, lk, 454, book, &B::NewFilter);
    qirAppendMenuItem(menu, kit, lk, 455, book, &B::EditFilter);
    qirAppendMenuItem(menu, kit, lk, 456, book, &B::RemoveFilters);
    menu = qirAppendPulldown(bar, kit, 114);
    qirAppendMenuItem(menu, kit, lk, 114, book, &B::Help);
    qirAppendMenuItem(menu, kit, lk, 117, book, &B::HelpIndex);
    return bar;
}
