// The controller of the filter book: at most one filter book window, made
// on the first open and deleted by close.
#ifndef QIR_FILTER_BOOK_DOCK_H
#define QIR_FILTER_BOOK_DOCK_H

#include "qirLauncher.h"

#include <InterViews/enter-scope.h>

class Window;
class qirFilterBookWindow;
class qirFilterList;

class FilterBookDock : public qirLauncher {
public:
    // filters: the application's filter list; leader leads the window
    // group of the book.  Neither is owned.
    FilterBookDock(qirFilterList* filters, Window* leader);
    // Deletes an open window.
    ~FilterBookDock() override;

    // Makes and maps the window when there is none; an open one is raised.
    void open() override;
    // Unmaps the window now and deletes it once the current event has been
    // handled: the book closes from its own buttons.
    void close() override;
    int is_open() override { return window_ != nullptr; }

    qirFilterBookWindow* BookWindow() const { return window_; }

private:
    FilterBookDock(const FilterBookDock&) = delete;
    FilterBookDock& operator=(const FilterBookDock&) = delete;

    qirFilterBookWindow* window_ = nullptr;
    qirFilterList* filters_;
    Window* leader_;
};

#endif
