// A list row with a text label and a red tick shown while selected.
#ifndef QIR_MARKED_ITEM_H
#define QIR_MARKED_ITEM_H

#include "qirListItem.h"
#include "qirString.h"

#include <InterViews/geometry.h>
#include <InterViews/resource.h>

class Deck;
class LayoutKit;
class Patch;
class PolyGlyph;
class Stencil;
class WidgetKit;

// The one size that all rows of a long list have, shared by the rows that
// are built only while they are shown: measured on the first row built.
class qirRowShape : public Resource {
public:
    int Known() const { return known_; }
    const Requisition& Size() const { return requisition_; }
    void Measured(const Requisition& r)
    {
        requisition_ = r;
        known_ = 1;
    }
    void Forget() { known_ = 0; }

private:
    Requisition requisition_;
    int known_ = 0;
};

class qirMarkedItem : public qirListItem {
public:
    // A null label glyph means a WidgetKit label of the text.
    qirMarkedItem(qirString label, qirListBox* owner, Style* style, WidgetKit* kit,
                  LayoutKit* layout, Glyph* labelGlyph = nullptr);
    ~qirMarkedItem() override;

    // Flips the selection and shows or hides the tick.
    void toggle() override;
    // A deferred row is built when it is measured first or allocated, and
    // lets its glyphs go when it is undrawn.
    void request(Requisition& r) const override;
    void allocate(Canvas* c, const Allocation& a, Extension& ext) override;
    void undraw() override;
    virtual void set_label(qirString text) { SetLabel(text); }

    void ToggleMark();
    // Replaces the label with a WidgetKit label of text.
    void SetLabel(qirString text);
    // Puts lead in place of the 5 points of space that start the row (a
    // message row's status button goes there).
    void SetLead(Glyph* lead);
    const qirString& Label() const;
    int TickShown() const;
    // Whether the row's glyphs exist (always, but for a deferred row
    // while it is not shown).
    int Built() const { return row_ != nullptr; }

    // Number of live marked items, and whether the shared tick exists.
    static int LiveCount() { return live_; }
    static const Stencil* SharedTick() { return tick_; }

protected:
    // A row of a long list whose glyphs exist only while it is shown: it
    // answers the shape's size until then, is built when it is first
    // allocated (its label from DeferredLabel unless SetLabel gave one, its
    // lead from DeferredLead unless SetLead gave one) and lets its glyphs go
    // when it is undrawn.  Selection, label and lead may change at any
    // time; a row shows them when it is built.
    struct Deferred {};
    qirMarkedItem(qirListBox* owner, Style* style, WidgetKit* kit, LayoutKit* layout, qirRowShape* shape,
                  Deferred);
    virtual qirString DeferredLabel() const { return qirString(""); }
    // A new glyph, or null for the 5 points of space.
    virtual Glyph* DeferredLead() { return nullptr; }
    // After the glyphs were let go (pointers into them are stale).
    virtual void RowReleased() {}

private:
    void Build();
    void Release();
    Glyph* BuildBody(Glyph* lead);

    Patch* patch_ = nullptr;
    Deck* deck_ = nullptr;
    PolyGlyph* row_ = nullptr;
    mutable qirString label_;
    Glyph* labelGlyph_ = nullptr;
    WidgetKit* kit_;
    LayoutKit* layout_;
    // Deferred rows only.
    qirRowShape* shape_ = nullptr; // referenced
    Glyph* lead_ = nullptr;     // referenced; given by SetLead
    int deferred_ = 0;
    int labelGiven_ = 0;        // SetLabel was called
    int allocated_ = 0;         // allocated since it was last undrawn

    static int live_;
    static Stencil* tick_;
};

#endif
