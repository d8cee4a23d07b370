#include "qirAddrBookMenu.h"

#include "qirAddrBookWindow.h"
#include "qirMenuItem.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>

Glyph* qir_build_addrbook_menubar(qirAddrBookWindow* book, WidgetKit* kit, LayoutKit* lk) {
    typedef qirAddrBookWindow B;
    Menu* bar = kit->menubar();
    // Close takes the close button's text: the main menu's Quit would
    // promise more.
    qirAppendMenu<B>(bar, kit, lk, 440, book, {{453, &B::Save}, {0, nullptr}, {303, &B::Close}});
    qirAppendMenu<B>(bar, kit, lk, 447, book, {{454, &B::Add}, {455, &B::Edit}, {456, &B::Delete}, {457, &B::Compose}});
    qirAppendMenu<B>(bar, kit, lk, 114, book, {{114, &B::Help}, {117, &B::HelpIndex}});
    return bar;
}
