// The pointer on an attachment row: a double click starts the part's
// viewer from the mailcap files, the right button saves the part to a file.
#ifndef ATTACH_ICON_H
#define ATTACH_ICON_H

#include <InterViews/input.h>

class AttachItem;

class AttachIcon : public InputHandler {
public:
    // Wraps the row glyph, in the application's style; the builder of the
    // row stores the handler in the item.  item is not owned: the window's
    // list outlives its rows.
    AttachIcon(Glyph* row, AttachItem* item);
    ~AttachIcon() override;

    // Moving over the row does nothing.
    void move(const Event&) override;
    // The right button saves the part; the others do nothing.
    void release(const Event&) override;
    // Starts the viewer.
    void double_click(const Event&) override;

    AttachItem* Item() const { return item_; }

private:
    AttachItem* item_;
};

#endif
