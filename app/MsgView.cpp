// Mail headers before InterViews: its macros rename common words.
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirMsgComponent.h"
#include "qirMsgListItem.h"
#include "qirMsgViewText.h"
#include "qirMainWindow.h"
#include "qirMsgList.h"

#include "AttachIcon.h"
#include "AttachItem.h"
#include "MsgView.h"
#include "MsgViewDock.h"
#include "qirMemberAction.h"
#include "qirMsgViewMenu.h"

#include "qirCloseHandler.h"
#include "qirListBox.h"
#include "qirRTFPanel.h"
#include "qirTextLabel.h"
#include "qirUiText.h"

#include <cstdio>
#include <cstring>

#include <IV-look/kit.h>
#include <IV-look/menu.h>
#include <InterViews/action.h>
#include <InterViews/deck.h>
#include <InterViews/display.h>
#include <InterViews/font.h>
#include <InterViews/image.h>
#include <InterViews/layout.h>
#include <InterViews/patch.h>
#include <InterViews/polyglyph.h>
#include <InterViews/raster.h>
#include <InterViews/scrbox.h>
#include <InterViews/session.h>
#include <InterViews/tformsetter.h>
#include <InterViews/transformer.h>
#include <InterViews/window.h>

namespace {

const char* Str(const qirString& s) { return s.Data() ? s.Data() : ""; }

} // namespace

MsgView::MsgView(qirMsgList* folder, qirMsgListItem* message, MsgViewDock* dock, Window* leader, Action* close)
    : folder_(folder), message_(message), dock_(dock), close_(close)
{
    Resource::ref(close_);
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    position_ = FindPosition();
    Open(message_);
    message_->SetRead(1);
    message_->Refresh();

    attachBox_ = lk->vscrollbox();
    Glyph* menubar = qir_build_msgview_menubar(this, kit, lk);
    picture_ = new Patch(nullptr);
    folderValue_ = new Patch(nullptr);
    sizeValue_ = new Patch(nullptr);
    statusValue_ = new Patch(nullptr);
    positionValue_ = new Patch(nullptr);
    countValue_ = new Patch(nullptr);
    deletedMark_ = lk->deck(2);
    deletedMark_->append(kit->label(qirUiText(208)));
    deletedMark_->append(kit->label(qirUiText(209)));
    deletedPatch_ = new Patch(deletedMark_);
    RefreshAll();

    layout_ = new Patch(BuildBody(menubar));
    window_ = new TopLevelWindow(layout_);
    // The rows' dialogs are posted over the window now that it exists.
    for (AttachItem* i = attachments_ ? attachments_->First() : nullptr; i; i = AttachList::Next(i))
        i->SetWindow(window_);
    if (leader) window_->group_leader(leader);
    Style* appStyle = qirApp && qirApp->AppStyle() ? qirApp->AppStyle() : Session::instance()->style();
    qir_set_window_style(window_, "Message View", appStyle);
    window_->wm_delete(new qirCloseHandler(this));
    built_ = 1;
    qir_place_window(window_, dynamic_cast<Menu*>(menubar));
    window_->map();
}

MsgView::~MsgView()
{
    Unmap();
    // The window's glyphs go first: the attachment rows point at the items.
    delete window_;
    window_ = nullptr;
    Resource::unref(header_);
    Resource::unref(body_);
    delete attachments_;
    Resource::unref(close_);
}

void MsgView::Unmap()
{
    if (!window_) return;
    // Damage still listed for the window would be repaired after it is
    // gone: repair it now, while the window exists.
    if (window_->display()) window_->display()->repair();
    if (window_->is_mapped()) window_->unmap();
}

void MsgView::Detach()
{
    message_ = nullptr;
    folder_ = nullptr;
    dock_ = nullptr;
}

Window* MsgView::Over() const { return window_; }

// ---------------------------------------------------------------- layout

Glyph* MsgView::Box(int label, Patch* value, int framed, const char* widest)
{
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    // The bar is laid out once, for the first message, and a new value is
    // laid out in the room its patch had: a value that may grow gets the
    // room of its widest text (SetValue aligns it on the right).
    Glyph* shown = value;
    if (widest) shown = lk->hfixed(value, kit->font()->width(widest, (int)strlen(widest)));
    // The value keeps to its label unless the box is given more room.
    Glyph* box = lk->hbox(kit->label(qirUiText(label)), lk->hglue(5, 50, 0), shown);
    return framed ? kit->inset_frame(lk->margin(box, 3)) : lk->margin(box, 3);
}

