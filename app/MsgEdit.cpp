#include "qirAddrBook.h"
#include "qirAddress.h"
#include "qirComposeFields.h"
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirFolder.h"
#include "qirFolderList.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirMsgMultipartComponent.h"
#include "qirStatus.h"
#include "qirUtilities.h"

#include "qirMainWindow.h"

#include "MsgEdit.h"

#include "AttachDialog.h"
#include "AttachIcon.h"
#include "qirAfterEvent.h"
#include "qirChoiceDialog.h"
#include "qirCloseHandler.h"
#include "qirFieldEditor.h"
#include "qirFolderListView.h"
#include "qirListBox.h"
#include "qirMarkedItem.h"
#include "qirMsgViewText.h"
#include "qirMessageBox.h"
#include "qirQuestionDialog.h"
#include "qirRTFPanel.h"
#include "qirTextLabel.h"
#include "qirUiText.h"

#include <IV-look/kit.h>
#include <IV-look/menu.h>
#include <InterViews/action.h>
#include <InterViews/event.h>
#include <InterViews/hit.h>
#include <InterViews/image.h>
#include <InterViews/input.h>
#include <InterViews/layout.h>
#include <InterViews/patch.h>
#include <InterViews/raster.h>
#include <InterViews/session.h>
#include <InterViews/style.h>
#include <InterViews/telltale.h>
#include <InterViews/tformsetter.h>
#include <InterViews/transformer.h>
#include <InterViews/window.h>
#include <OS/string.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// The engine's names, not the toolkit's.
#undef Text
#undef Subject
#undef Message
#undef File

