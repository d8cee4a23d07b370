#include "qirFilterList.h"
#include "qirError.h"

#include "qirMainWindow.h"
#include "qirFilterBookWindow.h"

#include "FilterBookDock.h"
#include "qirCloseHandler.h"
#include "qirFilterBookMenu.h"
#include "qirFilterDialog.h"
#include "qirListBox.h"
#include "qirMarkedItem.h"
#include "qirMemberAction.h"
#include "qirQuestionDialog.h"
#include "qirUiText.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>
#include <InterViews/layout.h>
#include <InterViews/session.h>
#include <InterViews/window.h>

#include <string>
#include <unordered_set>
#include <vector>

namespace {

const char* Str(const qirString& s) { return s.Data() ? s.Data() : ""; }

// A row of the book: it knows its filter, so no row is ever found by
// counting through the list; a double click edits it.
class FilterRow : public qirMarkedItem {
public:
    FilterRow(qirFilter* filter, qirListBox* owner, qirFilterBookWindow* book)
        : qirMarkedItem(qirFilterBookWindow::RowText(filter), owner, WidgetKit::instance()->style(),
                        WidgetKit::instance(), LayoutKit::instance()),
          filter_(filter), book_(book) {}
    qirFilter* Filter() const { return filter_; }
    void activate() override { book_->EditRow(this); }

private:
    qirFilter* filter_; // the filter list's
    qirFilterBookWindow* book_;
};

}  // namespace

qirFilterBookWindow::qirFilterBookWindow(qirFilterList* filters, FilterBookDock* dock, Window* leader)
    : filters_(filters), dock_(dock) {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    // The rows go in at once, before the scroll bar that watches them.
    rows_ = new qirListBox(1, nullptr);
    Resource::ref(rows_);
    std::vector<qirListItem*> rows;
    for (qirFilter* f = filters_->First(); f; f = qirFilterList::Next(f))
        rows.push_back(MakeRow(f));
    rows_->AppendAll(rows.data(), (int)rows.size());
    if (!rows.empty())
        rows.front()->toggle();

    Glyph* list = kit->outset_frame(lk->vnatural(lk->hbox(lk->hnatural(rows_, 400), kit->vscroll_bar(rows_)), 300));
    Glyph* buttons = kit->outset_frame(lk->vbox(
        lk->vspace(8),
        lk->hbox(lk->hglue(),
                 kit->push_button(qirUiText(680),
                                  new qirMemberAction<qirFilterBookWindow>(this, &qirFilterBookWindow::SaveAndClose)),
                 lk->hglue(),
                 kit->push_button(qirUiText(111),
                                  new qirMemberAction<qirFilterBookWindow>(this, &qirFilterBookWindow::DiscardAndClose)),
                 lk->hglue(),
                 kit->push_button(qirUiText(114),
                                  new qirMemberAction<qirFilterBookWindow>(this, &qirFilterBookWindow::Help)),
                 lk->hglue()),
        lk->vspace(8)));
    Glyph* menubar = qir_build_filterbook_menubar(this, kit, lk);
    Glyph* body = lk->vbox(kit->bright_inset_frame(menubar), list, buttons);

    window_ = new TopLevelWindow(body);
    if (leader)
        window_->group_leader(leader);
    qir_set_window_style(window_, "Filter Book", qirMainWindow::WindowStyle());
    window_->wm_delete(new qirCloseHandler(this));
    qir_place_window(window_, dynamic_cast<Menu*>(menubar));
    window_->map();
}

qirFilterBookWindow::~qirFilterBookWindow() {
    Unmap();
    delete window_;
    Resource::unref(rows_);
}

qirListItem* qirFilterBookWindow::MakeRow(qirFilter* filter) { return new FilterRow(filter, rows_, this); }

qirString qirFilterBookWindow::RowText(const qirFilter* filter) {
    qirString text(Str(filter->Name()));
    return filter->IsActive() ? text : text.Concat("(non active)");
}

qirString qirFilterBookWindow::NewFilterName(const qirFilterList& filters) {
    std::unordered_set<std::string> taken;
    for (qirFilter* f = filters.First(); f; f = qirFilterList::Next(f))
        taken.insert(Str(f->Name()));
    for (int n = 0;; n++) {
        std::string name = "Filter N" + std::to_string(n);
        if (!taken.count(name))
            return qirString(name.c_str());
    }
}

