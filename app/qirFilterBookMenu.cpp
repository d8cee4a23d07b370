#include "qirFilterBookMenu.h"

#include "qirFilterBookWindow.h"
#include "qirMenuItem.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>

Glyph* qir_build_filterbook_menubar(qirFilterBookWindow* book, WidgetKit* kit, LayoutKit* lk) {
    typedef qirFilterBookWindow B;
    Menu* bar = kit->menubar();
    qirAppendMenu<B>(bar, kit, lk, 440, book, {{453, &B::Save}, {0, nullptr}, {494, &B::SaveAndClose}, {493, &B::DiscardAndClose}});
    qirAppendMenu<B>(bar, kit, lk, 447, book, {{454, &B::NewFilter}, {455, &B::EditFilter}, {456, &B::RemoveFilters}});
    qirAppendMenu<B>(bar, kit, lk, 114, book, {{114, &B::Help}, {117, &B::HelpIndex}});
    return bar;
}
