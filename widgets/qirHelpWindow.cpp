#include "qirError.h"
#include "qirHelpWindow.h"

#include "qirCloseHandler.h"
#include "qirHelpManager.h"
#include "qirImagePath.h"
#include "qirRTFView.h"
#include "qirTiffImage.h"
#include "qirUiText.h"

#include <IV-look/kit.h>
#include <InterViews/action.h>
#include <InterViews/image.h>
#include <InterViews/layout.h>
#include <InterViews/raster.h>
#include <InterViews/session.h>
#include <InterViews/window.h>
#include <OS/file.h>
#include <OS/string.h>

namespace {

typedef void (qirHelpManager::*HelpMember)();

// A button of the window, acting on the help manager.
class HelpAction : public Action {
public:
    explicit HelpAction(HelpMember member) : member_(member) {}
    void execute() override { (qirHelp.*member_)(); }

private:
    HelpMember member_;
};

}  // namespace

qirHelpWindow::qirHelpWindow() {
    helpPath_ = qirString(qirHelpReferenceList::ConfiguredHelpPath()).Concat("/");
    view_ = new qirRTFView();
    Resource::ref(view_);
    if (view_->ViewStatus() != 0)
        return;
    view_->References()->SetHost(&qirHelp);
    view_->reformat();

    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();

    qirString logoPath = qirImagePath("QIR.tif");
    logo_ = qirTiffImage::Load(logoPath.Data());
    Resource::ref(logo_);
    if (!logo_ && qirLog)
        qirLog->Report(qirLogWarning, "Open tiff image %s failed", logoPath.Data());
    Glyph* logoRow = logo_ ? lk->hbox(new Image(logo_), lk->hglue(), new Image(logo_))
                           : lk->hbox(lk->hglue());

    index_ = kit->push_button(qirUiText(117), new HelpAction(&qirHelpManager::Index));
    back_ = kit->push_button(qirUiText(1101), new HelpAction(&qirHelpManager::Back));
    forward_ = kit->push_button(qirUiText(1102), new HelpAction(&qirHelpManager::Forward));
    close_ = kit->push_button(qirUiText(111), new HelpAction(&qirHelpManager::Close));
    Glyph* buttons = kit->inset_frame(lk->margin(
        lk->hbox(index_, lk->hspace(4), back_, lk->hspace(4), forward_, lk->hglue(), close_), 4));

    // The page keeps to the top; it takes whatever room the window gives.
    Glyph* page = lk->flexible(lk->natural(lk->vcenter(view_, 1.0), 432, 360), fil, fil);
    Glyph* pageRow = lk->hbox(kit->inset_frame(page), kit->inset_frame(kit->vscroll_bar(view_->adjustable())));

    Glyph* body = kit->outset_frame(lk->vbox(logoRow, buttons, pageRow));
    window_ = new TopLevelWindow(body);
    qir_set_window_style(window_, qirUiText(1100), kit->style());
    window_->wm_delete(new qirCloseHandler(this));
    qir_place_window(window_, nullptr);
    qirHelp.SetButtons(back_, forward_);
}

qirHelpWindow::~qirHelpWindow() {
    Unmap();
    delete window_;
    Resource::unref(view_);
    Resource::unref(logo_);
}

void qirHelpWindow::Map() {
    if (window_ && !window_->is_mapped())
        window_->map();
}

void qirHelpWindow::Raise() {
    if (window_ && window_->is_mapped())
        window_->raise();
}

void qirHelpWindow::Unmap() {
    if (window_ && window_->is_mapped())
        window_->unmap();
}

int qirHelpWindow::Load(const qirHelpReference& reference) {
    if (!view_ || view_->ViewStatus() != 0)
        return 0;
    qirString path = helpPath_.Concat(reference.target);
    InputFile* file = InputFile::open(String(path.Data() ? path.Data() : ""));
    if (!file)
        return 0;
    page_ = reference;
    view_->Restart(file, 1);
    view_->reformat();
    file->close();
    delete file;
    return 1;
}
