// The compose window's menu bar: the letter (send, discard), the text
// (external editor, text mode, insert and save as a file; the editor panel
// adds its own entries below) and help.
#include "MsgEdit.h"

#include "qirUiText.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>
#include <InterViews/action.h>
#include <InterViews/layout.h>
#include <InterViews/telltale.h>

namespace {

typedef void (MsgEdit::*Plain)();
typedef void (MsgEdit::*WithFlag)(int);

class ComposeAction : public Action {
public:
    ComposeAction(MsgEdit* window, Plain plain) : window_(window), plain_(plain) {}
    ComposeAction(MsgEdit* window, WithFlag member, int flag) : window_(window), flagged_(member), flag_(flag) {}
    void execute() override {
        if (plain_)
            (window_->*plain_)();
        else
            (window_->*flagged_)(flag_);
    }

private:
    MsgEdit* window_;
    Plain plain_ = nullptr;
    WithFlag flagged_ = nullptr;
    int flag_ = 0;
};

// Labels line up on the left however wide the menu is.
Glyph* ItemLabel(int text) {
    return LayoutKit::instance()->hbox(WidgetKit::instance()->fancy_label(qirUiText(text)),
                                       LayoutKit::instance()->hglue(0, 10000000, 0));
}

MenuItem* Item(Menu* menu, int text, Action* action) {
    MenuItem* item = WidgetKit::instance()->menu_item(ItemLabel(text));
    item->action(action);
    menu->append_item(item);
    return item;
}

}  // namespace

Glyph* qir_build_compose_menubar(MsgEdit* w, Menu** editorMenu, TelltaleState** enriched) {
    WidgetKit* kit = WidgetKit::instance();
    Menu* bar = kit->menubar();

    MenuItem* letter = kit->menubar_item(qirUiText(462));
    Menu* menu = kit->pulldown();
    Item(menu, 495, new ComposeAction(w, &MsgEdit::Send));
    menu->append_item(kit->menu_item_separator());
    Item(menu, 493, new ComposeAction(w, &MsgEdit::Discard));
    letter->menu(menu);
    bar->append_item(letter);

    MenuItem* text = kit->menubar_item(qirUiText(455));
    menu = kit->pulldown();
    Item(menu, 496, new ComposeAction(w, &MsgEdit::RunEditor));
    MenuItem* check = kit->check_menu_item(ItemLabel(263));
    check->action(new ComposeAction(w, &MsgEdit::ToggleEnriched));
    menu->append_item(check);
    *enriched = check->state();
    Item(menu, 509, new ComposeAction(w, &MsgEdit::InsertFile, 0));
    Item(menu, 508, new ComposeAction(w, &MsgEdit::InsertFile, 1));
    Item(menu, 506, new ComposeAction(w, &MsgEdit::SaveToFile, 0));
    Item(menu, 507, new ComposeAction(w, &MsgEdit::SaveToFile, 1));
    text->menu(menu);
    bar->append_item(text);
    *editorMenu = menu;

    MenuItem* help = kit->menubar_item(qirUiText(114));
    menu = kit->pulldown();
    Item(menu, 114, new ComposeAction(w, &MsgEdit::HelpCompose));
    Item(menu, 117, new ComposeAction(w, &MsgEdit::HelpIndex));
    help->menu(menu);
    bar->append_item(help);
    return bar;
}
