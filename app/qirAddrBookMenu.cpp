#include "qirAddrBookMenu.h"

#include "qirAddrBookWindow.h"
#include "qirMenuItem.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>

Glyph* qir_build_addrbook_menubar(qirAddrBookWindow* book, WidgetKit* kit, LayoutKit* lk) {
    typedef qirAddrBookWindow B;
    Menu* bar = kit->menubar();
    Menu* menu = qirAppendPulldown(bar, kit, 440);
    qirAppendMenuItem(menu, kit, lk, 453, book, &B::Save);
    qirAppendMenuSeparator(menu, kit);
    qirAppendMenuItem(menu, kit, lk, 446, book, &B::Close);
    menu = qirAppendPulldown(bar, kit, 447);
    qirAppendMenuItem(menu, kit, lk, 454, book, &B::Add);
    qirAppendMenuItem(menu, kit, lk, 455, book, &B::Edit);
    qirAppendMenuItem(menu, kit, lk, 456, book, &B::Delete);
    qirAppendMenuItem(menu, kit, lk, 457, book, &B::Compose);
    menu = qirAppendPulldown(bar, kit, 114);
    qirAppendMenuItem(menu, kit, lk, 114, book, &B::Help);
    qirAppendMenuItem(menu, kit, lk, 117, book, &B::HelpIndex);
    return bar;
}