qirFilter* qirFilterBookWindow::FilterOf(const qirListItem* row) {
    const FilterRow* r = dynamic_cast<const FilterRow*>(row);
    return r ? r->Filter() : nullptr;
}

void qirFilterBookWindow::Raise() { qir_show_window(window_); }

void qirFilterBookWindow::Unmap() { qir_unmap_window(window_); }

int qirFilterBookWindow::Edit(qirFilter* filter) {
    qirFilterDialog* dialog = new qirFilterDialog(filter);
    Resource::ref(dialog);
    dialog_ = dialog;
    bool accepted = dialog->post_for(window_);
    dialog_ = nullptr;
    Resource::unref(dialog);
    return accepted ? 1 : 0;
}

void qirFilterBookWindow::Save(int) { SaveFilters(); }

int qirFilterBookWindow::SaveFilters() {
    qirString why;
    int status = filters_->Save(&why);
    if (status != 0 && qirLog)
        qirLog->Report(qirLogError, "Can't save filter file! %s", Str(why));
    return status;
}

void qirFilterBookWindow::SaveAndClose(int) {
    if (SaveFilters() == 0)
        dock_->close();
}

void qirFilterBookWindow::DiscardAndClose(int) {
    if (filters_->Reload() != 0) {
        if (qirLog)
            qirLog->Write(qirLogWarning, "Can't load filter file!");
        filters_->Remove(nullptr);
    }
    dock_->close();
}

void qirFilterBookWindow::NewFilter(int) {
    if (dialog_)
        return;
    qirFilter* filter = new qirFilter(NewFilterName(*filters_), 1,
                                      qirFilterCondition(8, qirWildcard("*QIR*", 0), qirString("")), 0, qirPath(""),
                                      qirPath(""), qirString(""));
    if (!Edit(filter)) {
        delete filter;
        return;
    }
    filters_->Append(filter);
    qirListItem* row = MakeRow(filter);
    rows_->append(row);
    rows_->UnselectAll();
    row->toggle();
    rows_->ShowRow(rows_->Count() - 1);
}

void qirFilterBookWindow::EditFilter(int) {
    if (dialog_)
        return;
    qirListItem* chosen = nullptr;
    int selected = 0;
    for (qirObject* n = rows_->Items().First(); n; n = qirList::Next(n)) {
        if (qirListItem::FromNode(n)->Selected()) {
            chosen = qirListItem::FromNode(n);
            selected++;
        }
    }
    if (selected != 1) {
        if (qirLog)
            qirLog->Write(qirLogError, "You should select exactly ONE filter to edit!");
        return;
    }
    EditRow(chosen);
}

void qirFilterBookWindow::EditRow(qirListItem* row) {
    qirFilter* filter = FilterOf(row);
    if (dialog_ || !filter)
        return;
    if (Edit(filter))
        static_cast<qirMarkedItem*>(row)->SetLabel(RowText(filter));
}

void qirFilterBookWindow::RemoveFilters(int) {
    if (dialog_)
        return;
    // The selected rows and their places, as the list was when asked.
    std::vector<std::pair<qirListItem*, int>> chosen;
    int place = 0;
    for (qirObject* n = rows_->Items().First(); n; n = qirList::Next(n), place++)
        if (qirListItem::FromNode(n)->Selected())
            chosen.push_back({qirListItem::FromNode(n), place});
    int first = -1;
    for (auto& c : chosen) {
        qirFilter* filter = FilterOf(c.first);
        if (!filter)
            continue;
        qirString name = filter->Name(), sure("Are you sure?");
        WidgetKit* kit = WidgetKit::instance();
        qirQuestionDialog* question =
            new qirQuestionDialog(kit, LayoutKit::instance(), qirMainWindow::WindowStyle(), "You are going to remove filter", &name, &sure);
        Resource::ref(question);
        bool yes = question->post_for(window_);
        Resource::unref(question);
        if (!yes)
            continue;
        rows_->remove(c.first); // the row goes first: it names the filter
        filters_->Remove(filter);
        if (first < 0)
            first = c.second;
    }
    int left = rows_->Count();
    if (first < 0 || left == 0)
        return;
    int at = first < left ? first : left - 1;
    rows_->Item(at)->toggle();
    rows_->ShowRow(at);
}

void qirFilterBookWindow::Help(int) {
    if (qirApp)
        qirApp->ShowHelp("QIR Help on filters", "filters.rtf");
}

void qirFilterBookWindow::HelpIndex(int) {
    if (qirApp)
        qirApp->ShowHelp("QIR Help Index", "index.rtf");
}
