// The compose window's menu bar: the letter (send, discard), the text
// (external editor, text mode, insert and save as a file; the editor panel
// adds its own entries below) and help.
#include "MsgEdit.h"

#include "qirMenuItem.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>
#include <InterViews/action.h>
#include <InterViews/layout.h>
#include <InterViews/telltale.h>

Glyph* qir_build_compose_menubar(MsgEdit* w, Menu** editorMenu, TelltaleState** enriched) {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    Menu* bar = kit->menubar();

    Menu* menu = qirAppendPulldown(bar, kit, 462);
    qirAppendMenuItem(menu, kit, lk, 495, w, &MsgEdit::Send);
    qirAppendMenuSeparator(menu, kit);
    qirAppendMenuItem(menu, kit, lk, 493, w, &MsgEdit::Discard);

    menu = qirAppendPulldown(bar, kit, 455);
    qirAppendMenuItem(menu, kit, lk, 496, w, &MsgEdit::RunEditor);
    MenuItem* check = kit->check_menu_item(qirMenuLabel(kit, lk, 263));
    check->action(new qirMemberAction<MsgEdit>(w, &MsgEdit::ToggleEnriched));
    menu->append_item(check);
    *enriched = check->state();
    qirAppendMenuItem(menu, kit, lk, 509, new qirMemberAction<MsgEdit>(w, &MsgEdit::InsertFile, 0));
    qirAppendMenuItem(menu, kit, lk, 508, new qirMemberAction<MsgEdit>(w, &MsgEdit::InsertFile, 1));
    qirAppendMenuItem(menu, kit, lk, 506, new qirMemberAction<MsgEdit>(w, &MsgEdit::SaveToFile, 0));
    qirAppendMenuItem(menu, kit, lk, 507, new qirMemberAction<MsgEdit>(w, &MsgEdit::SaveToFile, 1));
    *editorMenu = menu;

    menu = qirAppendPulldown(bar, kit, 114);
    qirAppendMenuItem(menu, kit, lk, 114, w, &MsgEdit::HelpCompose);
    qirAppendMenuItem(menu, kit, lk, 117, w, &MsgEdit::HelpIndex);
    return bar;
}
