// A folder that is also its row in the main window's folder list.
//
// The message list window of the folder (its message rows, counters and
// menu) comes with the message list window; until then OpenWindow and
// CloseWindow are the seams where it attaches, and only the folder row is
// built here.
#ifndef QIR_MSG_LIST_H
#define QIR_MSG_LIST_H

#include "qirFolder.h"

// InterViews' headers make "Directory" a macro: the folder's directory
// under a name of its own, for files that include them.
const qirDirectory* qirFolderDirectory(const qirFolder* f);

#include "qirListItem.h"

class Color;
class Patch;
class PolyGlyph;
class qirListBox;

class qirMsgList : public qirFolder, public qirListItem {
public:
    // Builds the folder on its directory and the folder row in rows (the
    // row is not appended: the folder list view places it).
    qirMsgList(const qirPath& directory, qirListBox* rows);
    // Closes the window (flushing the folder), then the row and the folder.
    ~qirMsgList() override;

    // Selection: the row's frame turns black while selected, grey else.
    void toggle() override;
    // Double click: opens the message list window unless it is open.
    void activate() override;

    // Seam of the message list window: loads the folder and shows its
    // messages.  Not built yet: the folder's count is refreshed only.
    virtual void OpenWindow();
    // Seam of the message list window: flushes a loaded folder (0, or the
    // flush's status) and closes the window.
    virtual int CloseWindow();
    int IsOpen() const { return open_; }

    // Re-reads the row from the folder: name, count and icon (an icon that
    // cannot be read leaves the old one), then redraws it.
    void RefreshIcon();
    // The count label " %3d" from the folder's count.
    void RefreshCount();

    // The folder dialog's results (the caller writes Name.txt and the icon).
    void SetName(const qirString& name) { name_ = name; }
    void SetIcon(const qirPath& icon) { icon_ = icon; }

    // The row's parts, for tests: whether the icon was read, the texts.
    int IconShown() const { return iconShown_; }
    qirString CountText() const;

private:
    void BuildRow();
    void BuildFrame();

    Patch* patch_;            // the row's body
    Glyph* icon_glyph_ = nullptr;
    int iconShown_ = 0;
    int open_ = 0;

    static Color* grey_;       // shared by every folder row
    static Color* black_;
    static int rows_;
};

#endif
