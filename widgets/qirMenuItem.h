// Menu entries of the windows' menu bars: a catalogue text whose label
// lines up on the left however wide the menu is, bound to an action.
#ifndef QIR_MENU_ITEM_H
#define QIR_MENU_ITEM_H

#include "qirMemberAction.h"

class Action;
class LayoutKit;
class Menu;
class WidgetKit;

// Appends an entry labelled with catalogue text `text` that runs action
// (the entry takes it over).
void qirAppendMenuItem(Menu* menu, WidgetKit* kit, LayoutKit* layout, int text, Action* action);

// The same for a member of target, called with 0.
template <class T>
void qirAppendMenuItem(Menu* menu, WidgetKit* kit, LayoutKit* layout, int text, T* target, void (T::*member)(int)) {
    qirAppendMenuItem(menu, kit, layout, text, new qirMemberAction<T>(target, member));
}

#endif
