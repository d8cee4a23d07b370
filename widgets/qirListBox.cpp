#include "qirListBox.h"

#include "qirListItem.h"

#include <InterViews/canvas.h>
#include <InterViews/event.h>
#include <InterViews/session.h>
#include <InterViews/geometry.h>

#include <algorithm>
#include <unordered_set>
#include <vector>

qirListBox::qirListBox(int multiSelect, Glyph* placeholder)
    : TBScrollBox(10), multi_(multiSelect), placeholder_(placeholder) {
    Resource::ref(placeholder_);
    ShowPlaceholder();
}

qirListBox::~qirListBox() {
    HidePlaceholder();
    Resource::unref(placeholder_);
    placeholder_ = nullptr;
    anchor_ = nullptr;
    // Unlink every node while the items still live: dropping the rows may
    // delete them.
    while (qirObject* node = items_.First())
        items_.Unlink(node);
    while (GlyphIndex n = TBScrollBox::count())
        TBScrollBox::remove(n - 1);
}

void qirListBox::ShowPlaceholder() {
    if (placeholder_ && !placeholderShown_ && items_.IsEmpty()) {
        TBScrollBox::append(placeholder_);
        placeholderShown_ = 1;
    }
}

void qirListBox::HidePlaceholder() {
    if (!placeholderShown_)
        return;
    placeholderShown_ = 0;
    for (GlyphIndex i = 0; i < TBScrollBox::count(); i++) {
        if (TBScrollBox::component(i) == placeholder_) {
            TBScrollBox::remove(i);
            break;
        }
    }
}

int qirListBox::RowOf(qirListItem* item) const {
    for (GlyphIndex i = 0; i < TBScrollBox::count(); i++)
        if (TBScrollBox::component(i) == item)
            return (int)i;
    return -1;
}

qirListItem* qirListBox::Item(int n) const {
    qirObject* node = items_.Nth(n);
    return node ? qirListItem::FromNode(node) : nullptr;
}

// An item's node is only ever in its owner's list, so it is in this one
// when it has a predecessor or is the first: one step, not a walk.
int qirListBox::Listed(const qirListItem* item) const {
    return item && item->Owner() == this && (item->qirObject::Prev() || items_.First() == item);
}

void qirListBox::append(qirListItem* item) {
    if (!item || Listed(item))
        return;
    HidePlaceholder();
    items_.Append(item);
    TBScrollBox::append(item);
    Changed();
}

void qirListBox::InsertBefore(qirListItem* item, qirListItem* before) {
    if (!item || Listed(item))
        return;
    HidePlaceholder();
    int row = (before && before != item) ? RowOf(before) : -1;
    if (row < 0 || !items_.Contains(before)) {
        items_.InsertBefore(item, items_.First());
        TBScrollBox::insert(0, item);
    } else {
        items_.InsertBefore(item, before);
        TBScrollBox::insert(row, item);
    }
    Changed();
}

int qirListBox::remove(qirListItem* item) {
    if (!Listed(item))
        return -1;
    int row = RowOf(item);
    // Forget every pointer to the item before its row goes: dropping the
    // row's reference may delete it.
    items_.Unlink(item);
    if (anchor_ == item) {
        anchor_ = nullptr;
        drag_ = 0;
    }
    Ungrab(item);
    if (row >= 0)
        TBScrollBox::remove(row);
    item = nullptr;
    if (items_.IsEmpty() && placeholder_) {
        ShowPlaceholder();
        Changed();
        return 0;
    }
    Changed();
    return (int)TBScrollBox::count() - (placeholderShown_ ? 1 : 0);
}

// A row pressed and not yet released holds the pointer grab: InterViews
// would go on sending it motion after its deletion.
void qirListBox::Ungrab(qirListItem* item) {
    Session* session = Session::instance();
    if (!session)
        return;
    Event e;
    e.display(session->default_display());
    if (e.is_grabbing(item->handler()))
        e.ungrab(item->handler());
}

