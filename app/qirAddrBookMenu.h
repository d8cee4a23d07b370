// The address book window's menu bar: the book, its entries and help.
#ifndef QIR_ADDR_BOOK_MENU_H
#define QIR_ADDR_BOOK_MENU_H

#include <InterViews/enter-scope.h>

class Glyph;
class LayoutKit;
class WidgetKit;
class qirAddrBookWindow;

Glyph* qir_build_addrbook_menubar(qirAddrBookWindow* book, WidgetKit* kit, LayoutKit* layout);

#endif
