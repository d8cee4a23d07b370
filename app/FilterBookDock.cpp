#include "FilterBookDock.h"

#include "qirAfterEvent.h"
#include "qirFilterBookWindow.h"

FilterBookDock::FilterBookDock(qirFilterList* filters, Window* leader) : filters_(filters), leader_(leader) {}

FilterBookDock::~FilterBookDock() {
    delete window_;
    window_ = nullptr;
}

void FilterBookDock::open() {
    if (window_)
        window_->Raise();
    else
        window_ = new qirFilterBookWindow(filters_, this, leader_);
}

void FilterBookDock::close() { qirAfterEvent::Close(window_); }