// The same for many rows; nothing to look at while no grab is held (the
// usual case), so a long list is not walked for it.
void qirListBox::UngrabAll(qirListItem* const* items, int n) {
    Session* session = Session::instance();
    if (!session)
        return;
    Event e;
    e.display(session->default_display());
    if (!e.grabber())
        return;
    for (int i = 0; i < n; i++)
        if (items[i] && e.is_grabbing(items[i]->handler()))
            e.ungrab(items[i]->handler());
}

// The rows on screen are undrawn when their places go to other rows.
void qirListBox::UndrawShown() {
    if (!canvas_ || TBScrollBox::count() == 0)
        return;
    GlyphIndex last = TBScrollBox::last_shown();
    for (GlyphIndex i = TBScrollBox::first_shown(); i >= 0 && i <= last && i < TBScrollBox::count(); i++)
        if (Glyph* g = TBScrollBox::component(i))
            g->undraw();
}

// Every row and node out (rows the box alone held are deleted), from the
// end, where each removal is one step and touches its row once.
void qirListBox::TakeRows() {
    UndrawShown();
    while (GlyphIndex c = TBScrollBox::count()) {
        Glyph* row = TBScrollBox::component(c - 1);
        if (row && row != placeholder_)
            items_.Unlink(items_.Last()); // the same row: both lists keep one order
        TBScrollBox::remove(c - 1);
    }
    placeholderShown_ = 0;
}

int qirListBox::SetOrder(qirListItem* const* items, int n) {
    const GlyphIndex count = TBScrollBox::count();
    if (placeholderShown_ || n != (int)count)
        return -1;
    // A long list is far bigger than the caches: every step below reads the
    // box's own array of rows where it can and touches each row as few
    // times as it can.  The order the rows have already changes nothing.
    int i = 0;
    while (i < n && TBScrollBox::component(i) == items[i])
        i++;
    if (i == n)
        return 0;
    // Exactly the present rows, each once.
    std::vector<const Glyph*> present(n), wanted(n);
    for (i = 0; i < n; i++) {
        present[i] = TBScrollBox::component(i);
        wanted[i] = items[i];
    }
    std::sort(present.begin(), present.end());
    std::sort(wanted.begin(), wanted.end());
    if (present != wanted || !wanted[0])
        return -1;
    UndrawShown();
    // The new rows go in after the old ones before these are taken out, so
    // that no row is ever without the box's reference; the item list lets
    // go of its old chain at once, since every node is linked anew.
    {
        qirList old;
        old.AppendAll(&items_);
    }
    for (i = 0; i < n; i++) {
        items_.Append(items[i]);
        TBScrollBox::append(items[i]);
    }
    for (GlyphIndex c = count - 1; c >= 0; c--)
        TBScrollBox::remove(c);
    Changed();
    return 0;
}

int qirListBox::RemoveItems(qirListItem* const* items, int n) {
    std::unordered_set<const qirObject*> gone;
    for (int i = 0; i < n; i++)
        if (items[i] && Listed(items[i]))
            gone.insert(items[i]);
    if (gone.empty())
        return (int)TBScrollBox::count() - (placeholderShown_ ? 1 : 0);
    // The rows that stay are put back in their order; the others lose the
    // box's reference last, when no pointer to them is left here.
    std::vector<qirListItem*> kept;
    for (qirObject* node = items_.First(); node; node = qirList::Next(node))
        if (!gone.count(node))
            kept.push_back(qirListItem::FromNode(node));
    for (qirListItem* item : kept)
        Resource::ref(item);
    std::vector<qirListItem*> leaving;
    for (const qirObject* node : gone) {
        qirListItem* item = qirListItem::FromNode(const_cast<qirObject*>(node));
        if (anchor_ == item) {
            anchor_ = nullptr;
            drag_ = 0;
        }
        leaving.push_back(item);
    }
    UngrabAll(leaving.data(), (int)leaving.size());
    TakeRows();
    for (qirListItem* item : kept) {
        items_.Append(item);
        TBScrollBox::append(item);
        Resource::unref(item);
    }
    ShowPlaceholder();
    Changed();
    return (int)kept.size();
}

