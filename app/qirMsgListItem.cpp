#include "qirMsgListItem.h"

#include "qirConfiguration.h"
#include "qirShortHeader.h"

#include "qirIconImage.h"
#include "qirMsgRow.h"

#include <IV-look/kit.h>
#include <InterViews/action.h>
#include <InterViews/deck.h>
#include <InterViews/font.h>
#include <InterViews/layout.h>
#include <InterViews/session.h>
#include <InterViews/style.h>

namespace {

class StatusAction : public Action {
public:
    explicit StatusAction(qirMsgListItem* m) : message_(m) {}
    void execute() override { message_->StatusPressed(); }

private:
    qirMsgListItem* message_;
};

// The three status faces: the image when it reads, else its letter.  An
// image is centred on the row's text line as a letter would be, so that
// the button does not stand on the baseline and make the row taller.
Glyph* StatusFace(const char* file, const char* letter)
{
    WidgetKit* kit = WidgetKit::instance();
    qirString path = qirInstalledImage(qirString("/usr/local/lib/QIR/Images/").Concat(file));
    if (Glyph* g = qirScaledImage(path.Data(), 16, 16)) {
        FontBoundingBox box;
        kit->font()->font_bbox(box);
        float below = 8 - (box.ascent() - box.descent()) / 2;
        return LayoutKit::instance()->vcenter(g, below > 0 ? below / 16 : 0);
    }
    return kit->label(letter);
}

} // namespace

qirMsgListItem::qirMsgListItem(const qirPath& path, qirMsgList* owner) : qirMsg(path), owner_(owner)
{
    // One summary layout per folder load would be nicer; the node is small.
    qirShortHeader format(qirConfig.Find("Short-Header-Format"));
    text_ = format.RowText(this);
    if (!owner_) return;
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    Deck* status = lk->deck(3);
    status->append(StatusFace("no_read.tif", "U"));
    status->append(StatusFace("read.tif", "R"));
    status->append(StatusFace("delete.tif", "D"));
    status->flip_to(StatusCard());
    kit->begin_style("QIRSmallButtonStyle");
    kit->style()->attribute("*PushButton*minimumWidth", "20.0");
    Button* button = kit->push_button(status, new StatusAction(this));
    kit->end_style();
    // The button leads the row, before the tick, so that the summary stays
    // the row's label.
    row_ = new qirMsgRow(this, text_, owner_->MessageRows());
    row_->SetLead(button);
    row_->SetStatus(status, button);
    Resource::ref(row_);
}

qirMsgListItem::~qirMsgListItem()
{
    if (owner_) owner_->RowGone(this);
    if (row_) {
        row_->Detach();
        Resource::unref(row_);
    }
}

qirListItem* qirMsgListItem::RowItem() const { return row_; }

void qirMsgListItem::Refresh()
{
    if (row_) row_->FlipTo(StatusCard());
    if (owner_) owner_->RowChanged(this);
}

void qirMsgListItem::StatusPressed()
{
    if (IsRemoved()) SetRemoved(0);
    else SetRead(!IsRead());
    Refresh();
}

void qirMsgListItem::RightPressed()
{
    SetRemoved(!IsRemoved());
    Refresh();
}