Glyph* MsgView::BuildBody(Glyph* menubar)
{
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    auto spaced = [&](Glyph* g) { return lk->hbox(lk->hspace(10), g, lk->hspace(10)); };

    // The widest texts of the values that change from message to message:
    // ten digits of size, nine characters of position, the longest status.
    std::string widestStatus;
    for (int removed = 0; removed < 2; removed++)
        for (int read = 0; read < 2; read++) {
            std::string s = qirMsgViewText::StatusValue(read, removed);
            const Font* f = kit->font();
            if (f->width(s.c_str(), (int)s.size()) > f->width(widestStatus.c_str(), (int)widestStatus.size()))
                widestStatus = s;
        }
    PolyGlyph* infoRow = lk->hbox();
    infoRow->append(lk->hspace(10));
    infoRow->append(lk->vcenter(
        lk->vbox(Box(200, folderValue_, 1), lk->hbox(Box(203, positionValue_, 0, "000000000"), lk->hglue()))));
    infoRow->append(lk->hspace(5));
    infoRow->append(lk->vcenter(Box(201, sizeValue_, 0, "0000000000")));
    infoRow->append(lk->hspace(5));
    infoRow->append(lk->vcenter(Box(202, statusValue_, 1, widestStatus.c_str())));
    infoRow->append(lk->hspace(10));
    infoRow->append(lk->vcenter(kit->inset_frame(picture_)));
    infoRow->append(lk->hspace(10));
    Glyph* info = kit->outset_frame(lk->vnatural(infoRow, 60));
    Glyph* header = spaced(kit->outset_frame(lk->vfixed(lk->flexible(lk->natural(header_, 648, 432)), 75)));
    Glyph* text = spaced(kit->outset_frame(lk->vnatural(lk->flexible(lk->natural(body_, 648, 432)), 150)));
    Glyph* count = kit->outset_frame(
        lk->vnatural(lk->hbox(lk->hspace(10), lk->vcenter(Box(204, countValue_, 0)), lk->hglue()), 40));
    Glyph* rows = spaced(kit->inset_frame(lk->vfixed(lk->hbox(attachBox_, kit->vscroll_bar(attachBox_)), 60)));

    auto button = [&](int label, void (MsgView::*member)()) {
        return kit->push_button(kit->label(qirUiText(label)), new qirMemberAction<MsgView>(this, member));
    };
    PolyGlyph* bar = lk->hbox();
    Glyph* buttons[] = {button(211, &MsgView::Previous), button(210, &MsgView::Next),
                        kit->push_button(deletedPatch_, new qirMemberAction<MsgView>(this, &MsgView::DeleteAndNext)),
                        button(212, &MsgView::Compose), button(213, &MsgView::ReplyDefault),
                        kit->push_button(qirUiText(214), close_)};
    bar->append(lk->hspace(20));
    for (Glyph* b : buttons) {
        bar->append(lk->hglue());
        bar->append(lk->vcenter(b));
    }
    bar->append(lk->hglue());
    bar->append(lk->hspace(20));
    Glyph* tools = kit->inset_frame(lk->vnatural(bar, 40));

    PolyGlyph* body = lk->vbox();
    Glyph* parts[] = {info, header, text, count, rows};
    for (Glyph* g : parts) {
        body->append(g);
        body->append(lk->vspace(10));
    }
    body->append(tools);
    return lk->vbox(kit->outset_frame(menubar), kit->outset_frame(body));
}

void MsgView::SetValue(Patch* patch, const char* text, int redraw)
{
    Glyph* label = qirTextLabel(WidgetKit::instance(), text);
    // A value in a room of its own (Box with its widest text) keeps to the
    // room's right end.
    int roomed = patch == sizeValue_ || patch == statusValue_ || patch == positionValue_;
    patch->body(roomed ? LayoutKit::instance()->hbox(LayoutKit::instance()->hglue(), label) : label);
    if (redraw && built_) {
        patch->reallocate();
        patch->redraw();
    }
}

// ---------------------------------------------------------------- panels

void MsgView::RefreshAll()
{
    if (!message_) return;
    ShowPicture();
    ShowFolder();
    ShowPosition();
    ShowSize();
    ShowStatus();
    ShowHeader();
    ShowBody();
    ShowAttachments();
    ShowDeletedMark();
    if (built_) {
        layout_->reallocate();
        layout_->redraw();
    }
}

void MsgView::ShowPicture()
{
    const unsigned char* bits = message_->XFaceBits();
    Glyph* face = qirMainWindow::FacePicture(bits);
    faceShown_ = bits != nullptr;
    picture_->body(face);
    if (built_) {
        picture_->reallocate();
        picture_->redraw();
    }
}

void MsgView::ShowFolder()
{
    SetValue(folderValue_, qirMsgViewText::FolderValue(folder_ ? folder_->Name() : qirString("")).c_str(), 1);
}

int MsgView::FindPosition() const
{
    if (!folder_ || !message_ || !message_->RowItem()) return 0;
    int at = folder_->MessageRows()->Items().IndexOf(static_cast<qirObject*>(message_->RowItem()));
    return at < 0 ? 0 : at;
}

void MsgView::ShowPosition()
{
    position_ = FindPosition();
    positionText_ = qirMsgViewText::PositionValue(position_, folder_ ? folder_->qirFolder::Count() : 0).c_str();
    SetValue(positionValue_, positionText_.Data(), 1);
}

