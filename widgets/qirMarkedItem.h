// A list row with a text label and a red tick shown while selected.
#ifndef QIR_MARKED_ITEM_H
#define QIR_MARKED_ITEM_H

#include "qirListItem.h"
#include "qirString.h"

class Deck;
class LayoutKit;
class Patch;
class PolyGlyph;
class Stencil;
class WidgetKit;

class qirMarkedItem : public qirListItem {
public:
    // A null label glyph means a WidgetKit label of the text.
    qirMarkedItem(qirString label, qirListBox* owner, Style* style, WidgetKit* kit,
                  LayoutKit* layout, Glyph* labelGlyph = nullptr);
    ~qirMarkedItem() override;

    // Flips the selection and shows or hides the tick.
    void toggle() override;
    virtual void set_label(qirString text) { SetLabel(text); }

    void ToggleMark();
    // Replaces the label with a WidgetKit label of text.
    void SetLabel(qirString text);
    // Puts lead in place of the 5 points of space that start the row (a
    // message row's status button goes there).
    void SetLead(Glyph* lead);
    const qirString& Label() const { return label_; }
    int TickShown() const;

    // Number of live marked items, and whether the shared tick exists.
    static int LiveCount() { return live_; }
    static const Stencil* SharedTick() { return tick_; }

private:
    Patch* patch_;
    Deck* deck_;
    PolyGlyph* row_;
    qirString label_;
    Glyph* labelGlyph_;
    WidgetKit* kit_;
    LayoutKit* layout_;

    static int live_;
    static Stencil* tick_;
};

#endif
