// Menus of the windows' menu bars: catalogue texts whose labels line up on
// the left however wide the menu is, bound to members of the window.
#ifndef QIR_MENU_ITEM_H
#define QIR_MENU_ITEM_H

#include "qirMemberAction.h"

class Action;
class Glyph;
class LayoutKit;
class Menu;
class MenuItem;
class WidgetKit;

// An entry's label: catalogue text `text`, lined up on the left (also for
// radio and check entries).
Glyph* qirMenuLabel(WidgetKit* kit, LayoutKit* layout, int text);
// Appends an entry labelled with catalogue text `text` that runs action
// (the entry takes it over).
void qirAppendMenuItem(Menu* menu, WidgetKit* kit, LayoutKit* layout, int text, Action* action);
void qirAppendMenuSeparator(Menu* menu, WidgetKit* kit);
// Appends to the bar a pulldown titled with catalogue text `title`; the
// pulldown is returned for the caller's entries.
Menu* qirAppendPulldown(Menu* bar, WidgetKit* kit, int title);
// Gives the item its menu (a pulldown below a bar's item, or with
// pullright a submenu beside an entry) in a window that opens wholly on
// the screen: a pulldown that would run past the screen's bottom opens
// above its item instead, or is moved in when neither fits.
void qirSetSubmenu(MenuItem* item, Menu* menu, int pullright = 0);

// An entry calling target's member with 0 (one call per entry, with its
// catalogue number written out, so that a scan of the sources finds it).
template <class T>
void qirAppendMenuItem(Menu* menu, WidgetKit* kit, LayoutKit* layout, int text, T* target, void (T::*member)(int)) {
    qirAppendMenuItem(menu, kit, layout, text, new qirMemberAction<T>(target, member));
}
// The same for a member without an argument.
template <class T>
void qirAppendMenuItem(Menu* menu, WidgetKit* kit, LayoutKit* layout, int text, T* target, void (T::*member)()) {
    qirAppendMenuItem(menu, kit, layout, text, new qirMemberAction<T>(target, member));
}

#endif
