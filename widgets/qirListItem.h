// A selectable row of a qirListBox.
#ifndef QIR_LIST_ITEM_H
#define QIR_LIST_ITEM_H

#include "qirObject.h"

#include <InterViews/input.h>

class qirListBox;

// The row glyph and the node of the owner's item list at once.  The owner's
// row holds the one reference that keeps an item alive.
class qirListItem : public ActiveHandler, public qirObject {
public:
    qirListItem(Glyph* body, qirListBox* owner, Style* style);
    ~qirListItem() override;

    void move(const Event&) override;
    void press(const Event&) override;
    void drag(const Event&) override;
    void release(const Event&) override;
    void double_click(const Event&) override;

    // Flips the selected flag (marked items also show or hide the tick).
    virtual void toggle();
    // Right-button press; the selection does not change.  Nothing here.
    virtual void right_press();
    // Double click.  Nothing here.
    virtual void activate();
    // First thing on every pointer motion over the row.  Nothing here.
    virtual void hook();

    int Selected() const { return selected_; }
    qirListBox* Owner() const { return owner_; }

    // The item whose node this is: every node of a list box's item list.
    static qirListItem* FromNode(qirObject* node) { return static_cast<qirListItem*>(node); }

protected:
    int selected_ = 0;

private:
    qirListBox* owner_;
};

#endif
