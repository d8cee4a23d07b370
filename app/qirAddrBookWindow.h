// The address book window: one row per entry of the address book, in book
// order, with actions to add, edit and remove entries, save the book,
// start a letter to an entry, and put an entry's address into the To, Cc
// or Bcc field of the compose window attached to the book.  Changes act on
// the book in memory; the file is written by Save and at quit.
#ifndef QIR_ADDR_BOOK_WINDOW_H
#define QIR_ADDR_BOOK_WINDOW_H

#include "qirMarkedItem.h"
#include "qirString.h"
#include "qirTopWindow.h"

#include <vector>

class MsgEdit;
class Patch;
class TopLevelWindow;
class qirAddrBook;
class qirAddrBookEntry;
class qirAddrBookWindow;
class qirListBox;

// A row of the address book window: the entry it shows, and a double
// click edits it.
class qirAddrBookItem : public qirMarkedItem {
public:
    // Entry and book are the application's; window is the book window.
    qirAddrBookItem(qirAddrBookEntry* entry, qirAddrBook* book, qirAddrBookWindow* window, qirListBox* owner);

    void activate() override;

    qirAddrBookEntry* Entry() const { return entry_; }
    // The alias, " : " and the full name.
    static qirString RowText(const qirAddrBookEntry* entry);

private:
    qirAddrBookEntry* entry_;
    qirAddrBook* book_;
    qirAddrBookWindow* window_;
};

class qirAddrBookWindow : public qirTopWindow {
public:
    // Builds the rows (the first selected) and the window, and maps it.
    // The book is the application's.
    explicit qirAddrBookWindow(qirAddrBook* book);
    // Lets go of the rows, unmaps and deletes the window.
    ~qirAddrBookWindow() override;

    // Only the window's own close button and menu entry close it.
    int close_request() override { return 1; }

    // Maps the window again when it is not, and raises it.
    void Show();
    void Unmap();
    // The compose window whose fields To, Cc and Bcc fill; null: none.
    void AttachComposer(MsgEdit* composer);
    // Shows the book as it is now, after another window changed it (the
    // message view adds senders): one row per entry in book order, the
    // selected entry still selected.
    void Refresh();

    // Menu and button actions.  Each does nothing while an entry dialog
    // is posted from the window.
    void Save(int = 0);
    void Close(int = 0);
    // The selected entry's address into the attached compose window's
    // field; nothing without both.
    void To(int = 0);
    void Cc(int = 0);
    void Bcc(int = 0);
    // A new letter to the selected entry.
    void Compose(int = 0);
    // A new entry through the entry dialog, appended when accepted; an
    // alias already in the book is refused and the dialog comes back.
    void Add(int = 0);
    // The selected entry in the entry dialog; Cancel restores it.
    void Edit(int = 0);
    // Removes the selected entry after a question; the row at its place
    // (or the new last one) is selected.
    void Delete(int = 0);
    void Help(int = 0);
    void HelpIndex(int = 0);

    // Edit for a row.
    void EditRow(qirAddrBookItem* row);

    qirAddrBookItem* Selected() const;
    TopLevelWindow* TheWindow() const { return window_; }
    qirListBox* Rows() const { return rows_; }
    MsgEdit* Composer() const { return composer_; }
    int IsAttached() const { return attached_; }

private:
    qirAddrBookWindow(const qirAddrBookWindow&) = delete;
    qirAddrBookWindow& operator=(const qirAddrBookWindow&) = delete;
    void Build();
    // One new row per entry of the book, in order.
    std::vector<qirListItem*> MakeRows();
    // Posts the entry dialog until it is cancelled or its alias is no
    // other entry's: 1 accepted.  Cancel on an entry of the book restores
    // what it held.
    int EditEntry(qirAddrBookEntry* entry, int inBook);
    int AliasTaken(const qirAddrBookEntry* entry) const;
    void Insert(int field);

    Patch* patch_;
    qirAddrBook* book_;
    TopLevelWindow* window_;
    qirListBox* rows_;           // referenced
    MsgEdit* composer_ = nullptr;
    int attached_ = 0;
    int posted_ = 0;             // an entry dialog is posted
};

#endif
