#include "qirAbout.h"

#include "qirError.h"
#include "qirImagePath.h"
#include "qirUtilities.h"

#include "qirAfterEvent.h"
#include "qirCloseHandler.h"
#include "qirTiffImage.h"
#include "qirTopWindow.h"
#include "qirUiText.h"

#include <cstdio>

#include <IV-look/kit.h>
#include <InterViews/action.h>
#include <InterViews/image.h>
#include <InterViews/layout.h>
#include <InterViews/raster.h>
#include <InterViews/session.h>
#include <InterViews/style.h>
#include <InterViews/window.h>

namespace {

const int buildNumber = 488;

class CloseAbout : public Action {
public:
    explicit CloseAbout(qirAbout* dock) : dock_(dock) {}
    void execute() override { dock_->close(); }

private:
    qirAbout* dock_;
};

}  // namespace

qirAbout::qirAbout(Window* parent) : picture(qirImagePath("about.tif")), parent_(parent) {}

qirAbout::~qirAbout() { close(); }

void qirAbout::open() {
    if (!window_)
        window_ = new qirAboutWindow(this, parent_, picture);
}

// The close button runs inside the window it closes: the window is taken
// away now and deleted once the button's event has been handled.
void qirAbout::close() { qirAfterEvent::Close(window_); }

qirAboutWindow::qirAboutWindow(qirAbout* dock, Window* parent, const qirString& picture) {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    picture_ = qirTiffImage::Load(picture.Data());
    Resource::ref(picture_);
    if (!picture_ && qirLog)
        // Not critical: a missing picture must never end the session and
        // lose what is unsaved.
        qirLog->Report(qirLogWarning, "Open tiff image %s failed\n", picture.Data() ? picture.Data() : "");

    PolyGlyph* column = lk->vbox();
    column->append(lk->vspace(5));
    if (picture_)
        column->append(lk->hbox(lk->hglue(), new Image(picture_), lk->hglue()));
    column->append(lk->vspace(5));
    qirString version = qirString(qirUiText(1)).Concat(qirVersionNumber());
    column->append(lk->hbox(lk->hglue(), kit->label(version.Data()), lk->hglue()));
    char build[32];
    snprintf(build, sizeof build, "Build # %d", buildNumber);
    column->append(lk->hbox(lk->hglue(), kit->label(build), lk->hglue()));

    close_ = new CloseAbout(dock);
    Glyph* body = kit->inset_frame(lk->vbox(
        lk->margin(kit->outset_frame(lk->margin(column, 10)), 10),
        lk->hbox(lk->hglue(), kit->push_button(qirUiText(110), close_), lk->hglue()),
        lk->vspace(10)));

    window_ = new TopLevelWindow(body);
    if (parent)
        window_->group_leader(parent);
    Style* appStyle = Session::instance() ? Session::instance()->style() : nullptr;
    qir_set_window_style(window_, "About", appStyle);
    window_->wm_delete(new qirCloseHandler(this));
    qir_place_window(window_, nullptr);
    window_->map();
}

void qirAboutWindow::Unmap() {
    if (window_->is_mapped())
        window_->unmap();
}

qirAboutWindow::~qirAboutWindow() {
    Unmap();
    delete window_;
    Resource::unref(picture_);
}