namespace {

const char* Str(const qirString& s) { return s.Text() ? s.Text() : ""; }

typedef void (MsgEdit::*Member)();

class Do : public Action {
public:
    Do(MsgEdit* window, Member member) : window_(window), member_(member) {}
    void execute() override { (window_->*member_)(); }

private:
    MsgEdit* window_;
    Member member_;
};

// Every key goes to the focus (a field or the text), wherever the pointer
// is: the pick under the pointer would hand it to whatever lies there.
class ComposeFocus : public InputHandler {
public:
    ComposeFocus(Glyph* body, Style* style) : InputHandler(body, style) {}
    void pick(Canvas* c, const Allocation& a, int depth, Hit& h) override {
        const Event* e = h.event();
        if (e && e->type() == Event::key) {
            h.target(depth, this, 0, handler());
            return;
        }
        InputHandler::pick(c, a, depth, h);
    }
};

qirString FieldText(const qirFieldEditor* field) { return qirString(field ? field->Value().c_str() : ""); }

// The panel shows body: made (and referenced) the first time, later given
// the new body and drawn again.
void Show(Patch** panel, Glyph* body) {
    if (!*panel) {
        *panel = new Patch(body);
        Resource::ref(*panel);
        return;
    }
    (*panel)->body(body);
    (*panel)->reallocate();
    (*panel)->redraw();
}

int IsDirectory(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int IsFile(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && !S_ISDIR(st.st_mode);
}

void Drop(qirList* list) {
    list->Remove(nullptr);
    delete list;
}

}  // namespace

// ---------------------------------------------------------------- construction

qirContentType MsgEdit::BodyType() {
    qirContentType ct;
    ct.type = qirConfig.Get("Body.Type");
    ct.subtype = qirConfig.Get("Body.Subtype");
    ct.charset = qirConfig.Get("Body.Charset");
    ct.boundary = "";
    ct.partName = "";
    // A configuration without the keys still gives a sound text part.
    if (ct.type.IsEmpty())
        ct.type = "text";
    if (ct.subtype.IsEmpty())
        ct.subtype = "plain";
    qirString encoding = qirConfig.Get("Body.Encoding");
    if (!encoding.IsEmpty())
        ct.SetEncoding(Str(encoding));
    ct.BuildHeader();
    return ct;
}

qirMsgComponent* MsgEdit::MakeBodyPart(const qirPath& path) { return new qirMsgComponent(path, BodyType()); }

MsgEdit::MsgEdit(qirMsg* message, Window* leader, Action* close) : close_(close), message_(message) {
    Resource::ref(close_);
    // Flipped once below: enriched exactly when the configuration says so.
    enriched_ = qirConfig.Get("Body.Subtype").EqualsIgnoreCase("enriched") ? 0 : 1;
    if (qirApp)
        qirApp->AttachComposer(this);
    message_->SetRead(1);
    message_->LoadOwnXFace(nullptr);

    // The text part: made when there is no body, put in front when the body
    // is not a single text part (everything else becomes an attachment).
    qirMsgComponent* body = message_->Body();
    if (!body) {
        message_->SetBody(MakeBodyPart(qirPath(message_->Path().Concat("/MsgBody.txt"))));
    } else if (body->IsMultipart() || !body->IsText()) {
        if (!body->IsMultipart() && message_->MakeMultipart() != qirOK)
            qirLog->Report(qirLogError, "Can't make room for the text in <%s>", Str(message_->Path()));
        body = message_->Body();
        if (body && body->IsMultipart()) {
            std::string name = std::string(Str(body->Path())) + "/TextXXXXXX.txt";
            int fd = mkstemps(&name[0], 4);
            if (fd >= 0) {
                ::close(fd);
                static_cast<qirMsgMultipartComponent*>(body)->InsertBefore(MakeBodyPart(qirPath(name.c_str())),
                                                                            nullptr);
                message_->SetModified();
            } else if (qirLog) {
                qirLog->Report(qirLogError, "Can't make the text file of <%s>", Str(message_->Path()));
            }
        }
    }
    if (message_->Save() != qirOK && qirLog)
        qirLog->Report(qirLogError, "Error saving the draft <%s>", Str(message_->Path()));

    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    rows_ = new qirListBox(0, lk->h_fixed_span(kit->label(""), 500));
    menubar_ = qir_build_compose_menubar(this, &editorMenu_, &enrichedEntry_);
    Refresh();
    Glyph* layout = BuildBody(menubar_);
    ToggleEnriched();

    focus_ = new ComposeFocus(layout, kit->style());
    for (qirFieldEditor* f : {to_, cc_, bcc_, subject_})
        focus_->append_input_handler(f);
    if (panel_) {
        focus_->append_input_handler(panel_->input_handler());
        focus_->focus(panel_->input_handler());
    } else {
        focus_->focus(to_);
    }
    window_ = new TopLevelWindow(focus_);
    for (AttachItem* item = attachments_.First(); item; item = AttachList::Next(item))
        item->SetWindow(window_);
    Style* appStyle = qirApp ? qirApp->AppStyle() : Session::instance()->style();
    qir_set_window_style(window_, "Compose letter", appStyle);

    for (qirObject* o = message_->To()->First(); o; o = qirList::Next(o))
        AddTo(static_cast<qirAddress*>(o)->Format());
    for (qirObject* o = message_->Cc()->First(); o; o = qirList::Next(o))
        AddCc(static_cast<qirAddress*>(o)->Format());
    if (message_->Subject())
        subject_->field(Str(*message_->Subject()));

    if (leader)
        window_->group_leader(leader);
    window_->wm_delete(new qirCloseHandler(this));
    qir_place_window(window_, dynamic_cast<Menu*>(menubar_));
    window_->map();
}

Glyph* MsgEdit::BuildBody(Glyph* menubar) {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    PolyGlyph* column = lk->vbox();
    column->append(kit->bright_inset_frame(menubar));

    enrichedBox_ = kit->check_box(qirUiText(263), new Do(this, &MsgEdit::ToggleEnriched));
    column->append(kit->inset_frame(lk->hbox(
        kit->outset_frame(sizePanel_), lk->hglue(), lk->hspace(10), kit->label(std::string(35, ' ').c_str()),
        kit->push_button(qirUiText(255), new Do(this, &MsgEdit::OpenAddressBook)), lk->hspace(10),
        lk->vcenter(enrichedBox_), lk->hspace(10))));

    // The sample gives the width; the fields start empty, so that a click
    // anywhere in one types at its start.  They are the last window's
    // fields when there was one (referenced until given back).
    const std::string blanks(30, ' ');
    to_ = qirFieldEditor::Take(blanks.c_str(), kit, kit->style());
    cc_ = qirFieldEditor::Take(blanks.c_str(), kit, kit->style());
    bcc_ = qirFieldEditor::Take(blanks.c_str(), kit, kit->style());
    subject_ = qirFieldEditor::Take(blanks.c_str(), kit, kit->style());
    PolyGlyph* fields = lk->vbox();
    const int labels[4] = {258, 259, 260, 261};
    qirFieldEditor* editors[4] = {to_, cc_, bcc_, subject_};
    for (int i = 0; i < 4; i++) {
        if (i)
            fields->append(lk->vspace(4));
        // The labels in a column of their own, so that the fields line up.
        fields->append(lk->hbox(lk->h_fixed_span(lk->hbox(kit->label(qirUiText(labels[i])), lk->hglue()), 64),
                                editors[i]));
    }
    column->append(kit->inset_frame(
        lk->hbox(lk->hspace(10), kit->outset_frame(lk->margin(fields, 4)), lk->hspace(10))));

    Glyph* text = panel_ ? static_cast<Glyph*>(lk->flexible(lk->natural(panel_, 648, 576), fil, fil))
                         : static_cast<Glyph*>(lk->glue(648, 0, fil, 0, fil));
    column->append(lk->vflexible(
        lk->vnatural(kit->inset_frame(lk->hbox(lk->hspace(10), kit->outset_frame(lk->vcenter(text, 1.0)),
                                                lk->hspace(10))),
                     150),
        fil, fil));

    column->append(kit->inset_frame(lk->hbox(
        lk->hspace(10), countPanel_, lk->hspace(10), lk->hglue(),
        kit->push_button(qirUiText(256), new Do(this, &MsgEdit::AddAttachment)), lk->hspace(10),
        kit->push_button(qirUiText(455), new Do(this, &MsgEdit::EditAttachment)), lk->hspace(10),
        kit->push_button(qirUiText(456), new Do(this, &MsgEdit::RemoveAttachment)), lk->hspace(10))));

    Glyph* list = kit->outset_frame(lk->hbox(rows_, kit->vscroll_bar(rows_)));
    column->append(lk->vflexible(
        lk->vnatural(kit->inset_frame(lk->hbox(lk->hspace(10), list, lk->hspace(10))), 90), 0.3, fil));

    column->append(kit->outset_frame(lk->hbox(
        lk->hspace(20), lk->hglue(), kit->push_button(qirUiText(254), new Do(this, &MsgEdit::Send)), lk->hglue(),
        kit->push_button(qirUiText(253), new Do(this, &MsgEdit::Discard)), lk->hglue(), lk->hspace(20))));
    return column;
}

MsgEdit::~MsgEdit() {
    Withdraw();
    Resource::unref(sizePanel_);
    Resource::unref(countPanel_);
    Resource::unref(panel_);
    delete window_;
    // Out of every window now: the next compose window takes them.
    for (qirFieldEditor* f : {to_, cc_, bcc_, subject_})
        qirFieldEditor::GiveBack(f);
    Resource::unref(close_);
    attachments_.Remove(nullptr);
}

void MsgEdit::Withdraw() {
    if (withdrawn_)
        return;
    withdrawn_ = 1;
    StopEditor();
    if (qirApp)
        qirApp->DetachComposer(this);
    if (window_ && window_->is_mapped())
        window_->unmap();
}

// ---------------------------------------------------------------- fields

void MsgEdit::AddAddress(qirFieldEditor* field, const qirString& address) {
    std::string now = Str(FieldText(field));
    while (!now.empty() && (now.back() == ' ' || now.back() == '\t' || now.back() == '\r' || now.back() == '\n'))
        now.pop_back();
    std::string text = now.empty() ? std::string(Str(address)) : now + ", " + Str(address);
    field->field(text.c_str());
}

void MsgEdit::AddTo(qirString address) { AddAddress(to_, address); }
void MsgEdit::AddCc(qirString address) { AddAddress(cc_, address); }
void MsgEdit::AddBcc(qirString address) { AddAddress(bcc_, address); }

// ---------------------------------------------------------------- showing the draft

qirMsgComponent* MsgEdit::TextPart() const {
    qirMsgComponent* body = message_ ? message_->Body() : nullptr;
    if (body && body->IsMultipart())
        return static_cast<qirMsgMultipartComponent*>(body)->First();
    return body;
}

void MsgEdit::Refresh() {
    ShowSize();
    LoadBody();
    ShowAttachments();
}

// After an attachment change the text comes back from its file: the
// cursor stays where the user left it.
void MsgEdit::RefreshKeepingCursor() {
    int cursor = panel_ ? panel_->Editor()->Cursor() : 0;
    Refresh();
    if (!panel_)
        return;
    qirRTFEditor* editor = panel_->Editor();
    int last = editor->Document().Length() - 1;
    editor->SetCursor(cursor < last ? cursor : (last > 0 ? last : 0));
    editor->ScrollToCursor();
    editor->redraw();
}

void MsgEdit::ShowSize() {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    char format[16];
    snprintf(format, sizeof format, "%%%dld", 10);
    char number[64];
    snprintf(number, sizeof number, format, static_cast<long>(message_->Size()));
    sizeText_ = number;
    Show(&sizePanel_, lk->hbox(kit->label(qirUiText(251)), lk->hglue(), kit->label(number)));
}

void MsgEdit::LoadBody() {
    qirMsgComponent* part = TextPart();
    if (!part || part->IsMultipart() || !part->IsText()) {
        if (qirLog)
            qirLog->Write(qirLogError, "Internal QIR error. Sorry");
        return;
    }
    const char* path = Str(part->Path());
    int enriched = part->ContentType().IsEnriched();
    if (panel_) {
        if (panel_->load(path, enriched) != 0 && qirLog)
            qirLog->Report(qirLogError, "Can't read the text of the letter: <%s>", path);
        return;
    }
    panel_ = new qirRTFPanel(&qirConfig, nullptr, qirRTFEditMode, editorMenu_);
    Resource::ref(panel_);
    if (panel_->load(path, enriched) != 0 && qirLog)
        qirLog->Report(qirLogError, "Can't read the text of the letter: <%s>", path);
    if (!qirConfig.Get("Signature.Use").EqualsIgnoreCase("Yes"))
        return;
    qirPath signature(qirConfig.Get("Signature.Filename"));
    if (!signature.IsEmpty() && IsFile(Str(signature)) && *path && !IsDirectory(path)) {
        panel_->append_text("\n\n--\n\n", 1);
        panel_->append_file(Str(signature), qirConfig.Get("Signature.IsEnriched").EqualsIgnoreCase("Yes"));
    } else if (qirLog) {
        qirLog->Report(qirLogError, "Can't use signature file: '%s'", Str(signature));
    }
}

void MsgEdit::ShowCount() {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    char number[32];
    snprintf(number, sizeof number, "%ld", static_cast<long>(attachments_.Count()));
    Show(&countPanel_, lk->hbox(kit->label(qirUiText(252)), lk->hspace(5), kit->label(number)));
}

void MsgEdit::ShowAttachments() {
    WidgetKit* kit = WidgetKit::instance();
    LayoutKit* lk = LayoutKit::instance();
    rows_->RemoveAll();
    attachments_.Remove(nullptr);
    for (qirMsgComponent* part : qirMsgViewText::AttachedParts(message_->Body()))
        attachments_.Append(new AttachItem(*part, window_));
    int n = 0;
    for (AttachItem* item = attachments_.First(); item; item = AttachList::Next(item)) {
        char number[16];
        snprintf(number, sizeof number, "%2d.", ++n);
        PolyGlyph* row = lk->hbox(kit->label(number), lk->hspace(5));
        if (Raster* icon = item->TypeIcon()) {
            Transformer t;
            Coord scale = icon->height() > 0 ? 16 / icon->height() : 1;
            t.scale(scale, scale);
            row->append(lk->vcenter(new TransformSetter(new Image(icon), t)));
        } else {
            row->append(lk->hspace(16));
        }
        row->append(lk->hspace(5));
        row->append(qirTextLabel(kit, Str(item->Label())));
        AttachIcon* handler = new AttachIcon(lk->h_fixed_span(row, 370), item);
        item->SetIconHandler(handler);
        rows_->append(new qirMarkedItem(qirString(""), rows_, kit->style(), kit, lk, handler));
    }
    ShowCount();
}

void MsgEdit::SetEnriched(int on) {
    enriched_ = on ? 1 : 0;
    if (enrichedEntry_)
        enrichedEntry_->set(TelltaleState::is_chosen, enriched_ != 0);
    if (enrichedBox_)
        enrichedBox_->state()->set(TelltaleState::is_chosen, enriched_ != 0);
}

void MsgEdit::ToggleEnriched() { SetEnriched(1 - enriched_); }

// ---------------------------------------------------------------- the text

int MsgEdit::SaveText(int enriched) {
    qirMsgComponent* part = TextPart();
    if (!part || !panel_)
        return 1;
    part->ContentType().subtype = enriched ? "enriched" : "plain";
    part->ContentType().BuildHeader();
    return panel_->save(Str(part->Path()), enriched, 0) != 0;
}

int MsgEdit::SaveTextForAttachments() {
    if (!panel_)
        return 0;
    if (SaveText(1) == 0)
        return 0;
    Report(qirString("Can't save the text of the letter into <").Concat(Str(TextPart()->Path())).Concat(">"));
    return 1;
}

int MsgEdit::EditorRunning() const { return editorPid_ != 0; }

int MsgEdit::Busy() {
    if (!EditorRunning())
        return 0;
    qirMessageBox::Warn(window_, qirUiText(1400));
    return 1;
}

void MsgEdit::Report(const qirString& text) {
    if (qirLog)
        qirLog->Report(qirLogError, "%s", Str(text));
}

void MsgEdit::InsertFile(int enriched) {
    if (Busy() || !panel_ || !qirApp)
        return;
    qirString path("");
    qirApp->OpenFileDialog(&path, window_);
    if (!path.IsEmpty() && panel_->insert_file(Str(path), enriched) != 0)
        Report(qirString("Can't read the file <").Concat(Str(path)).Concat(">"));
}

void MsgEdit::SaveToFile(int enriched) {
    if (!panel_ || !qirApp)
        return;
    qirString path("");
    int append = 0;
    qirApp->SaveFileDialog(&path, &append, window_);
    if (path.IsEmpty())
        return;
    if (panel_->save(Str(path), enriched, append) != 0 && qirLog)
        qirLog->Report(qirLogError, "Can't Save to file: <%s>", Str(path));
}

int MsgEdit::SaveDraft() {
    int failed = 0;
    // While the external editor runs its file is the text: the panel holds
    // only what was there when it started.
    if (!EditorRunning() && panel_ && SaveText(enriched_) != 0) {
        Report(qirString("Can't save the text of the letter into <").Concat(Str(TextPart()->Path())).Concat(">"));
        failed = 1;
    }
    qirString subject = qirComposeFields::Clean(Str(FieldText(subject_)));
    message_->SetSubject(&subject);
    struct {
        qirFieldEditor* field;
        void (qirMsg::*set)(const qirList*);
        const char* name;
    } fields[3] = {{to_, &qirMsg::SetTo, "To:"}, {cc_, &qirMsg::SetCc, "CC:"}, {bcc_, &qirMsg::SetBcc, "BCC:"}};
    for (auto& f : fields) {
        qirList list;
        qirString error;
        qirString text = FieldText(f.field);
        if (qirComposeFields::ParseAddresses(Str(text), &list, &error) == qirOK)
            (message_->*f.set)(&list);
        else
            // Kept as typed: the draft holds what the user wrote.
            message_->Fields()->Add(f.name, Str(qirComposeFields::Clean(Str(text))));
        list.Remove(nullptr);
    }
    if (message_->Save() != qirOK) {
        Report(qirString("Can't save the draft <").Concat(Str(message_->Path())).Concat(">"));
        failed = 1;
    }
    return failed;
}

// ---------------------------------------------------------------- sending

int MsgEdit::ParseFields(qirList* to, qirList* cc, qirList* bcc) {
    qirFieldEditor* fields[3] = {to_, cc_, bcc_};
    qirList* lists[3] = {to, cc, bcc};
    for (int i = 0; i < 3; i++) {
        qirString text = qirComposeFields::Clean(Str(FieldText(fields[i])));
        if (i == 0 && text.IsEmpty()) {
            Report("'To:' field SHOULD be filled!");
            return 1;
        }
        qirString error;
        if (qirComposeFields::ParseAddresses(Str(text), lists[i], &error) != qirOK) {
            Report(error);
            return 1;
        }
        qirComposeFields::AskAlias ask = [this](const qirAddress& typed, const qirAddrBookEntry& entry) {
            qirList* lines = qirComposeFields::AliasQuestion(typed, entry, qirUiText(262));
            qirList labels;
            labels.Append(new qirString(qirUiText(110)));
            labels.Append(new qirString(qirUiText(111)));
            WidgetKit* kit = WidgetKit::instance();
            qirChoiceDialog* choice =
                new qirChoiceDialog(kit, LayoutKit::instance(), qirApp ? qirApp->AppStyle() : kit->style(),
                                    "Proceed alias change", *lines, labels);
            Resource::ref(choice);
            bool answered = choice->post_for(window_);
            int which = choice->Choice();
            Resource::unref(choice);
            Drop(lines);
            labels.Remove(nullptr);
            return answered && which == 0 ? 1 : 0;
        };
        if (qirComposeFields::ReplaceAliases(lists[i], qirApp ? qirApp->Book() : nullptr, ask, &error) !=
            qirOK) {
            Report(error);
            return 1;
        }
    }
    return 0;
}

void MsgEdit::Send() {
    if (Busy() || !qirApp)
        return;
    qirMsgComponent* part = TextPart();
    // What is sent is what was typed: a text that cannot be saved is not
    // sent, and the window keeps it.
    if (panel_ && SaveText(enriched_) != 0) {
        Report(qirString("The letter was not sent: its text cannot be saved into <")
                   .Concat(Str(part->Path()))
                   .Concat(">"));
        return;
    }
    qirList to, cc, bcc;
    if (ParseFields(&to, &cc, &bcc) != 0) {
        to.Remove(nullptr);
        cc.Remove(nullptr);
        bcc.Remove(nullptr);
        return;
    }
    // Nothing changes in the letter before every field was read.
    message_->SetTo(&to);
    message_->SetCc(&cc);
    message_->SetBcc(&bcc);
    to.Remove(nullptr);
    cc.Remove(nullptr);
    bcc.Remove(nullptr);
    qirString subject = qirComposeFields::Clean(Str(FieldText(subject_)));
    message_->SetSubject(&subject);

    qirString error;
    int r = qirApp->SendMessage(message_, &error);
    if (r == qirRecipientRefused) {
        // It went out: the window closes, so that sending again does not
        // deliver it twice; the refused recipients are named.
        Report(qirString("The letter was sent, but not to every recipient: ").Concat(Str(error)));
    } else if (r != qirOK) {
        qirString why = error.IsEmpty() ? qirString("") : qirString(": ").Concat(Str(error));
        Report(qirString("The letter was not sent").Concat(Str(why)).Concat(" (it stays in the window)"));
        return;
    }

    int mode = 0;
    qirApp->ApplyFilters(message_, &mode, window_);
    int kept = 1;
    if (!message_->IsRemoved()) {
        qirFolder* outgoing = qirApp->FolderList() ? qirApp->FolderList()->Outgoing() : nullptr;
        if (!outgoing) {
            Report("Outgoing folder does not exist!");
            kept = 0;
        } else if (outgoing->CopyIn(message_) != qirOK) {
            Report("Error copying message");
            kept = 0;
        }
    }
    if (!kept)
        // The sent letter has no other copy: its draft stays.
        Report(qirString("The sent letter stays in <").Concat(Str(message_->Path())).Concat(">"));
    else if (qirMainWindow::RemoveDraft(message_) != qirOK)
        Report("Error removing message");
    close_->execute();
}

void MsgEdit::Discard() {
    StopEditor();
    qirMainWindow::RemoveDraft(message_);
    close_->execute();
}

// ---------------------------------------------------------------- the external editor

void MsgEdit::RunEditor() {
    if (EditorRunning())
        return;
    qirMsgComponent* part = TextPart();
    if (!panel_ || !part)
        return;
    SetEnriched(qirConfig.Get("Editor.IsEnriched").EqualsIgnoreCase("yes"));
    // The editor starts from what was typed; it never starts on an older
    // file, whose text would replace the panel's when it ends.
    if (SaveText(enriched_) != 0) {
        Report(qirString("Can't save the text for the editor into <").Concat(Str(part->Path())).Concat(">"));
        return;
    }
    message_->Save();
    // The path is the shell's "$1": blanks or quotes in it stay one word.
    qirString command = qirConfig.Get("Editor.Editor").Concat(" \"$1\"");
    const char* args[1] = {Str(part->Path())};
    int pid = qirChildProcess::Start(command, args, 1, this);
    if (pid <= 0)
        return;
    editorPid_ = pid;
    panel_->Editor()->SetReadOnly(1);
}

void MsgEdit::StopEditor() {
    if (editorPid_) {
        qirChildProcess::Terminate(editorPid_);
        editorPid_ = 0;
    }
    qirChildProcess::Disown(this);
}

void MsgEdit::ChildEnded(int pid) {
    if (withdrawn_ || pid != editorPid_)
        return;
    editorPid_ = 0;
    if (panel_)
        panel_->Editor()->SetReadOnly(0);
    Refresh();
}

// ---------------------------------------------------------------- attachments

qirMsgMultipartComponent* MsgEdit::Multipart() {
    qirMsgComponent* body = message_->Body();
    if (body && !body->IsMultipart() && message_->MakeMultipart() != qirOK) {
        Report(qirString("Can't make room for attachments in <").Concat(Str(message_->Path())).Concat(">"));
        return nullptr;
    }
    body = message_->Body();
    return body && body->IsMultipart() ? static_cast<qirMsgMultipartComponent*>(body) : nullptr;
}

qirPath MsgEdit::CopyIn(const qirString& source, const qirString& name, const qirContentType& type) {
    qirMsgMultipartComponent* multi = static_cast<qirMsgMultipartComponent*>(message_->Body());
    // A name of its own, made safe, never one the directory holds (its
    // "Body.PARSED" above all), and made here: nothing is replaced.
    for (int attempt = 0; attempt < 100; attempt++) {
        qirPath target = qirMsgComponent::StoredPath(Str(multi->Path()), Str(name), type);
        int r = qirCopyToNewFile(Str(source), Str(target));
        if (r == qirOK)
            return target;
        if (r != qirCannotCreate)
            break;
    }
    if (qirLog)
        qirLog->Report(qirLogError, "Error filecopy! <%s>", Str(source));
    return qirPath("");
}

AttachItem* MsgEdit::SelectedAttachment(int* position) {
    qirListItem* row = rows_->FirstSelected();
    if (!row)
        return nullptr;
    *position = rows_->Items().IndexOf(row);
    return *position >= 0 ? static_cast<AttachItem*>(attachments_.Nth(*position)) : nullptr;
}

void MsgEdit::SelectRow(int position) {
    if (position < 0 || position >= rows_->Count())
        return;
    rows_->UnselectAll();
    rows_->Item(position)->toggle();
}

int MsgEdit::Ask(AttachDialog* dialog, qirContentType* type, qirString* source) {
    Resource::ref(dialog);
    bool accepted = dialog->post_for(window_);
    *type = dialog->ContentType();
    *source = dialog->File();
    Resource::unref(dialog);
    type->BuildHeader();
    return accepted ? 1 : 0;
}

void MsgEdit::SaveParts() {
    message_->SetModified();
    if (message_->Save() != qirOK && qirLog)
        qirLog->Write(qirLogError, "Error saving!");
}

void MsgEdit::AddAttachment() {
    if (Busy() || SaveTextForAttachments() != 0)
        return;
    qirMsgMultipartComponent* multi = Multipart();
    if (!multi)
        return;
    qirContentType type;
    qirString source;
    if (!Ask(new AttachDialog(), &type, &source))
        return;
    qirPath target = CopyIn(source, type.partName, type);
    if (target.IsEmpty())
        return;
    multi->Append(new qirMsgComponent(target, type));
    SaveParts();
    RefreshKeepingCursor();
    rows_->scroll_to(Dimension_Y, 0);
    SelectRow(rows_->Count() - 1);
}

void MsgEdit::EditAttachment() {
    if (Busy())
        return;
    int n = -1;
    AttachItem* item = SelectedAttachment(&n);
    if (!item) {
        if (qirLog)
            qirLog->Write(qirLogError, "You should select exactly ONE attachment to edit!");
        return;
    }
    qirMsgMultipartComponent* multi = Multipart();
    qirMsgComponent* part = multi ? multi->Part(n + 1) : nullptr;
    if (!part || SaveTextForAttachments() != 0)
        return;
    qirContentType type;
    qirString source;
    if (!Ask(new AttachDialog(*part, Str(multi->Path())), &type, &source))
        return;
    qirPath target = part->Path();
    if (source != part->Path()) {
        // Another file: copied in first; the old one goes only once the
        // copy is there.
        target = CopyIn(source, type.partName, type);
        if (target.IsEmpty())
            return;
    }
    multi->InsertBefore(new qirMsgComponent(target, type), part);
    multi->Take(part);
    SaveParts();
    if (target != part->Path())
        part->RemoveFromDisk();
    delete part;
    RefreshKeepingCursor();
    SelectRow(n);
}

void MsgEdit::RemoveAttachment() {
    if (Busy())
        return;
    int n = -1;
    if (!SelectedAttachment(&n))
        return;
    qirMsgMultipartComponent* multi = Multipart();
    qirMsgComponent* part = multi ? multi->Part(n + 1) : nullptr;
    if (!part || SaveTextForAttachments() != 0)
        return;
    qirString line1(qirUiText(638)), line2(qirUiText(637));
    WidgetKit* kit = WidgetKit::instance();
    qirQuestionDialog* question =
        new qirQuestionDialog(kit, LayoutKit::instance(), qirApp ? qirApp->AppStyle() : kit->style(), "Confirm",
                              &line1, &line2);
    Resource::ref(question);
    bool yes = question->post_for(window_);
    Resource::unref(question);
    if (!yes)
        return;
    multi->Take(part);
    part->RemoveFromDisk();
    delete part;
    // The draft on disk follows: its description must not name a file
    // that is gone.
    SaveParts();
    RefreshKeepingCursor();
    if (rows_->Count() > 0)
        SelectRow(n < rows_->Count() ? n : n - 1);
}

// ---------------------------------------------------------------- other actions

void MsgEdit::OpenAddressBook() {
    if (!qirApp)
        return;
    qirApp->OpenAddressBook();
    qirApp->AttachComposer(this);
}

void MsgEdit::HelpCompose() {
    if (qirApp)
        qirApp->ShowHelp("QIR message edit Help", "h_msg_edit.rtf");
}

void MsgEdit::HelpIndex() {
    if (qirApp)
        qirApp->ShowHelp("QIR Help Index", "index.rtf");
}
