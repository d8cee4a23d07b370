// The attachments of a window (the message view, the compose window): an
// item is a copy of one body part (the same file, a copy of its content
// type) with the icon of its main type and the window over which its
// dialogs are posted; the list holds a window's items.
#ifndef ATTACH_ITEM_H
#define ATTACH_ITEM_H

#include "qirList.h"
#include "qirMsgComponent.h"

#include <InterViews/enter-scope.h>

class AttachIcon;
class Raster;
class Window;

class AttachItem : public qirMsgComponent {
public:
    // Copies the part (the disk is not touched) and takes the icon of its
    // main type; each icon file is read once for the whole session.
    // window (not owned, may be null until it exists) parents the dialogs.
    AttachItem(const qirMsgComponent& part, Window* window);
    ~AttachItem() override;

    // The row's text, "type/subtype name" and the size of the part it was
    // made from (qirMsgViewText::AttachLabel), into buffer, cut to fit
    // between two characters.
    void Label(char* buffer, size_t size);
    qirString Label();

    // The file name a save proposes: the name the part is stored under
    // (made safe when the message came in), never the name the mail gave.
    qirString ProposedName() const;
    // Copies the part's file to file, or appends it there: 0, or -1 after
    // reporting "Error writing to file!" at level 1.  A source that is no
    // regular file, or the file itself, is refused before file is touched.
    int SaveTo(const char* file, int append);
    // Asks for a file over the window (the application's save dialog,
    // proposing ProposedName) and saves there, appending when the user
    // chose to: 0, also when cancelled; -1 when the save failed.
    int Save();
    // Starts the viewer of the application's mailcap table for the part,
    // on its own: the pid, or -1 after reporting "No program for this
    // type. Edit your mailcap file." at level 1 (no fork happens then).
    int View();

    // The row of this item, set by the window that builds it (not owned).
    AttachIcon* IconHandler() const { return iconHandler_; }
    void SetIconHandler(AttachIcon* handler) { iconHandler_ = handler; }
    // The icon of the main type, or null when its file cannot be read
    // (shared; the item holds no reference of its own).
    Raster* TypeIcon() const { return typeIcon_; }
    Window* ParentWindow() const { return window_; }
    void SetWindow(Window* window) { window_ = window; }

private:
    AttachItem(const AttachItem&) = delete;
    AttachItem& operator=(const AttachItem&) = delete;

    AttachIcon* iconHandler_ = nullptr;
    Raster* typeIcon_ = nullptr;
    Window* window_;
    // The part's size as the part itself counts it: a multipart copied into
    // an item is a directory, whose size the item could not tell.
    int partSize_ = 0;
};

// A window's attachment items; deleting the list deletes them.
class AttachList : public qirList {
public:
    AttachList() {}
    ~AttachList() override { Remove(nullptr); }

    AttachItem* First() const { return static_cast<AttachItem*>(qirList::First()); }
    static AttachItem* Next(const AttachItem* item) { return static_cast<AttachItem*>(qirList::Next(item)); }

private:
    AttachList(const AttachList&) = delete;
    AttachList& operator=(const AttachList&) = delete;
};

#endif
