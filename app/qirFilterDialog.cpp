#include "qirFilter.h"
#include "qirFolder.h"
#include "qirError.h"
#include "qirFolderList.h"

// Read before InterViews' macros rename the word.
static qirString PatternOf(const qirFilter* f) { return f->Condition().Pattern().Pattern(); }
static int CaseOf(const qirFilter* f) { return f->Condition().Pattern().IsCaseSensitive(); }

#include "qirMainWindow.h"
#include "qirFilterDialog.h"

#include "qirFieldEditor.h"
#include "qirFolderListView.h"
#include "qirListBox.h"
#include "qirMarkedItem.h"
#include "qirMemberAction.h"
#include "qirMsgList.h"
#include "qirUiText.h"

#include <IV-look/button.h>
#include <IV-look/kit.h>
#include <InterViews/layout.h>
#include <InterViews/session.h>
#include <InterViews/window.h>
#include <OS/string.h>

#include <sys/stat.h>

namespace {

const char* blanks = "                              "; // 30: the fields' sample text

const char* Str(const qirString& s) { return s.Data() ? s.Data() : ""; }

// A field's text without the trailing blanks, tabs, CR and LF of its
// padding.
qirString Trimmed(qirFieldEditor* field) {
    const String* s = field->text();
    qirString text = s ? qirString(s->string(), s->length()) : qirString("");
    text.TrimRight();
    return text;
}

void Show(qirFieldEditor* field, const qirString& text) {
    if (!text.IsEmpty())
        field->field(Str(text));
}

int Chosen(Button* box) { return box->state()->test(TelltaleState::is_chosen) ? 1 : 0; }

void Choose(Button* box, int on) { box->state()->set(TelltaleState::is_chosen, on != 0); }

int IsFile(const qirString& path) {
    struct stat st;
    return !path.IsEmpty() && stat(Str(path), &st) == 0 && S_ISREG(st.st_mode);
}

// A titled group: its label centred on top, in an inset frame.
Glyph* Group(WidgetKit* kit, LayoutKit* lk, int title, Glyph* body) {
    return kit->inset_frame(lk->margin(
        lk->vbox(lk->hbox(lk->hglue(), kit->label(qirUiText(title)), lk->hglue()), lk->vspace(7), body), 7));
}

}  // namespace

