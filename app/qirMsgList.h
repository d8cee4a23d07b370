// A folder that is also its row in the main window's folder list.
//
// Its message list window shows one row per loaded message with the
// counters beside it.  The folder's virtual operations (NewMessage, Unload,
// Flush, CopyIn) are overridden so that whatever changes the folder keeps
// the rows and counters current; the counters move by difference as rows
// come, change and go, never by a recount over the folder.
#ifndef QIR_MSG_LIST_H
#define QIR_MSG_LIST_H

#include "qirFolder.h"

// InterViews' headers make "Directory" a macro: the folder's directory
// under a name of its own, for files that include them.
const qirDirectory* qirFolderDirectory(const qirFolder* f);

#include "qirListItem.h"
#include "qirMsgCounts.h"
#include "qirTopWindow.h"

#include <vector>

class Color;
class Patch;
class PolyGlyph;
class Style;
class TelltaleState;
class TopLevelWindow;
class qirLayout;
class qirListBox;
class qirMsgListItem;
class qirRowShape;
class qirShortHeader;

class qirMsgList : public qirFolder, public qirListItem, public qirTopWindow {
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

    // Loads the folder and opens its message list window, sorted by the
    // method the layout store holds for the folder.
    virtual void OpenWindow();
    // Passes the read, undeleted messages of an open Incoming window through
    // the filters (one run: the user's "apply to all" or "skip all" holds
    // for the rest), flushes the folder (a failure is reported as "Flushing
    // error"), unloads it and closes the window: 0, or the flush's status.
    // While the program ends without a display to ask on (qirApp's
    // Ending) no filter pass runs: the messages stay where they are.
    virtual int CloseWindow();
    // The close of such an end: a filter pass under way (the one that
    // asks) is given up where it stands, then CloseWindow.
    int CloseForEnd();
    int IsOpen() const { return open_; }
    // The window manager cannot close the window: only its own actions do.
    int close_request() override { return 1; }

    // Folder operations that keep the rows current.
    qirMsg* NewMessage(const qirPath* path) override;
    void Unload() override;
    int Flush() override;
    int CopyIn(qirMsg* message) override;
    using qirFolder::CopyIn;
    // Messages moved out of the folder leave their rows and the counters
    // at once (a view open on one closes, as after a purge).
    void Release(qirMsg* const* messages, int n) override;

    // Orders the folder and the rows by the method (0..6, qirMsgSort);
    // selections stay.
    void Sort(int method);
    int SortMethod() const { return sortMethod_; }
    // Stores the method and the reverse flag in the layout store.
    void SaveSort();
    int ReverseOrder() const { return reverse_; }
    // The layout store of the sort settings: the application's, or the one
    // given here (not owned; null gives the application's back).
    static qirLayout* LayoutStore();
    static void SetLayoutStore(qirLayout* layout) { layoutStore_ = layout; }

    // Counter labels from the kept counts (only while the window is open).
    void UpdateReadCount();
    void UpdateDeletedCount();
    void UpdateSelectedCount();
    void RedrawList();
    // Every open message view of the folder shows its message again: after
    // the rows were reordered or the folder was flushed (which renumbers
    // the message directories the views read their parts from).
    void RefreshViews();
    // Shows the 48x48 X-Face raster (null: the default face).
    void ShowFace(const unsigned char* bits);

    // From the rows.
    void RowSelected(qirMsgListItem* item, int selected);
    void RowChanged(qirMsgListItem* item);
    void RowGone(qirMsgListItem* item);

    // What the message rows share: their size (every row has the same),
    // the status faces (0 unread, 1 read, 2 deleted: the image, else its
    // letter), the style of their status buttons, and the summary layout
    // (read from the configuration when the window opens).
    qirRowShape* RowShape() const { return rowShape_; }
    Glyph* StatusFace(int card);
    Style* StatusButtonStyle();
    const qirShortHeader& SummaryFormat();

    qirListBox* MessageRows() const { return msgRows_; }
    const qirMsgCounts& Counts() const { return counts_; }
    TopLevelWindow* ListWindow() const { return window_; }
    // The text a counter shows now ("%3d"), for tests; "" while closed.
    qirString CounterText(int which) const; // 0 total, 1 read, 2 deleted, 3 selected

    // Re-reads the row from the folder: name, count and icon (an icon that
    // cannot be read leaves the old one), then redraws it.
    void RefreshIcon();
    // The count label " %3d" from the folder's count, and the total
    // counter while the window is open.
    void RefreshCount();

    // ---- The window's menu bar (qirMsgListMenu.cpp) and the actions
    // behind it (qirMsgListActions.cpp).  Each works on the selected rows;
    // one that needs a selection and finds none shows the warning box.
    void Rescan();
    void ImportMailbox();
    void Compose();
    void CopySelected();
    void MoveSelected();
    void ExportSelected();
    void PrintSelected();
    void AddSenders();
    void DeleteSelected();
    void UndeleteSelected();
    void SelectAll();
    void UnselectAll();
    void Reply(int quote);
    void Forward();
    void OpenAddressBook();
    void OpenFilterBook();
    void Help();
    void ShowHelpIndex();
    // The selected messages, in folder order.
    std::vector<qirMsg*> SelectedMessages() const;
    // The sort menu's radio items (by method) and reverse item, kept while
    // the window is open (referenced); the menu builder hands them over.
    void SetSortItems(TelltaleState* const* methods, TelltaleState* reverse);
    // A radio item of the sort menu was chosen: sorts by its method.
    void SortChosen(int method);
    // The picture panel, which a print job borrows for a moment.
    Patch* FacePatch() const { return face_; }

    // The folder dialog's results (the caller writes Name.txt and the icon).
    void SetName(const qirString& name) { name_ = name; }
    void SetIcon(const qirPath& icon) { icon_ = icon; }

    // The row's parts, for tests: whether the icon was read, the texts.
    int IconShown() const { return iconShown_; }
    qirString CountText() const;

private:
    void BuildRow();
    void DeleteClosedWindow();
    void PassFilters();
    // The messages' rows leave the box, all in one step, and their counts.
    void DropRows(qirMsg* const* messages, int n);
    void BuildFrame();
    Glyph* BuildWindowBody();
    void SetCounter(int which, int value);
    qirString SortKey(const char* what) const;

    Patch* patch_;            // the row's body
    Glyph* icon_glyph_ = nullptr;
    int iconShown_ = 0;
    int open_ = 0;
    int filtering_ = 0;              // the filter pass runs: flushes wait
    int unloading_ = 0;              // the rows left the box before the messages go
    qirListBox* msgRows_ = nullptr;  // referenced; the message rows
    TopLevelWindow* window_ = nullptr;
    Patch* counters_[4] = {};        // total, read, deleted, selected
    int shown_[4] = {-1, -1, -1, -1};
    Patch* face_ = nullptr;
    std::vector<unsigned char> faceBits_;   // the picture shown; empty: the default face
    int faceShown_ = 0;
    qirMsgCounts counts_;
    int sortMethod_ = 0;
    int reverse_ = 0;
    TelltaleState* sortItems_[7] = {}; // referenced while the window is open
    TelltaleState* reverseItem_ = nullptr;
    TopLevelWindow* closing_ = nullptr; // closed, deleted after its event
    qirRowShape* rowShape_;            // referenced
    Glyph* faces_[3] = {};             // referenced, made on first use
    Style* buttonStyle_ = nullptr;     // referenced, made on first use
    qirShortHeader* summary_ = nullptr; // owned, made on first use

    static qirLayout* layoutStore_;
    static Color* grey_;       // shared by every folder row
    static Color* black_;
    static int rows_;
};

#endif
