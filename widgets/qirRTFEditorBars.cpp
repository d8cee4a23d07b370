// The editor's entries in its host's menu and its tool bar, and keeping
// their check marks and number displays in step with the insertion style.
#include "qirEditorTags.h"
#include "qirImagePath.h"
#include "qirRTFEditor.h"
#include "qirMenuItem.h"
#include "qirRTFPanel.h"
#include "qirTiffImage.h"
#include "qirUiText.h"

#include <IV-look/button.h>
#include <IV-look/kit.h>
#include <IV-look/menu.h>
#include <InterViews/deck.h>
#include <InterViews/image.h>
#include <InterViews/label.h>
#include <InterViews/layout.h>
#include <InterViews/patch.h>
#include <InterViews/raster.h>
#include <InterViews/style.h>
#include <InterViews/telltale.h>
#include <InterViews/tformsetter.h>
#include <InterViews/transformer.h>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

#undef Text
#undef Font

namespace {

MenuItem* Entry(WidgetKit* kit, qirRTFEditor* ed, int label, int code, bool check = false) {
    Glyph* g = kit->fancy_label(qirUiText(label));
    MenuItem* item = check ? kit->check_menu_item(g) : kit->menu_item(g);
    if (code >= 0)
        item->action(new qirRTFToolAction(ed, code));
    return item;
}

void Choose(TelltaleState* s, bool on) {
    if (s && s->test(TelltaleState::is_chosen) != on)
        s->set(TelltaleState::is_chosen, on);
}

void Choose(MenuItem* item, bool on) {
    if (item)
        Choose(item->state(), on);
}

void Choose(Button* b, bool on) {
    if (b)
        Choose(b->state(), on);
}

// The alignment code of the mark that governs the cursor.
char CursorAlignment(const qirRTFDocument& doc) {
    const auto& marks = doc.Marks();
    return marks.empty() ? static_cast<char>(qirAlignLeft) : marks[doc.MarkOf(doc.cursor)].code;
}

// A 16 x 16 point image of a shipped TIFF file, or null (labels then).
Glyph* ButtonImage(const char* file, bool labelsOnly) {
    if (labelsOnly)
        return nullptr;
    Raster* raster = qirTiffImage::Load(qirImagePath(file).Data());
    if (!raster)
        return nullptr;
    Transformer t;
    if (raster->width() > 0 && raster->height() > 0)
        t.scale(16 / raster->width(), 16 / raster->height());
    return new TransformSetter(new Image(raster), t);
}

// A number display: one card per value from lo to hi.
Patch* NumberDisplay(WidgetKit* kit, LayoutKit* lk, int lo, int hi) {
    Deck* deck = lk->deck(hi - lo + 1);
    char buf[16];
    for (int v = lo; v <= hi; ++v) {
        snprintf(buf, sizeof buf, "%d", v);
        deck->append(lk->hcenter(kit->label(buf)));
    }
    deck->flip_to(lo < 0 ? -lo : 0);
    return new Patch(deck);
}

void Show(Patch* patch, int card) {
    if (!patch)
        return;
    Deck* deck = static_cast<Deck*>(patch->body());
    if (deck->card() != card) {
        deck->flip_to(card);
        patch->redraw();
    }
}

}  // namespace

