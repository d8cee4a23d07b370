// Scrolling list of selectable rows, kept also as a qirList in row order.
#ifndef QIR_LIST_BOX_H
#define QIR_LIST_BOX_H

#include "qirList.h"

#include <InterViews/scrbox.h>

class qirListItem;

class qirListBox : public TBScrollBox {
public:
    // placeholder (may be null) is shown as the only row while the box is
    // empty; the box takes a reference to it.
    qirListBox(int multiSelect, Glyph* placeholder);
    ~qirListBox() override;

    // Puts item right before `before` (first when before is null or not
    // here).  Null items are ignored.
    virtual void InsertBefore(qirListItem* item, qirListItem* before);
    virtual void append(qirListItem* item);
    // Takes the item's row away; an item nobody else references is deleted.
    // Answers the rows left, or -1 when the item is not in the box.
    virtual int remove(qirListItem* item);

    // Bulk forms for long lists, with one change notice at the end: the
    // rows in exactly the given order (a permutation of the present items,
    // else nothing happens: answers -1; the order they already have changes
    // nothing), the given rows taken away (items not here are passed over;
    // answers the rows left, as remove does), every row taken away, and rows
    // appended in order (null items and items already here are skipped;
    // answers how many were appended).
    int SetOrder(qirListItem* const* items, int n);
    int RemoveItems(qirListItem* const* items, int n);
    void RemoveAll();
    int AppendAll(qirListItem* const* items, int n);
    // Scrolls the least needed for row n (from the top) to be shown.  A box
    // not laid out yet knows no page: it scrolls once it is.
    void ShowRow(int n);
    void UnselectAll();
    qirListItem* FirstSelected() const;

    // The items in row order; each node is an item's qirObject part.
    const qirList& Items() const { return items_; }
    // The rows, placeholder excluded: one step, not a walk.
    int Count() const { return (int)TBScrollBox::count() - (placeholderShown_ ? 1 : 0); }
    qirListItem* Item(int n) const;
    int MultiSelect() const { return multi_; }
    int PlaceholderShown() const { return placeholderShown_; }
    int Dragging() const { return drag_; }

    // Pointer input from the rows.
    void Press(qirListItem* item, int control);
    void DragOver(qirListItem* item, int leftDown);
    void EndDrag() { drag_ = 0; }

    void allocate(Canvas*, const Allocation&, Extension&) override;
    void undraw() override;

private:
    void ShowPlaceholder();
    void HidePlaceholder();
    void Ungrab(qirListItem* item);
    void UngrabAll(qirListItem* const* items, int n);
    void UndrawShown();
    void TakeRows();
    int RowOf(qirListItem* item) const;
    int Listed(const qirListItem* item) const;
    void Changed();

    qirList items_;
    int drag_ = 0;
    qirListItem* anchor_ = nullptr;  // cleared when its row goes
    int multi_;
    int placeholderShown_ = 0;
    Glyph* placeholder_;             // referenced
    Canvas* canvas_ = nullptr;
    int pendingRow_ = -1;            // ShowRow waiting for the first layout
};

#endif
