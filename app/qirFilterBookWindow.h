// The filter book: one row per filter of the application's filter list, in
// list order, with actions to make, change and remove filters, to save the
// list to the filter file or to throw the changes away.  Changes act on the
// filter list at once; they reach the file only by saving.
#ifndef QIR_FILTER_BOOK_WINDOW_H
#define QIR_FILTER_BOOK_WINDOW_H

#include "qirString.h"
#include "qirTopWindow.h"

class FilterBookDock;
class TopLevelWindow;
class Window;
class qirFilter;
class qirFilterDialog;
class qirFilterList;
class qirListBox;
class qirListItem;

class qirFilterBookWindow : public qirTopWindow {
public:
    // Builds the rows (the first selected) and the window, and maps it.
    // Nothing is owned but the window and the rows.
    qirFilterBookWindow(qirFilterList* filters, FilterBookDock* dock, Window* leader);
    // Lets go of the rows, unmaps and deletes the window.
    ~qirFilterBookWindow() override;

    // Only the book's own buttons close it.
    int close_request() override { return 1; }

    // Writes the filter list to the filter file; a failure is reported at
    // level 1 with its reason, and the window stays as it is.
    void Save(int = 0);
    // Closes only after a successful save: a failed one keeps the book
    // open with its changes.
    void SaveAndClose(int = 0);
    // Reloads the filter file (the changes since the last save are gone),
    // then closes.
    void DiscardAndClose(int = 0);
    // Each does nothing while a filter dialog is posted.  New names the
    // filter "Filter N<n>" with the first free n and adds it when its
    // dialog is accepted; Edit needs exactly one selected row; Remove asks
    // once per selected row.
    void NewFilter(int = 0);
    void EditFilter(int = 0);
    void RemoveFilters(int = 0);
    void Help(int = 0);
    void HelpIndex(int = 0);
    // The filter dialog for the row's filter (a double click on the row).
    void EditRow(qirListItem* row);

    void Raise();
    void Unmap();
    TopLevelWindow* TheWindow() const { return window_; }
    qirListBox* Rows() const { return rows_; }
    // The dialog while one is posted from the book, else null.
    qirFilterDialog* PostedDialog() const { return dialog_; }

    // The filter's name, followed by "(non active)" when it is off.
    static qirString RowText(const qirFilter* filter);
    // "Filter N<n>" with the smallest n no filter of the list is named.
    static qirString NewFilterName(const qirFilterList& filters);
    // The filter a row of the book shows.
    static qirFilter* FilterOf(const qirListItem* row);

private:
    qirFilterBookWindow(const qirFilterBookWindow&) = delete;
    qirFilterBookWindow& operator=(const qirFilterBookWindow&) = delete;
    qirListItem* MakeRow(qirFilter* filter);
    // Save's work: 0, or the save's status after the report.
    int SaveFilters();
    // Posts the filter dialog for the filter over the book: 1 when accepted.
    int Edit(qirFilter* filter);

    qirFilterList* filters_;
    FilterBookDock* dock_;
    TopLevelWindow* window_;
    qirListBox* rows_;                  // referenced
    qirFilterDialog* dialog_ = nullptr; // while posted
};

#endif
