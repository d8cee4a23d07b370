// Mail headers first: InterViews' macros would rename their members.
#include "qirConfiguration.h"
#include "qirMsgListItem.h"
#include "qirMsgSort.h"
#include "qirMainWindow.h"
#include "qirMsgList.h"
#include "qirShortHeader.h"
#include "qirXFace.h"

#include "qirAfterEvent.h"
#include "qirCloseHandler.h"
#include "qirError.h"
#include "qirIconImage.h"
#include "qirLayout.h"
#include "qirListBox.h"
#include "qirMainWindow.h"
#include "qirMarkedItem.h"
#include "qirMsgListItem.h"
#include "qirMsgListMenu.h"
#include "qirMsgSort.h"
#include "qirMsgRow.h"
#include "qirTextLabel.h"
#include "qirUiText.h"
#include "MsgView.h"
#include "MsgViewDock.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include <IV-look/kit.h>
#include <IV-look/menu.h>
#include <InterViews/border.h>
#include <InterViews/color.h>
#include <InterViews/layout.h>
#include <InterViews/patch.h>
#include <InterViews/polyglyph.h>
#include <InterViews/display.h>
#include <InterViews/font.h>
#include <InterViews/session.h>
#include <InterViews/style.h>
#include <InterViews/telltale.h>
#include <InterViews/window.h>

qirLayout* qirMsgList::layoutStore_ = nullptr;
Color* qirMsgList::grey_ = nullptr;
Color* qirMsgList::black_ = nullptr;
int qirMsgList::rows_ = 0;

qirMsgList::qirMsgList(const qirPath& directory, qirListBox* rows)
    : qirFolder(directory), qirListItem(new Patch(nullptr), rows, Session::instance()->style()) {
    patch_ = static_cast<Patch*>(body());
    msgRows_ = new qirListBox(1, LayoutKit::instance()->hspace(500));
    Resource::ref(msgRows_);
    rowShape_ = new qirRowShape;
    Resource::ref(rowShape_);
    if (rows_++ == 0) {
        grey_ = new Color(0.7, 0.7, 0.7, 1.0);
        black_ = new Color(0.0, 0.0, 0.0, 1.0);
        Resource::ref(grey_);
        Resource::ref(black_);
    }
    RefreshIcon();
}

qirMsgList::~qirMsgList() {
    CloseWindow();
    DeleteClosedWindow();
    qirFolder::Unload();
    Resource::unref(msgRows_);
    for (Glyph* face : faces_)
        Resource::unref(face);
    Resource::unref(buttonStyle_);
    Resource::unref(rowShape_);
    delete summary_;
    patch_->body(nullptr);
    Resource::unref(icon_glyph_);
    if (--rows_ == 0) {
        Resource::unref(grey_);
        Resource::unref(black_);
        grey_ = black_ = nullptr;
    }
}

qirString qirMsgList::CountText() const {
    char text[32];
    snprintf(text, sizeof text, " %3d", qirFolder::Count());
    return qirString(qirUiText(10)).Concat(text);
}

void qirMsgList::BuildRow() {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    PolyGlyph* row = lk->hbox();
    if (icon_glyph_)
        row->append(lk->vcenter(kit->outset_frame(lk->margin(icon_glyph_, 10))));
    const char* name = Name().Data() ? Name().Data() : "";
    Glyph* text = lk->vbox(lk->hbox(qirTextLabel(kit, name), lk->hglue()),
                           lk->hbox(kit->label(CountText().Data()), lk->hglue()));
    row->append(lk->vcenter(new Border(lk->margin(text, 3), Selected() ? black_ : grey_, 1)));
    row->append(lk->hglue());
    row->append(lk->hspace(10));
    patch_->body(lk->margin(lk->hnatural(row, 300), 2));
    patch_->reallocate();
    patch_->redraw();
}

void qirMsgList::RefreshIcon() {
    qirString path = qirInstalledImage(Icon());
    if (Glyph* image = qirScaledImage(path.Data(), 48, 32, 1)) {
        Resource::unref(icon_glyph_);
        icon_glyph_ = image;
        Resource::ref(icon_glyph_);
        iconShown_ = 1;
    }
    BuildRow();
}

