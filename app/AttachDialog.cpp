// Mail headers before InterViews: its macros rename common words.
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirMsgComponent.h"
#include "qirMainWindow.h"

#include "AttachDialog.h"

#include "qirFieldEditor.h"
#include "qirListBox.h"
#include "qirMarkedItem.h"
#include "qirMemberAction.h"
#include "qirUiText.h"

#include <sys/stat.h>
#include <unistd.h>

#include <IV-look/button.h>
#include <IV-look/kit.h>
#include <InterViews/display.h>
#include <InterViews/layout.h>
#include <InterViews/session.h>
#include <InterViews/telltale.h>
#include <InterViews/window.h>
#include <OS/string.h>

namespace {

const char blanks[] = "                              "; // 30: sizes the field

Style* AppStyle()
{
    if (qirApp && qirApp->AppStyle()) return qirApp->AppStyle();
    return Session::instance() ? Session::instance()->style() : nullptr;
}

qirString FieldText(FieldEditor* field)
{
    const String* s = field->text();
    qirString text = s ? qirString(s->string(), s->length()) : qirString("");
    text.TrimRight();
    return text;
}

// Return in the file field accepts, Escape cancels.
class FileAction : public FieldEditorAction {
public:
    explicit FileAction(AttachDialog* d) : dialog_(d) {}
    void accept(FieldEditor*) override { dialog_->Ok(0); }
    void cancel(FieldEditor*) override { dialog_->Cancel(0); }

private:
    AttachDialog* dialog_;
};

} // namespace

AttachDialog::AttachDialog() : qirDialog(LayoutKit::instance()->vbox(), AppStyle(), "Attachments")
{
    contentType_.encoding = 0;
    contentType_.encodingName = "base64";
    Build(blanks);
}

AttachDialog::AttachDialog(const qirMsgComponent& part, const char* directory)
    : qirDialog(LayoutKit::instance()->vbox(), AppStyle(), "Attachments"), contentType_(part.ContentType())
{
    // The file the part is stored in: the message's own safe name.
    qirString file = directory && *directory
                         ? qirString(directory).Concat("/").Concat(part.Path().Basename())
                         : qirString(part.Path());
    Build(file.IsEmpty() ? blanks : file.Data());
}

AttachDialog::~AttachDialog()
{
    Resource::unref(types_);
    Resource::unref(group_);
}

void AttachDialog::Build(const char* fileText)
{
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();

    field_ = new qirFieldEditor(blanks, kit, style(), new FileAction(this));
    field_->field(fileText);

    types_ = new qirListBox(0, nullptr);
    Resource::ref(types_);
    std::string current = std::string(contentType_.type.Data() ? contentType_.type.Data() : "") + "/" +
                          (contentType_.subtype.Data() ? contentType_.subtype.Data() : "");
    qirStringList* offered = qirConfig.Values("Attachments");
    if (!offered) {
        if (qirLog) qirLog->Report(qirLogError, "No Attachments statement in config!");
    } else {
        for (qirString* v = offered->First(); v; v = qirStringList::Next(v))
            if (!v->IsEmpty()) types_->append(new qirMarkedItem(*v, types_, style(), kit, lk));
    }
    qirListItem* chosen = types_->Item(0);
    for (int i = 0; i < types_->Count(); i++)
        if (static_cast<qirMarkedItem*>(types_->Item(i))->Label() == current.c_str()) {
            chosen = types_->Item(i);
            break;
        }
    if (chosen) chosen->toggle();

    group_ = new TelltaleGroup;
    Resource::ref(group_);
    int first = -1;
    PolyGlyph* rows = lk->vbox();
    PolyGlyph* row = nullptr;
    for (int i = 0; i < EncodingCount && i < qirEncodingTableSize; i++) {
        const char* name = qirEncodingTable[i].name;
        encodings_[i] = kit->radio_button(group_, lk->hfixed(kit->label(name), 150), nullptr);
        if (first < 0 && contentType_.encodingName == name) first = i;
        // Two to a line, in table order.
        if (i % 2 == 0) {
            row = lk->hbox();
            rows->append(row);
        }
        row->append(encodings_[i]);
    }
    encodings_[first < 0 ? 0 : first]->state()->set(TelltaleState::is_chosen, true);

    Coord listHeight = Session::instance()->default_display()->height() / 5;
    Glyph* list = kit->inset_frame(lk->vnatural(lk->hbox(types_, kit->vscroll_bar(types_)), listHeight));
    auto left = [&](Glyph* g) { return lk->hbox(g, lk->hglue()); };
    PolyGlyph* form = lk->vbox();
    form->append(lk->vspace(10));
    form->append(left(kit->label(qirUiText(660))));
    form->append(lk->vspace(10));
    form->append(lk->hbox(
        lk->vcenter(kit->label(qirUiText(661))), lk->hspace(5), lk->vcenter(field_), lk->hspace(5),
        lk->vcenter(kit->push_button(qirUiText(112), new qirMemberAction<AttachDialog>(this, &AttachDialog::Browse)))));
    form->append(lk->vspace(10));
    form->append(left(kit->label(qirUiText(662))));
    form->append(lk->vspace(5));
    form->append(list);
    form->append(lk->vspace(10));
    form->append(left(kit->label(qirUiText(663))));
    form->append(lk->vspace(5));
    form->append(kit->inset_frame(lk->margin(rows, 5)));
    form->append(lk->vspace(10));
    Glyph* buttons = lk->hbox(
        lk->hglue(), kit->default_button(qirUiText(110), new qirMemberAction<AttachDialog>(this, &AttachDialog::Ok)),
        lk->hspace(10), kit->push_button(qirUiText(111), new qirMemberAction<AttachDialog>(this, &AttachDialog::Cancel)),
        lk->hspace(10));
    PolyGlyph* box = static_cast<PolyGlyph*>(body());
    box->append(kit->outset_frame(lk->hbox(lk->hspace(10), form, lk->hspace(10))));
    box->append(kit->outset_frame(lk->vbox(lk->vspace(8), buttons, lk->vspace(8))));
    append_input_handler(field_);
    focus(field_);
}

void AttachDialog::Ok(int)
{
    qirString file = FieldText(field_);
    struct stat st;
    if (file.IsEmpty() || access(file.Data(), R_OK) != 0 || stat(file.Data(), &st) != 0 || !S_ISREG(st.st_mode)) {
        if (qirLog) qirLog->Report(qirLogError, "File %s does not exists!\n", file.Data() ? file.Data() : "");
        return;
    }
    file_ = file;
    for (int i = 0; i < EncodingCount && i < qirEncodingTableSize; i++) {
        if (!encodings_[i]->state()->test(TelltaleState::is_chosen)) continue;
        contentType_.encoding = qirEncodingTable[i].code;
        contentType_.encodingName = qirEncodingTable[i].name;
        break;
    }
    if (qirListItem* row = types_->FirstSelected()) {
        qirString text = static_cast<qirMarkedItem*>(row)->Label();
        int slash = text.IndexOf('/');
        if (slash < 0) {
            contentType_.type = text;
            contentType_.subtype = "";
        } else {
            contentType_.type = text.Left(slash);
            contentType_.subtype = text.From(slash + 1);
        }
    }
    int lastSlash = file.LastIndexOf('/');
    contentType_.partName = lastSlash < 0 ? file : file.From(lastSlash + 1);
    dismiss(true);
}

void AttachDialog::Cancel(int) { dismiss(false); }

void AttachDialog::Browse(int)
{
    if (!qirApp) return;
    qirString path;
    qirApp->OpenFileDialog(&path, window());
    if (!path.IsEmpty()) field_->field(path.Data());
}