qirFilterDialog::qirFilterDialog(qirFilter* filter)
    : qirDialog(LayoutKit::instance()->vbox(), qirMainWindow::WindowStyle(), "New filter"), filter_(filter) {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    Style* s = style();
    auto field = [&]() { return new qirFieldEditor(blanks, kit, s); };
    name_ = field();
    other_ = field();
    pattern_ = field();
    reply_ = field();
    forward_ = field();

    // The folders for the copy action, in the order of the folder list.
    folders_ = new qirListBox(0, nullptr);
    Resource::ref(folders_);
    std::vector<qirListItem*> rows;
    if (qirFolderListView* list = qirApp ? qirApp->FolderList() : nullptr) {
        for (qirFolder* f = list->First(); f; f = qirFolderList::Next(f)) {
            const qirDirectory* d = qirFolderDirectory(f);
            folderDirs_.push_back(d ? d->Basename() : qirString(""));
            rows.push_back(new qirMarkedItem(f->Name(), folders_, s, kit, lk));
        }
    }
    folders_->AppendAll(rows.data(), (int)rows.size());

    static const int fieldTexts[5] = {690, 691, 692, 693, 694};
    for (int i = 0; i < 5; i++)
        fieldBoxes_[i] = kit->check_box(qirUiText(fieldTexts[i]), nullptr);
    static const int actionTexts[4] = {681, 682, 683, 684};
    for (int i = 0; i < 4; i++)
        actionBoxes_[i] = kit->check_box(qirUiText(actionTexts[i]), nullptr);
    active_ = kit->check_box(qirUiText(706), nullptr);
    case_ = kit->check_box(qirUiText(688), nullptr);

    Glyph* nameBand = lk->hbox(kit->label(qirUiText(685)), lk->hspace(7), name_, lk->hglue(20), active_);
    PolyGlyph* fieldRow = lk->hbox();
    for (int i = 0; i < 4; i++) {
        if (i)
            fieldRow->append(lk->hspace(20));
        fieldRow->append(fieldBoxes_[i]);
        fieldRow->append(lk->hglue());
    }
    Glyph* fieldsBand = Group(kit, lk, 686,
                              lk->vbox(fieldRow, lk->vspace(15),
                                       lk->hbox(fieldBoxes_[4], lk->hglue(), kit->label(qirUiText(695)),
                                                lk->hspace(7), other_)));
    Glyph* patternBand = Group(kit, lk, 687, lk->hbox(pattern_, lk->hspace(20), case_, lk->hglue()));

    Glyph* browse = kit->push_button(qirUiText(112), new qirMemberAction<qirFilterDialog>(this, &qirFilterDialog::BrowseReply));
    auto box = [&](Glyph* g) { return kit->outset_frame(lk->margin(g, 5)); };
    auto left = [&](Glyph* g) { return lk->hbox(g, lk->hglue()); };
    Glyph* copyBox = box(lk->vbox(left(actionBoxes_[0]), lk->vspace(5),
                                  kit->inset_frame(lk->hbox(lk->vnatural(lk->hnatural(folders_, 220), 110),
                                                            kit->vscroll_bar(folders_)))));
    Glyph* replyBox = box(lk->vbox(left(actionBoxes_[1]), lk->vspace(5), lk->hbox(reply_, lk->hspace(7), browse)));
    Glyph* forwardBox = box(lk->vbox(left(actionBoxes_[2]), lk->vspace(5), forward_));
    Glyph* removeBox = box(left(actionBoxes_[3]));
    Glyph* actionsBand = Group(kit, lk, 689,
                               lk->hbox(copyBox, lk->hspace(7),
                                        lk->vbox(replyBox, lk->vspace(7), forwardBox, lk->vspace(7), removeBox)));

    Glyph* buttons = lk->hbox(
        lk->hglue(), kit->default_button(qirUiText(110), new qirMemberAction<qirFilterDialog>(this, &qirFilterDialog::Ok)),
        lk->hglue(), kit->push_button(qirUiText(111), new qirMemberAction<qirFilterDialog>(this, &qirFilterDialog::Cancel)),
        lk->hglue());

    PolyGlyph* column = lk->vbox();
    column->append(lk->vspace(15));
    for (Glyph* band : {nameBand, fieldsBand, patternBand, actionsBand, buttons}) {
        column->append(band);
        column->append(lk->vspace(15));
    }
    static_cast<PolyGlyph*>(body())->append(kit->inset_frame(lk->hbox(lk->hspace(20), column, lk->hspace(20))));
    for (qirFieldEditor* f : {name_, pattern_, forward_, reply_, other_})
        append_input_handler(f);
    focus(name_);

    // The filter as it is.
    const qirFilterCondition& c = filter_->Condition();
    for (int i = 0; i < 5; i++)
        Choose(fieldBoxes_[i], c.Fields() & (1 << i));
    Show(other_, c.OtherFieldName());
    Choose(case_, CaseOf(filter_));
    Choose(active_, filter_->IsActive());
    Show(name_, filter_->Name());
    Show(pattern_, PatternOf(filter_));
    qirString copy = filter_->CopyPath();
    for (size_t i = 0; !copy.IsEmpty() && i < folderDirs_.size(); i++) {
        if (folderDirs_[i] == copy) {
            folders_->Item((int)i)->toggle();
            folders_->ShowRow((int)i);
            break;
        }
    }
    Show(reply_, filter_->ReplyPath());
    Show(forward_, filter_->ForwardAddress());
    for (int i = 0; i < 4; i++)
        Choose(actionBoxes_[i], filter_->Actions() & (1 << i));
}

qirFilterDialog::~qirFilterDialog() { Resource::unref(folders_); }

void qirFilterDialog::Ok(int) {
    // Reported as errors: the log's box says what is missing.
    auto refuse = [](const char* text) {
        if (qirLog)
            qirLog->Write(qirLogError, text);
    };
    qirString name = Trimmed(name_);
    if (name.IsEmpty())
        return refuse("Filter Name may NOT be empty!");
    int fields = 0;
    for (int i = 0; i < 5; i++)
        fields |= Chosen(fieldBoxes_[i]) << i;
    qirString other = Trimmed(other_);
    if ((fields & 16) && other.IsEmpty())
        return refuse("You should specify Special Field Name!");
    qirString pattern = Trimmed(pattern_);
    if (pattern.IsEmpty())
        return refuse("You should specify Regular Expressin Field!");
    int actions = 0;
    for (int i = 0; i < 4; i++)
        actions |= Chosen(actionBoxes_[i]) << i;
    qirString copy("");
    int row = 0;
    for (qirObject* n = folders_->Items().First(); n; n = qirList::Next(n), row++) {
        if (qirListItem::FromNode(n)->Selected()) {
            copy = folderDirs_[row];
            break;
        }
    }
    if ((actions & 1) && copy.IsEmpty())
        return refuse("You should specify folder to copying!");
    qirPath reply(Trimmed(reply_));
    if ((actions & 2) && !IsFile(reply))
        return refuse("You should specify correct filename for replying!");
    // Held as a path, as the reply file is: a leading "~" is expanded.
    qirPath forward(Trimmed(forward_));
    if ((actions & 4) && forward.IsEmpty())
        return refuse("You should specify addressee to forward!");
    filter_->Change(name, Chosen(active_), qirFilterCondition(fields, qirWildcard(pattern, Chosen(case_)), other),
                    actions, qirPath(copy), reply, forward);
    dismiss(true);
}

void qirFilterDialog::Cancel(int) { dismiss(false); }

void qirFilterDialog::BrowseReply(int) {
    if (!qirApp)
        return;
    qirString file("");
    qirApp->OpenFileDialog(&file, window());
    if (!file.IsEmpty())
        reply_->field(Str(file));
}
