// The actions of a message view's menu and tool bar.
// Mail headers before InterViews: its macros rename common words.
#include "qirAddrBook.h"
#include "qirAddress.h"
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirMsgComponent.h"
#include "qirMsgListItem.h"
#include "qirMsgViewText.h"
#include "qirUtilities.h"
#include "qirMainWindow.h"
#include "qirMsgList.h"

#include "MsgView.h"
#include "MsgViewDock.h"

#include "qirChooseFolderDialog.h"
#include "qirMessageBox.h"

#include <cstdio>

#include <InterViews/window.h>

namespace {

const char* Str(const qirString& s) { return s.Data() ? s.Data() : ""; }

} // namespace

void MsgView::SetDeleted(int flag)
{
    if (!message_) return;
    message_->SetRemoved(flag ? 1 : 0);
    ShowDeletedMark();
    ShowStatus();
    // The row, its status button and the folder's counters follow.
    message_->Refresh();
}

void MsgView::DeleteAndNext()
{
    if (!message_) return;
    SetDeleted(!message_->IsRemoved());
    if (message_ && message_->IsRemoved()) Next();
}

void MsgView::Delete() { SetDeleted(1); }

void MsgView::Undelete() { SetDeleted(0); }

void MsgView::Compose()
{
    if (qirApp) qirApp->Compose();
}

void MsgView::ReplyDefault()
{
    Reply(qirConfig.Get("Reply.UseQuottingInDefFunction").EqualsIgnoreCase("No") ? 0 : 1);
}

void MsgView::Reply(int quote)
{
    if (qirApp && message_) qirApp->ComposeReply(message_, quote, window_);
}

void MsgView::Forward()
{
    if (qirApp && message_) qirApp->ComposeForward(message_, window_);
}

void MsgView::Print()
{
    if (qirApp && message_) qirApp->PrintMessage(message_, picture_);
}

void MsgView::Help()
{
    if (qirApp) qirApp->ShowHelp("QIR message view Help", "h_msg_view.rtf");
}

void MsgView::ShowHelpIndex()
{
    if (qirApp) qirApp->ShowHelp("QIR Help Index", "index.rtf");
}

void MsgView::CloseView()
{
    if (dock_) dock_->close();
}

// The text of the message: its first text part, or without one the part
// the panel shows.  Never a multipart directory.
void MsgView::SaveBody()
{
    if (!message_ || !qirApp) return;
    qirMsgComponent* part = qirMsgViewText::FirstTextPart(message_->Body());
    if (!part) part = qirMsgViewText::ShownPart(message_->Body());
    if (!part) {
        qirMessageBox::Warn(window_, "The message has no text to save!");
        return;
    }
    qirString file = part->Path().Basename();
    int append = 0;
    qirApp->SaveFileDialog(&file, &append, window_);
    if (file.IsEmpty() || !message_) return;
    const char* from = Str(part->Path());
    if (append) {
        if (qirAppendFile(from, Str(file)) != 0 && qirLog)
            qirLog->Report(qirLogError, "Error appending file: '%s'=>'%s'", from, Str(file));
    } else if (qirCopyFile(from, Str(file)) != 0 && qirLog) {
        qirLog->Report(qirLogError, "Error copying file: '%s'=>'%s'", from, Str(file));
    }
}

void MsgView::Export()
{
    if (!message_ || !qirApp) return;
    qirString file = folder_ ? folder_->Name() : qirString("");
    int append = 0;
    qirApp->SaveFileDialog(&file, &append, window_);
    if (file.IsEmpty() || !message_) return;
    FILE* out = fopen(Str(file), append ? "a" : "w");
    if (!out) {
        if (qirLog) qirLog->Report(qirLogError, "Error opening file!");
        return;
    }
    const qirAddress* from = static_cast<const qirAddress*>(message_->From() ? message_->From()->First() : nullptr);
    fprintf(out, "From %s %s\n", from ? Str(from->Mailbox()) : "", Str(qirMsg::FormatDate(message_, 0)));
    int r = message_->ExportMIME(out);
    fputs("\n", out);
    if ((fclose(out) != 0 || r != 0) && qirLog) qirLog->Report(qirLogError, "Error exporting message!");
}

void MsgView::CopyToFolder() { ToFolder(0); }

// Marked deleted and left behind only once the copy is safely stored.
void MsgView::MoveToFolder() { ToFolder(1); }

void MsgView::ToFolder(int move)
{
    if (!message_) return;
    qirFolder* target = nullptr;
    qirChooseFolderDialog* dialog = new qirChooseFolderDialog(&target);
    Resource::ref(dialog);
    bool chosen = dialog->post_for(window_);
    Resource::unref(dialog);
    if (!chosen || !target || !message_) return;
    if (move && target == folder_) {
        qirMessageBox::Warn(window_, "You may not move messages to the same folder!");
        return;
    }
    qirMsgList* folder = folder_;
    // A copy into the own folder flushes it: a message marked deleted
    // leaves with its view, which then lets go of it (Detach).
    int copied = target->CopyIn(message_);
    if (!message_ || copied != 0 || !move) return;
    SetDeleted(1);
    folder->RedrawList();
    Next();
}

void MsgView::AddSender()
{
    if (!message_ || !qirApp) return;
    qirAddrBook* book = qirApp->Book();
    if (!book) return;
    qirAddrBookEntry* entry = new qirAddrBookEntry(*message_);
    // "alias (1)", "alias (1) (2)" ... until the alias is free.
    int counter = 1;
    while (book->Find(entry->Alias())) {
        char suffix[32];
        snprintf(suffix, sizeof suffix, " (%d)", counter++);
        entry->SetAlias(entry->Alias().Concat(suffix));
    }
    book->Append(entry);
    // A failed save is reported by the book and leaves its file as it was.
    book->Save();
}
