#include "qirMainWindow.h"

#include "qirFolderDialog.h"
#include "qirImagePath.h"
#include "qirMemberAction.h"
#include "qirQuestionDialog.h"
#include "qirTiffImage.h"
#include "qirUiText.h"

#include <IV-look/kit.h>
#include <InterViews/event.h>
#include <InterViews/image.h>
#include <InterViews/layout.h>
#include <InterViews/patch.h>
#include <InterViews/raster.h>
#include <InterViews/tformsetter.h>
#include <InterViews/window.h>
#include <OS/string.h>

namespace {

const char blanks[] = "                              "; // 30: sizes the fields

// Return in the name field accepts the dialog, Escape cancels it.
class NameAction : public FieldEditorAction {
public:
    explicit NameAction(qirFolderDialog* d) : dialog_(d) {}
    void accept(FieldEditor*) override { dialog_->Ok(0); }
    void cancel(FieldEditor*) override { dialog_->Cancel(0); }

private:
    qirFolderDialog* dialog_;
};

// The field's text without the blanks around it: the fields start as 30
// blanks, and a click into them puts the insertion point among them.
qirString FieldText(FieldEditor* field) {
    const String* s = field->text();
    const char* text = s ? s->string() : "";
    int n = s ? s->length() : 0;
    while (n > 0 && (*text == ' ' || *text == '\t')) {
        ++text;
        --n;
    }
    qirString trimmed(text, n);
    trimmed.TrimRight();
    return trimmed;
}

int Exists(const qirString& path) { return !path.IsEmpty() && qirPath(path).Exists() == 0; }

}  // namespace

qirFolderIconField::qirFolderIconField(const char* sample, WidgetKit* kit, Style* style, qirFolderDialog* dialog)
    : qirFieldEditor(sample, kit, style), dialog_(dialog) {}

void qirFolderIconField::keystroke(const Event& e) {
    char c[2];
    if (e.mapkey(c, sizeof c) == 1 && (c[0] == '\r' || c[0] == '\n'))
        dialog_->UpdatePreview();
    qirFieldEditor::keystroke(e);
}

qirFolderDialog::qirFolderDialog(qirString* name, qirPath* icon, int incoming, int newFolder)
    : qirDialog(LayoutKit::instance()->vbox(), qirApp ? qirApp->AppStyle() : nullptr,
                newFolder ? "New folder" : "Rename Folder"),
      name_(name), icon_(icon), incoming_(incoming) {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    if (!Exists(*icon_))
        *icon_ = DefaultIcon();

    nameField_ = new qirFieldEditor(blanks, kit, style(), new NameAction(this));
    iconField_ = new qirFolderIconField(blanks, kit, style(), this);
    if (!icon_->IsEmpty())
        iconField_->field(icon_->Data());
    if (!name_->IsEmpty())
        nameField_->field(name_->Data());

    preview_ = new Patch(nullptr);
    UpdatePreview();

    Glyph* heading = kit->label(qirUiText(newFolder ? 600 : 443));
    Glyph* form = lk->vbox(
        lk->vspace(15), lk->hbox(lk->hglue(), heading, lk->hglue()), lk->vspace(15),
        lk->hbox(lk->hspace(20), lk->vcenter(kit->label(qirUiText(601))), lk->hspace(5),
                 lk->vcenter(nameField_), lk->hglue(), lk->hspace(20)),
        lk->vspace(15),
        lk->hbox(lk->hspace(20), lk->vcenter(kit->label(qirUiText(602))), lk->hspace(5),
                 lk->vcenter(iconField_), lk->hglue(), lk->hspace(20), lk->vcenter(preview_),
                 lk->hspace(20)),
        lk->vspace(15),
        lk->hbox(lk->hspace(20),
                 kit->push_button(qirUiText(112), new qirMemberAction<qirFolderDialog>(this, &qirFolderDialog::Browse)),
                 lk->hglue(), lk->hspace(20)),
        lk->vspace(15));
    Glyph* buttons = lk->hbox(
        lk->hglue(), kit->default_button(qirUiText(110), new qirMemberAction<qirFolderDialog>(this, &qirFolderDialog::Ok)),
        lk->hglue(), kit->push_button(qirUiText(111), new qirMemberAction<qirFolderDialog>(this, &qirFolderDialog::Cancel)),
        lk->hglue());
    PolyGlyph* box = static_cast<PolyGlyph*>(body());
    box->append(kit->outset_frame(form));
    box->append(kit->outset_frame(lk->vbox(lk->vspace(8), buttons, lk->vspace(8))));

    append_input_handler(nameField_);
    append_input_handler(iconField_);
    focus(nameField_);
}

qirFolderDialog::~qirFolderDialog() {}

qirString qirFolderDialog::DefaultIcon() const {
    return qirImagePath(incoming_ ? "incoming.tif" : "folder.tif");
}

void qirFolderDialog::UpdatePreview() {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    qirString path = FieldText(iconField_);
    if (!Exists(path))
        path = DefaultIcon();
    Raster* raster = qirTiffImage::Load(path.Data());
    previewShown_ = raster != nullptr;
    if (raster) {
        transformer_ = Transformer();
        transformer_.scale(48 / raster->width(), 32 / raster->height());
        preview_->body(kit->outset_frame(new TransformSetter(new Image(raster), transformer_)));
    } else {
        preview_->body(kit->outset_frame(lk->fixed(lk->hbox(), 48, 32)));
    }
    preview_->reallocate();
    preview_->redraw();
}

void qirFolderDialog::Ok(int) {
    *name_ = FieldText(nameField_);
    *icon_ = FieldText(iconField_);
    if (Exists(*icon_)) {
        dismiss(true);
        return;
    }
    qirString line = qirString(qirUiText(610)).Concat(*icon_).Concat(qirUiText(611));
    qirQuestionDialog* question = new qirQuestionDialog(WidgetKit::instance(), LayoutKit::instance(),
                                                        qirApp ? qirApp->AppStyle() : nullptr, "Warning", &line);
    Resource::ref(question);
    bool yes = question->post_for(window());
    Resource::unref(question);
    if (yes)
        dismiss(true);
}

void qirFolderDialog::Cancel(int) { dismiss(false); }

void qirFolderDialog::Browse(int) {
    if (!qirApp)
        return;
    qirString path;
    qirApp->OpenFileDialog(&path, window());
    if (path.IsEmpty())
        return;
    iconField_->field(path.Data());
    UpdatePreview();
}