void qirMsgList::RefreshCount() {
    BuildRow();
    SetCounter(0, qirFolder::Count());
}

void qirMsgList::toggle() {
    qirListItem::toggle();
    BuildRow();
}

void qirMsgList::activate() {
    if (!open_)
        OpenWindow();
}

// ---------------------------------------------------------------- window

void qirMsgList::OpenWindow() {
    if (open_)
        return;
    // The window closed last time may still wait for its deletion.
    DeleteClosedWindow();
    open_ = 1;
    // The summary layout as the configuration says now.
    delete summary_;
    summary_ = nullptr;
    // Rows first, then the scroll bar that watches them: a bar attached
    // before would be told of every one of ten thousand rows.  The load
    // counts the directories it finds.
    Load();
    Glyph* body = BuildWindowBody();
    // A long folder would make the window taller than the screen.
    WidgetKit* kit = WidgetKit::instance();
    ::Display* display = Session::instance()->default_display();
    FontBoundingBox box;
    kit->font()->font_bbox(box);
    Coord limit = display->height() * 3 / 4;
    Glyph* bar = qir_build_msglist_menubar(this, kit, LayoutKit::instance());
    Glyph* menubar = kit->bright_inset_frame(bar);
    if ((box.ascent() + box.descent()) * qirFolder::Count() * 3 > limit)
        body = LayoutKit::instance()->vnatural(body, limit);
    window_ = new TopLevelWindow(LayoutKit::instance()->vbox(menubar, body));
    int missing = 0;
    qirLayout* layout = LayoutStore();
    int method = layout ? layout->MenuInt(SortKey(".Sort.Method").Data(), &missing) : 0;
    if (missing || method < 0 || method >= qirMsgSort::MethodCount)
        method = 0;
    int reverse = layout ? layout->MenuFlag(SortKey(".Sort.ReverseOrder").Data(), &missing) : 0;
    reverse_ = missing ? 0 : reverse;
    if (reverseItem_)
        reverseItem_->set(TelltaleState::is_chosen, reverse_ != 0);
    Sort(method);
    const char* title = Name().Data() ? Name().Data() : "";
    qir_set_window_style(window_, title, Session::instance()->style());
    if (qirApp && qirApp->MainWindow())
        window_->group_leader(qirApp->MainWindow());
    UpdateReadCount();
    UpdateDeletedCount();
    UpdateSelectedCount();
    SetCounter(0, qirFolder::Count());
    window_->wm_delete(new qirCloseHandler(this));
    qir_place_window(window_, dynamic_cast<Menu*>(bar));
    window_->map();
}

int qirMsgList::CloseWindow() {
    int wasOpen = open_;
    open_ = 0;
    if (wasOpen && IsIncoming() && IsLoaded() && qirApp && !qirApp->Ending())
        PassFilters();
    // A closed folder is flushed too: at quit, every folder is renumbered,
    // opened or not.
    int r = Flush();
    if (r != 0 && qirLog)
        qirLog->Report(qirLogError, "Flushing error(<%s>,%d)", "qirMsgList", __LINE__);
    if (!wasOpen)
        return r;
    Unload();
    if (window_) {
        SaveSort();
        SetSortItems(nullptr, nullptr);
        // Damage still listed for the window would be repaired after it
        // is gone: repair it now, while the window exists.
        if (window_->display())
            window_->display()->repair();
        // The close may come from the window's own menu: the window goes
        // from the screen now and is deleted once the event is handled.
        window_->unmap();
        DeleteClosedWindow();
        closing_ = window_;
        qirAfterEvent::Run([](void* list) { static_cast<qirMsgList*>(list)->DeleteClosedWindow(); }, this);
        window_ = nullptr;
        for (int i = 0; i < 4; i++) {
            counters_[i] = nullptr;
            shown_[i] = -1;
        }
        face_ = nullptr;
        faceShown_ = 0;
        faceBits_.clear();
    }
    return r;
}

int qirMsgList::CloseForEnd() {
    // The pass never resumes: the process ends after this save.  What it
    // did (copies stored, messages marked) is flushed; what it did not
    // reach stays.
    filtering_ = 0;
    // A close that the end interrupted has not kept them yet.
    if (window_)
        SaveSort();
    return CloseWindow();
}

