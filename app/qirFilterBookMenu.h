// The filter book's menu bar: the book, its filters and help.
#ifndef QIR_FILTER_BOOK_MENU_H
#define QIR_FILTER_BOOK_MENU_H

#include <InterViews/enter-scope.h>

class Glyph;
class LayoutKit;
class WidgetKit;
class qirFilterBookWindow;

Glyph* qir_build_filterbook_menubar(qirFilterBookWindow* book, WidgetKit* kit, LayoutKit* layout);

#endif
