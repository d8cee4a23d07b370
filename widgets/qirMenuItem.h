// Menus of the windows' menu bars: catalogue texts whose labels line up on
// the left however wide the menu is, bound to members of the window.
#ifndef QIR_MENU_ITEM_H
#define QIR_MENU_ITEM_H

#include "qirMemberAction.h"

#include <initializer_list>

class Action;
class LayoutKit;
class Menu;
class WidgetKit;

// Appends an entry labelled with catalogue text `text` that runs action
// (the entry takes it over).
void qirAppendMenuItem(Menu* menu, WidgetKit* kit, LayoutKit* layout, int text, Action* action);
void qirAppendMenuSeparator(Menu* menu, WidgetKit* kit);
// Appends to the bar a pulldown titled with catalogue text `title`; the
// pulldown is returned for the caller's entries.
Menu* qirAppendPulldown(Menu* bar, WidgetKit* kit, int title);

// One entry of a pulldown: a catalogue text and the member of the window
// it calls with 0; text 0 stands for a separator.
template <class T>
struct qirMenuEntry {
    int text;
    void (T::*member)(int);
};

// A pulldown titled `title` of the entries, in order, appended to the bar.
template <class T>
void qirAppendMenu(Menu* bar, WidgetKit* kit, LayoutKit* layout, int title, T* target,
                   std::initializer_list<qirMenuEntry<T>> entries) {
    Menu* menu = qirAppendPulldown(bar, kit, title);
    for (const qirMenuEntry<T>& e : entries) {
        if (e.text)
            qirAppendMenuItem(menu, kit, layout, e.text, new qirMemberAction<T>(target, e.member));
        else
            qirAppendMenuSeparator(menu, kit);
    }
}

#endif