void qirMsgList::DeleteClosedWindow() {
    if (!closing_)
        return;
    qirAfterEvent::Cancel(this);
    delete closing_;
    closing_ = nullptr;
}

// A counter keeps the width it was first given: five digits' room, the
// number on the right.
static Glyph* CounterLabel(const char* text) {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    return lk->hfixed(lk->hbox(lk->hglue(), kit->label(text)), kit->font()->width("00000", 5));
}

Glyph* qirMsgList::BuildWindowBody() {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    face_ = new Patch(lk->hspace(48));
    faceShown_ = 0;
    ShowFace(nullptr);
    // Wide enough for the shipped summary layout (about 110 characters).
    Glyph* list = kit->inset_frame(lk->hbox(lk->hnatural(msgRows_, 720), kit->vscroll_bar(msgRows_)));
    PolyGlyph* column = lk->vbox();
    column->append(kit->inset_frame(lk->hbox(lk->hglue(), face_, lk->hglue())));
    static const int labels[4] = {54, 53, 52, 51};   // selected, deleted, read, total
    static const int which[4] = {3, 2, 1, 0};
    for (int i = 0; i < 4; i++) {
        counters_[which[i]] = new Patch(CounterLabel("  0"));
        shown_[which[i]] = 0;
        column->append(lk->vspace(5));
        column->append(kit->inset_frame(lk->hbox(kit->label(qirUiText(labels[i])), lk->hglue(), counters_[which[i]])));
    }
    column->append(lk->vglue());
    const char* name = Name().Data() ? Name().Data() : "";
    column->append(kit->inset_frame(lk->hbox(kit->label(qirUiText(200)), lk->hglue(), qirTextLabel(kit, name))));
    Glyph* body = lk->hbox(list, lk->hspace(10), column, lk->hspace(10));
    return kit->outset_frame(body);
}

void qirMsgList::SetCounter(int which, int value) {
    if (!open_ || !counters_[which] || shown_[which] == value)
        return;
    char text[32];
    snprintf(text, sizeof text, "%3d", value);
    // The old number's place is damaged first: a narrower one would leave
    // its digits behind.
    counters_[which]->redraw();
    counters_[which]->body(CounterLabel(text));
    counters_[which]->reallocate();
    counters_[which]->redraw();
    shown_[which] = value;
}

qirString qirMsgList::CounterText(int which) const {
    if (!open_ || which < 0 || which > 3 || shown_[which] < 0)
        return qirString("");
    char text[32];
    snprintf(text, sizeof text, "%3d", shown_[which]);
    return qirString(text);
}

void qirMsgList::UpdateReadCount() { SetCounter(1, counts_.Read()); }
void qirMsgList::UpdateDeletedCount() { SetCounter(2, counts_.Deleted()); }
void qirMsgList::UpdateSelectedCount() { SetCounter(3, counts_.Selected()); }

void qirMsgList::RedrawList() {
    if (!open_ || !window_)
        return;
    msgRows_->modified(0);
    window_->repair();
}

void qirMsgList::RefreshViews() {
    if (qirFolder::Count() == 0)
        return;
    for (qirObject* n = msgRows_->Items().First(); n; n = qirList::Next(n)) {
        qirMsgRow* row = static_cast<qirMsgRow*>(qirListItem::FromNode(n));
        qirMsgListItem* item = row->Message();
        MsgViewDock* dock = item ? item->ViewDock() : nullptr;
        if (dock && dock->View())
            dock->View()->RefreshAll();
    }
}

void qirMsgList::ShowFace(const unsigned char* bits) {
    // The picture is compared, not its address: a message read afresh may
    // keep its picture where a purged one kept another.
    const size_t n = qirXFaceRasterBytes;
    if (!face_ || (faceShown_ && (bits ? faceBits_.size() == n && memcmp(bits, faceBits_.data(), n) == 0
                                       : faceBits_.empty())))
        return;
    Glyph* g = qirMainWindow::FacePicture(bits);
    face_->body(g);
    face_->reallocate();
    face_->redraw();
    if (bits)
        faceBits_.assign(bits, bits + n);
    else
        faceBits_.clear();
    faceShown_ = 1;
}