void qirRTFEditor::BuildMenus(Menu* menu) {
    boldItem = italicItem = underlineItem = fixedItem = nullptr;
    flushLeftItem = centerItem = flushRightItem = nullptr;
    keyboardMenu = nullptr;
    if (!menu)
        return;
    WidgetKit* kit = WidgetKit::instance();
    if (mode_ == qirRTFEditMode) {
        menu->append_item(kit->menu_item_separator());

        MenuItem* size = Entry(kit, this, 900, -1);
        Menu* sub = kit->pullright();
        sub->append_item(Entry(kit, this, 901, qirTagBigger));
        sub->append_item(Entry(kit, this, 902, qirTagBigger + qirTagClose));
        sub->append_item(kit->menu_item_separator());
        sub->append_item(boldItem = Entry(kit, this, 903, qirTagBold, true));
        sub->append_item(italicItem = Entry(kit, this, 904, qirTagItalic, true));
        sub->append_item(underlineItem = Entry(kit, this, 905, qirTagUnderline, true));
        sub->append_item(fixedItem = Entry(kit, this, 906, qirTagFixed, true));
        qirSetSubmenu(size, sub, 1);
        menu->append_item(size);

        MenuItem* indent = Entry(kit, this, 907, -1);
        sub = kit->pullright();
        sub->append_item(Entry(kit, this, 908, qirTagIndent));
        sub->append_item(Entry(kit, this, 909, qirTagIndent + qirTagClose));
        sub->append_item(Entry(kit, this, 910, qirTagIndentRight));
        sub->append_item(Entry(kit, this, 911, qirTagIndentRight + qirTagClose));
        qirSetSubmenu(indent, sub, 1);
        menu->append_item(indent);

        MenuItem* align = Entry(kit, this, 912, -1);
        sub = kit->pullright();
        sub->append_item(flushLeftItem = Entry(kit, this, 913, qirTagFlushLeft, true));
        sub->append_item(centerItem = Entry(kit, this, 914, qirTagCenter, true));
        sub->append_item(flushRightItem = Entry(kit, this, 915, qirTagFlushRight, true));
        qirSetSubmenu(align, sub, 1);
        menu->append_item(align);

        menu->append_item(kit->menu_item_separator());
        menu->append_item(Entry(kit, this, 916, qirTagColor));

        if (keyboards_.size() > 1) {
            MenuItem* kb = Entry(kit, this, 921, -1);
            keyboardMenu = kit->pullright();
            for (size_t i = 0; i < keyboards_.size(); ++i) {
                MenuItem* item =
                    kit->check_menu_item(kit->fancy_label(keyboards_[i].Name().c_str()));
                item->action(new qirRTFToolAction(this, qirCmdKeyboard, static_cast<int>(i)));
                keyboardMenu->append_item(item);
            }
            qirSetSubmenu(kb, keyboardMenu, 1);
            menu->append_item(kb);
        }
        menu->append_item(kit->menu_item_separator());
    }
    menu->append_item(Entry(kit, this, 917, qirCmdSearch));
}

void qirRTFEditor::SyncMenus() {
    const qirRTFStyle& s = doc_.insertStyle;
    Choose(boldItem, (s.bits & qirRTFBold) != 0);
    Choose(italicItem, (s.bits & qirRTFItalic) != 0);
    Choose(underlineItem, (s.bits & qirRTFUnderline) != 0);
    Choose(fixedItem, (s.bits & qirRTFFixed) != 0);
    char a = CursorAlignment(doc_);
    Choose(flushLeftItem, a != qirAlignCenter && a != qirAlignRight);
    Choose(centerItem, a == qirAlignCenter);
    Choose(flushRightItem, a == qirAlignRight);
    if (keyboardMenu) {
        int n = std::min(static_cast<int>(keyboardMenu->item_count()),
                         static_cast<int>(keyboards_.size()));
        for (int i = 0; i < n; ++i)
            Choose(keyboardMenu->item(i), i == keyboard_);
    }
}

