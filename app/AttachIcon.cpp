// Mail headers before InterViews: its macros rename common words.
#include "qirMainWindow.h"
#include "AttachItem.h"

#include "AttachIcon.h"

#include <InterViews/event.h>
#include <InterViews/session.h>

namespace {

Style* AppStyle()
{
    if (qirApp && qirApp->AppStyle()) return qirApp->AppStyle();
    return Session::instance() ? Session::instance()->style() : nullptr;
}

} // namespace

AttachIcon::AttachIcon(Glyph* row, AttachItem* item) : InputHandler(row, AppStyle()), item_(item) {}

AttachIcon::~AttachIcon() {}

void AttachIcon::move(const Event&) {}

void AttachIcon::release(const Event& e)
{
    if (e.pointer_button() == Event::right && item_) item_->Save();
}

void AttachIcon::double_click(const Event&)
{
    if (item_) item_->View();
}