// ---------------------------------------------------------------- rows

Glyph* qirMsgList::StatusFace(int card) {
    static const char* const files[3] = {"no_read.tif", "read.tif", "delete.tif"};
    static const char* const letters[3] = {"U", "R", "D"};
    if (card < 0 || card > 2)
        card = 0;
    if (!faces_[card]) {
        qirString path = qirInstalledImage(qirString("/usr/local/lib/QIR/Images/").Concat(files[card]));
        WidgetKit* kit = WidgetKit::instance();
        Glyph* g = qirScaledImage(path.Data(), 16, 16);
        if (g) {
            // Centred on the row's text line as a letter would be, so that
            // the button does not stand on the baseline and make the row
            // taller.
            FontBoundingBox box;
            kit->font()->font_bbox(box);
            float below = 8 - (box.ascent() - box.descent()) / 2;
            g = LayoutKit::instance()->vcenter(g, below > 0 ? below / 16 : 0);
        }
        faces_[card] = g ? g : kit->label(letters[card]);
        Resource::ref(faces_[card]);
    }
    return faces_[card];
}

Style* qirMsgList::StatusButtonStyle() {
    if (!buttonStyle_) {
        WidgetKit* kit = WidgetKit::instance();
        kit->begin_style("QIRSmallButtonStyle");
        kit->style()->attribute("*PushButton*minimumWidth", "20.0");
        buttonStyle_ = kit->style();
        Resource::ref(buttonStyle_);
        kit->end_style();
    }
    return buttonStyle_;
}

const qirShortHeader& qirMsgList::SummaryFormat() {
    if (!summary_)
        summary_ = new qirShortHeader(qirConfig.Find("Short-Header-Format"));
    return *summary_;
}

qirMsg* qirMsgList::NewMessage(const qirPath* path) {
    qirMsgListItem* item = nullptr;
    if (path) {
        item = new qirMsgListItem(*path, this);
    } else {
        qirDirectory* next = NextMessagePath();
        item = new qirMsgListItem(*next, this);
        delete next;
    }
    if (item->RowItem()) {
        msgRows_->append(item->RowItem());
        item->SetRowShown(1);
    }
    counts_.Add(item->CountMark(), item->IsRead(), item->IsRemoved(), 0);
    return item;
}

void qirMsgList::RowGone(qirMsgListItem* item) {
    if (unloading_)
        return;
    counts_.Remove(item->CountMark());
    if (item->RowItem() && item->RowShown()) {
        item->SetRowShown(0);
        msgRows_->remove(item->RowItem());
    }
}

void qirMsgList::RowSelected(qirMsgListItem* item, int selected) {
    counts_.UpdateSelected(item->CountMark(), selected);
    UpdateSelectedCount();
}

void qirMsgList::RowChanged(qirMsgListItem* item) {
    counts_.Update(item->CountMark(), item->IsRead(), item->IsRemoved());
    UpdateReadCount();
    UpdateDeletedCount();
}

void qirMsgList::Unload() {
    // Every row leaves the box at once before the messages are deleted,
    // which then need not tell the box or the counters one by one.
    msgRows_->RemoveAll();
    unloading_ = 1;
    qirFolder::Unload();
    unloading_ = 0;
    counts_.Clear();
}

void qirMsgList::PassFilters() {
    // The messages to offer are fixed before the first filter runs: copies a
    // filter makes into this folder are not offered again, and no flush frees
    // a message of the list while the pass holds it.
    std::vector<qirMsg*> offered;
    for (qirMsg* m = qirFolder::First(); m; m = qirFolder::Next(m))
        if (m->IsRead() && !m->IsRemoved())
            offered.push_back(m);
    int mode = 0;
    filtering_ = 1;
    for (qirMsg* m : offered)
        if (qirApp->ApplyFilters(m, &mode, window_) != 0 || mode == -1)
            break;
    filtering_ = 0;
}