void qirListBox::RemoveAll() {
    if (items_.IsEmpty())
        return;
    anchor_ = nullptr;
    drag_ = 0;
    std::vector<qirListItem*> rows;
    rows.reserve(TBScrollBox::count());
    for (GlyphIndex i = 0; i < TBScrollBox::count(); i++)
        if (TBScrollBox::component(i) != placeholder_)
            rows.push_back(static_cast<qirListItem*>(TBScrollBox::component(i)));
    UngrabAll(rows.data(), (int)rows.size());
    TakeRows();
    ShowPlaceholder();
    Changed();
}

int qirListBox::AppendAll(qirListItem* const* items, int n) {
    int added = 0;
    for (int i = 0; i < n; i++) {
        qirListItem* item = items[i];
        if (!item || Listed(item))
            continue;
        if (!added++)
            HidePlaceholder();
        items_.Append(item);
        TBScrollBox::append(item);
    }
    if (added)
        Changed();
    return added;
}

void qirListBox::ShowRow(int n) {
    int count = Count();
    if (n < 0 || n >= count)
        return;
    // Rows count from the bottom in the box's coordinates.
    Coord shown = cur_length(Dimension_Y);
    if (shown <= 0) {
        pendingRow_ = n;
        return;
    }
    pendingRow_ = -1;
    Coord y = count - 1 - n;
    if (y < cur_lower(Dimension_Y))
        scroll_to(Dimension_Y, y);
    else if (y > cur_upper(Dimension_Y))
        scroll_to(Dimension_Y, y - shown + 1);
}

void qirListBox::UnselectAll() {
    for (qirObject* n = items_.First(); n; n = qirList::Next(n)) {
        qirListItem* item = qirListItem::FromNode(n);
        if (item->Selected())
            item->toggle();
    }
}

qirListItem* qirListBox::FirstSelected() const {
    for (qirObject* n = items_.First(); n; n = qirList::Next(n))
        if (qirListItem::FromNode(n)->Selected())
            return qirListItem::FromNode(n);
    return nullptr;
}

void qirListBox::Press(qirListItem* item, int control) {
    if (multi_) {
        anchor_ = item;
        if (!control)
            UnselectAll();
        drag_ = 1;
        item->toggle();
    } else {
        UnselectAll();
        item->toggle();
    }
}

void qirListBox::DragOver(qirListItem* item, int leftDown) {
    if (!multi_ || !drag_)
        return;
    // A drag whose release happened outside the box ends here, with no
    // range: the button is up, so this motion is no drag.
    if (!leftDown || !anchor_) {
        drag_ = 0;
        return;
    }
    int inRange = 0;
    for (qirObject* n = items_.First(); n; n = qirList::Next(n)) {
        qirListItem* it = qirListItem::FromNode(n);
        int end = 0;
        if (it == anchor_ || it == item) {
            if (!inRange) {
                inRange = 1;
                end = (anchor_ == item);
            } else {
                end = 1;
            }
        }
        if (inRange && !it->Selected())
            it->toggle();
        if (end)
            break;
    }
}

void qirListBox::allocate(Canvas* c, const Allocation& a, Extension& ext) {
    canvas_ = c;
    TBScrollBox::allocate(c, a, ext);
    if (pendingRow_ >= 0 && cur_length(Dimension_Y) > 0)
        ShowRow(pendingRow_);
}

void qirListBox::undraw() {
    canvas_ = nullptr;
    TBScrollBox::undraw();
}

void qirListBox::Changed() {
    notify_all();
    // The rows shown change with the components; let the box lay them out
    // again and repaint on the next update.
    if (canvas_) {
        modified(0);
        canvas_->damage_all();
    }
}
