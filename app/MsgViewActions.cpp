// The actions of a message view's menu and tool bar.
// Mail headers before InterViews: its macros rename common words.
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

#include "qirMessageBox.h"
#include "qirMsgActions.h"

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
    const qirMsg* m = message_;
    if (qirApp && m && qirMsgActions::ReadWhole(&m, 1, window_)) qirApp->PrintMessage(message_, picture_);
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
    const qirMsg* m = message_;
    if (!m || !qirApp || !qirMsgActions::ReadWhole(&m, 1, window_)) return;
    // The body's first part when it is multipart (its first file, when
    // that part is itself multipart), whatever its type.
    qirMsgComponent* part = qirMsgViewText::ShownPart(message_->Body());
    if (!part) {
        qirMessageBox::Warn(window_, "The message has no body to save!");
        return;
    }
    qirString file = part->Path().Basename();
    int append = 0;
    qirApp->SaveFileDialog(&file, &append, window_);
    if (file.IsEmpty() || !message_) return;
    const char* from = Str(part->Path());
    if (append) {
        if (qirAppendFile(from, Str(file)) != 0) {
            if (qirLog) qirLog->Report(qirLogError, "Error appending file: '%s'=>'%s'", from, Str(file));
            return;
        }
    } else if (qirCopyFile(from, Str(file)) != 0) {
        if (qirLog) qirLog->Report(qirLogError, "Error copying file: '%s'=>'%s'", from, Str(file));
        return;
    }
    // Whoever asked for the text must know it is not what they got.
    if (!part->IsText()) {
        const qirContentType& type = part->ContentType();
        qirString said;
        said.Format("The first part is not text: its %s/%s file was saved to %s", Str(type.type), Str(type.subtype),
                    Str(file));
        qirMessageBox::Warn(window_, said);
    }
}

void MsgView::Export()
{
    if (message_) {
        qirMsg* m = message_;
        qirMsgActions::Export(&m, 1, folder_ ? folder_->Name() : qirString(""), window_);
    }
}

void MsgView::CopyToFolder() { ToFolder(0); }

void MsgView::MoveToFolder() { ToFolder(1); }

// The list window's copy and move, for this one message; the own folder is
// refused for a move.  A moved message leaves its folder at once, so the
// view lets go of it first and goes on to the next message, or closes
// when there is none, as after a purge.
void MsgView::ToFolder(int move)
{
    if (!message_) return;
    qirMsg* m = message_;
    if (!move) {
        qirMsgActions::ToFolder(folder_, &m, 1, 0, window_);
        return;
    }
    if (!qirMsgActions::ReadWhole(&m, 1, window_)) return;
    qirFolder* target = qirMsgActions::ChooseFolder(window_);
    if (!target || !message_) return;
    qirMsgListItem* moving = message_;
    int steps;
    qirMsgListItem* next = Following(1, &steps);
    MsgViewDock* dock = moving->TakeViewDock();
    int done = 0;
    qirMsgActions::CopyTo(folder_, &m, 1, target, 1, window_, &done);
    if (done != 1) {
        // Still in this folder (marked deleted when only copied).
        moving->SetViewDock(dock);
        moving->Refresh();
        if (done == 2) Next();
        return;
    }
    message_ = nullptr;
    if (next) {
        position_ += steps - 1; // its row took the moved one's place
        ShowMessage(next);
        return;
    }
    // Nothing left to show: the controller, no row's any more, goes, and
    // with it this view once the event is handled.
    delete dock;
}

void MsgView::AddSender()
{
    if (message_) {
        qirMsg* m = message_;
        qirMsgActions::AddSenders(&m, 1, window_);
    }
}