int qirMsgList::Flush() {
    // During the filter pass the flush waits for the one that ends it.
    if (filtering_)
        return 0;
    // The deleted rows leave the box first, all in one step; the folder
    // then deletes them.
    std::vector<qirMsg*> removed;
    for (qirMsg* m : LoadedMessages())
        if (m->IsRemoved())
            removed.push_back(m);
    DropRows(removed.data(), (int)removed.size());
    RedrawList();
    int r = qirFolder::Flush();
    UpdateReadCount();
    UpdateDeletedCount();
    UpdateSelectedCount();
    RefreshCount();
    // The views read their parts from directories the flush renumbered.
    if (open_)
        RefreshViews();
    return r;
}

void qirMsgList::DropRows(qirMsg* const* messages, int n) {
    std::vector<qirListItem*> gone;
    for (int i = 0; i < n; i++) {
        qirMsgListItem* item = static_cast<qirMsgListItem*>(messages[i]);
        counts_.Remove(item->CountMark());
        if (item->RowItem() && item->RowShown()) {
            item->SetRowShown(0);
            gone.push_back(item->RowItem());
        }
    }
    if (!gone.empty())
        msgRows_->RemoveItems(gone.data(), (int)gone.size());
}

void qirMsgList::Release(qirMsg* const* messages, int n) {
    // The rows leave the box in one step, as in a flush.
    DropRows(messages, n);
    qirFolder::Release(messages, n);
    RefreshCount();
    if (open_) {
        UpdateReadCount();
        UpdateDeletedCount();
        UpdateSelectedCount();
        RedrawList();
    }
}

int qirMsgList::CopyIn(qirMsg* message) {
    int r = qirFolder::CopyIn(message);
    RefreshCount();
    if (open_) {
        UpdateReadCount();
        UpdateDeletedCount();
        UpdateSelectedCount();
        RedrawList();
    }
    return r;
}

// ---------------------------------------------------------------- sorting

qirString qirMsgList::SortKey(const char* what) const {
    const qirDirectory* d = qirFolderDirectory(this);
    qirString stem = d ? d->Stem() : qirString("");
    return stem.Concat(what);
}

void qirMsgList::Sort(int method) {
    if (method < 0 || method >= qirMsgSort::MethodCount)
        method = 0;
    sortMethod_ = method;
    // The sort menu shows the method in force, whoever asked for it.
    if (sortItems_[method] && !sortItems_[method]->test(TelltaleState::is_chosen))
        sortItems_[method]->set(TelltaleState::is_chosen, true);
    // Unsorted and Arrival compare nothing: the order stays as it is.
    if (method == qirMsgSort::ByNothing || method == qirMsgSort::Arrival)
        return;
    // The rows follow the folder's new order in one step; selections stay.
    std::vector<void*> rows;
    qirMsgSort::Sort(this, method, [](qirMsg* m) -> void* {
        qirMsgListItem* item = static_cast<qirMsgListItem*>(m);
        return item->RowShown() ? item->RowItem() : nullptr;
    }, &rows);
    std::vector<qirListItem*> order;
    order.reserve(rows.size());
    for (void* row : rows)
        if (row)
            order.push_back(static_cast<qirListItem*>(row));
    if (msgRows_->SetOrder(order.data(), (int)order.size()) != 0 && qirLog)
        qirLog->Report(qirLogWarning, "Rows of <%s> could not follow the sort", Name().Data() ? Name().Data() : "");
    RedrawList();
    RefreshViews();
}

qirLayout* qirMsgList::LayoutStore() {
    if (layoutStore_)
        return layoutStore_;
    return qirApp ? qirApp->LayoutStore() : nullptr;
}

void qirMsgList::SaveSort() {
    qirLayout* layout = LayoutStore();
    if (!layout)
        return;
    // While the menu exists its items hold the settings: the first chosen
    // radio item (7 when none is), and the check item.
    int method = sortMethod_;
    if (sortItems_[0]) {
        method = 7;
        for (int i = 0; i < 7; i++)
            if (sortItems_[i] && sortItems_[i]->test(TelltaleState::is_chosen)) {
                method = i;
                break;
            }
    }
    if (reverseItem_)
        reverse_ = reverseItem_->test(TelltaleState::is_chosen) ? 1 : 0;
    layout->SetMenuInt(SortKey(".Sort.Method").Data(), method);
    layout->SetMenuFlag(SortKey(".Sort.ReverseOrder").Data(), reverse_);
}
