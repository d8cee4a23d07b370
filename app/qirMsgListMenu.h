// The menu bar of a message list window: file, message, reply, forward,
// sort, books and help.
#ifndef QIR_MSG_LIST_MENU_H
#define QIR_MSG_LIST_MENU_H

#include <InterViews/enter-scope.h>

class Glyph;
class LayoutKit;
class WidgetKit;
class qirMsgList;

// Every label is a catalogue text and every item an action of the list;
// the sort menu's radio and check items are handed to the list
// (qirMsgList::SetSortItems), which sets them from the layout store.
Glyph* qir_build_msglist_menubar(qirMsgList* list, WidgetKit* kit, LayoutKit* layout);

#endif