void MsgView::ShowSize()
{
    SetValue(sizeValue_, qirMsgViewText::SizeValue(message_->Size()).c_str(), 1);
}

void MsgView::ShowStatus()
{
    if (!message_) return;
    statusText_ = qirMsgViewText::StatusValue(message_->IsRead(), message_->IsRemoved()).c_str();
    SetValue(statusValue_, statusText_.Data(), 1);
}

void MsgView::ShowDeletedMark()
{
    if (!message_) return;
    deletedCard_ = message_->IsRemoved() ? 1 : 0;
    deletedMark_->flip_to(deletedCard_);
    if (built_) deletedPatch_->redraw();
}

void MsgView::ShowHeader()
{
    if (!header_) {
        header_ = new qirRTFPanel(&qirConfig, "HeaderFonts", 0, nullptr);
        Resource::ref(header_);
    } else {
        header_->clear();
    }
    // The whole text at once: one layout, however many lines.
    headerSource_ = qirMsgViewText::HeaderText(message_);
    if (!headerSource_.empty()) header_->append_text(headerSource_.c_str(), 1);
}

void MsgView::ShowBody()
{
    if (!body_) {
        body_ = new qirRTFPanel(&qirConfig, nullptr, 0, textMenu_);
        Resource::ref(body_);
    }
    qirMsgComponent* shown = qirMsgViewText::ShownPart(message_->Body());
    int loaded = 0;
    if (shown && shown->IsText()) {
        loaded = body_->load(Str(shown->Path()), shown->ContentType().IsEnriched() ? 1 : 0) == 0;
        if (!loaded && qirLog) qirLog->Report(qirLogError, "Error reading the message text <%s>", Str(shown->Path()));
    }
    if (!loaded) body_->clear();
    listingSource_ = qirMsgViewText::PartListing(message_->Body());
    if (!listingSource_.empty()) body_->append_text(listingSource_.c_str(), 1);
}

void MsgView::ShowAttachments()
{
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    // The rows go before the items they point at.
    while (attachBox_->count() > 0) attachBox_->remove(attachBox_->count() - 1);
    delete attachments_;
    attachments_ = new AttachList;
    int n = 0;
    for (qirMsgComponent* part : qirMsgViewText::ListedParts(message_->Body())) {
        AttachItem* item = new AttachItem(*part, window_);
        attachments_->Append(item);
        char number[16];
        snprintf(number, sizeof number, "%2d.", ++n);
        Glyph* icon = nullptr;
        if (Raster* r = item->TypeIcon()) {
            Transformer t;
            if (r->width() > 0 && r->height() > 0) t.scale(16 / r->width(), 16 / r->height());
            icon = new TransformSetter(new Image(r), t);
        } else {
            icon = lk->fixed(nullptr, 16, 16);
        }
        Glyph* row = lk->hbox(kit->label(number), lk->hspace(5), lk->vcenter(icon), lk->hspace(5),
                              qirTextLabel(kit, Str(item->Label())), lk->hglue());
        AttachIcon* handler = new AttachIcon(kit->inset_frame(lk->hnatural(row, 370)), item);
        item->SetIconHandler(handler);
        attachBox_->append(handler);
    }
    if (n == 0) attachBox_->append(lk->hfixed(kit->label(""), 370));
    ShowAttachmentCount();
}

void MsgView::ShowAttachmentCount()
{
    char text[32];
    snprintf(text, sizeof text, "%ld", (long)attachments_->Count());
    SetValue(countValue_, text, 1);
}

// ---------------------------------------------------------------- stepping

void MsgView::Open(qirMsgListItem* message)
{
    // A row may hold only what its summary needs: the rest is read through
    // the message's own load before it is shown.  Unsaved flags stay.
    if (!message->Body() && !message->IsModified()) message->Load();
}

void MsgView::Next() { Step(1); }

void MsgView::Previous() { Step(0); }

qirMsgListItem* MsgView::Following(int forward, int* steps) const
{
    *steps = 0;
    if (!message_ || !folder_) return nullptr;
    qirMsgListItem* next = message_;
    do {
        qirMsg* m = forward ? folder_->qirFolder::Next(next) : folder_->qirFolder::Prev(next);
        next = static_cast<qirMsgListItem*>(m);
        ++*steps;
    } while (next && next->ViewDock() && next->ViewDock()->is_open());
    return next;
}

void MsgView::Step(int forward)
{
    int steps;
    qirMsgListItem* next = Following(forward, &steps);
    if (!next) return;
    position_ += forward ? steps : -steps;
    // The controller goes with the view to the new message; a closed one
    // the new message had is replaced.
    message_->TakeViewDock();
    ShowMessage(next);
}

void MsgView::ShowMessage(qirMsgListItem* next)
{
    next->SetViewDock(dock_);
    dock_->SetMessage(next);
    message_ = next;
    Open(message_);
    message_->SetRead(1);
    message_->Refresh();
    RefreshAll();
}