void qirRTFEditor::BuildToolbar(Glyph* box) {
    boldButton = italicButton = underlineButton = fixedButton = nullptr;
    flushLeftButton = centerButton = flushRightButton = nullptr;
    sizePatch = leftIndentPatch = rightIndentPatch = nullptr;
    toolbarPictures = 0;
    if (!box || mode_ != qirRTFEditMode)
        return;
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    const bool labelsOnly = access(qirImagePath("no_read.tif").Data(), F_OK) == 0;

    struct Item {
        const char* file;
        const char* label;
        int code;
        bool toggle;
        Button** field;
        Glyph* face;
    };
    Item items[] = {
        {"font_m.tif", "<<", qirTagBigger + qirTagClose, false, nullptr, nullptr},
        {"font_b.tif", ">>", qirTagBigger, false, nullptr, nullptr},
        {"bold.tif", "B", qirTagBold, true, &boldButton, nullptr},
        {"ital.tif", "I", qirTagItalic, true, &italicButton, nullptr},
        {"under.tif", "U", qirTagUnderline, true, &underlineButton, nullptr},
        {"fixed.tif", "F", qirTagFixed, true, &fixedButton, nullptr},
        {"ot_lef_b.tif", "Ind", qirTagIndent, false, nullptr, nullptr},
        {"ot_lef_m.tif", "IndOff", qirTagIndent + qirTagClose, false, nullptr, nullptr},
        {"ot_ri_b.tif", "IR", qirTagIndentRight, false, nullptr, nullptr},
        {"ot_ri_m.tif", "IL", qirTagIndentRight + qirTagClose, false, nullptr, nullptr},
        {"left.tif", "L", qirTagFlushLeft, true, &flushLeftButton, nullptr},
        {"center.tif", "C", qirTagCenter, true, &centerButton, nullptr},
        {"right.tif", "R", qirTagFlushRight, true, &flushRightButton, nullptr},
        {"color.tif", "Color", qirTagColor, false, nullptr, nullptr},
        {"find.tif", "Search", qirCmdSearch, false, nullptr, nullptr},
    };
    for (Item& it : items) {
        it.face = ButtonImage(it.file, labelsOnly);
        if (it.face)
            ++toolbarPictures;
        else
            it.face = new Label(it.label, kit->font(), kit->foreground());
    }
    sizePatch = NumberDisplay(kit, lk, -10, 10);
    leftIndentPatch = NumberDisplay(kit, lk, 0, 10);
    rightIndentPatch = NumberDisplay(kit, lk, 0, 10);

    kit->begin_style("QIRSmallButtonStyle");
    Style* style = kit->style();
    for (const char* name : {"*Label*minimumWidth", "*Label*minimumHeight",
                             "*PushButton*minimumWidth", "*PaletteButton*minimumWidth",
                             "*PushButton*minimumHeight", "*PaletteButton*minimumHeight"})
        style->attribute(name, "5.0", 0);
    std::vector<Button*> buttons;
    for (Item& it : items) {
        Action* a = new qirRTFToolAction(this, it.code);
        Button* b = it.toggle ? kit->palette_button(it.face, a) : kit->push_button(it.face, a);
        if (it.field)
            *it.field = b;
        buttons.push_back(b);
    }
    kit->end_style();

    PolyGlyph* bar = static_cast<PolyGlyph*>(box);
    auto display = [&](Patch* p) {
        bar->append(lk->hspace(0));
        bar->append(lk->vcenter(kit->inset_frame(lk->hmargin(p, 3))));
        bar->append(lk->hspace(0));
    };
    auto button = [&](int i) { bar->append(lk->vcenter(buttons[i])); };
    bar->append(lk->hspace(10));
    button(0);
    display(sizePatch);
    button(1);
    bar->append(lk->hspace(10));
    for (int i = 2; i <= 5; ++i) {
        if (i > 2)
            bar->append(lk->hspace(0));
        button(i);
    }
    bar->append(lk->hspace(10));
    button(6);
    display(leftIndentPatch);
    button(7);
    bar->append(lk->hspace(10));
    button(8);
    display(rightIndentPatch);
    button(9);
    bar->append(lk->hspace(10));
    for (int i = 10; i <= 12; ++i) {
        if (i > 10)
            bar->append(lk->hspace(0));
        button(i);
    }
    bar->append(lk->hspace(0));
    bar->append(lk->hspace(10));
    button(13);
    bar->append(lk->hspace(0));
    button(14);
    bar->append(lk->hspace(10));
    bar->append(lk->hglue());
}

void qirRTFEditor::SyncToolbar() {
    const qirRTFStyle& s = doc_.insertStyle;
    Show(sizePatch, std::max(-10, std::min(s.size, 10)) + 10);
    Show(leftIndentPatch, std::max(0, std::min(s.left, 10)));
    Show(rightIndentPatch, std::max(0, std::min(s.right, 10)));
    Choose(boldButton, (s.bits & qirRTFBold) != 0);
    Choose(italicButton, (s.bits & qirRTFItalic) != 0);
    Choose(underlineButton, (s.bits & qirRTFUnderline) != 0);
    Choose(fixedButton, (s.bits & qirRTFFixed) != 0);
    char a = CursorAlignment(doc_);
    Choose(flushLeftButton, a != qirAlignCenter && a != qirAlignRight);
    Choose(centerButton, a == qirAlignCenter);
    Choose(flushRightButton, a == qirAlignRight);
}

void qirRTFEditor::Refresh() {
    SyncMenus();
    SyncToolbar();
}
