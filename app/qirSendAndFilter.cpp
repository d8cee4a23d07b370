// Sending through the configured delivery agent, and carrying out the
// user's filters on one message.
#include "qirAddress.h"
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirFilter.h"
#include "qirFilterList.h"
#include "qirFolder.h"
#include "qirMailAgent.h"
#include "qirMsg.h"
#include "qirMsgComponent.h"
#include "qirMsgMultipartComponent.h"
#include "qirQueueAgent.h"
#include "qirSMTPAgent.h"
#include "qirSendmailAgent.h"
#include "qirStatus.h"
#include "qirUtilities.h"

// Read before InterViews' macros rename the word.
static const char* SubjectText(const qirMsg* m) {
    return m->Subject() && m->Subject()->Data() ? m->Subject()->Data() : "";
}

#include "qirChoiceDialog.h"
#include "qirFolderListView.h"
#include "qirMainWindow.h"
#include "qirUiText.h"

#include <InterViews/resource.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* sourceName = "qirSendAndFilter";

const char* Str(const qirString& s) { return s.Data() ? s.Data() : ""; }

// The addresses joined with ", ", or "<nobody>".
std::string Addresses(const qirList* list) {
    std::string out;
    for (qirObject* o = list ? list->First() : nullptr; o; o = list->Next(o)) {
        qirString text = static_cast<qirAddress*>(o)->Format();
        if (!out.empty())
            out += ", ";
        out += Str(text);
    }
    return out.empty() ? "<nobody>" : out;
}

int Exists(const qirPath& path) {
    struct stat st;
    return !path.IsEmpty() && stat(Str(path), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

// ---------------------------------------------------------------- scratch messages

qirPath qirMainWindow::ScratchMessagePath(const char* stem, const char* base) {
    // A private directory made atomically, never a guessed name: the
    // message directory goes inside it, so qirMsg makes it fresh.
    std::string dir;
    if (base) {
        dir = base;
    } else {
        const char* tmp = getenv("TMPDIR");
        struct stat st;
        dir = tmp && *tmp && stat(tmp, &st) == 0 && S_ISDIR(st.st_mode) ? tmp : "/tmp";
    }
    std::string tmpl = dir + "/" + stem + "XXXXXX";
    if (!mkdtemp(&tmpl[0]))
        return qirPath("");
    return qirPath((tmpl + "/Message").c_str());
}

int qirMainWindow::RemoveScratchMessage(qirMsg* message) {
    if (!message)
        return qirOK;
    qirPath path = message->Path();
    int r = message->RemoveFromDisk();
    delete message;
    qirString parent = path.Dirname();
    if (!parent.IsEmpty())
        qirRemoveDirectory(Str(parent), 0);
    return r;
}

qirPath qirMainWindow::DraftPath() {
    // The folder directory is the user's own; its "Drafts" must be a real
    // directory of this user, not a link planted to lead letters elsewhere.
    std::string drafts = std::string(Str(qirConfig.Get("FolderDir"))) + "/Drafts";
    mkdir(drafts.c_str(), 0700);
    struct stat st;
    if (lstat(drafts.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) {
        if (qirLog)
            qirLog->Report(qirLogError, "Can't use the drafts directory <%s>", drafts.c_str());
        return qirPath("");
    }
    return ScratchMessagePath("Letter_", drafts.c_str());
}

int qirMainWindow::RemoveDraft(qirMsg* message) {
    if (!message)
        return qirOK;
    int r = message->RemoveFromDisk();
    // The draft's own private directory goes when it is empty.
    qirString parent = message->Path().Dirname();
    if (r == qirOK && !parent.IsEmpty())
        rmdir(Str(parent));
    return r;
}

// ---------------------------------------------------------------- sending

int qirMainWindow::SendMessage(qirMsg* message, qirString* error) {
    if (!message)
        return -9;
    qirMailAgent* agent = nullptr;
    if (qirConfig.Get("UseBackgroundDeliverAgent").EqualsIgnoreCase("Yes")) {
        agent = new qirQueueAgent();
    } else {
        qirString which = qirConfig.Get("DeliverAgent");
        if (which.EqualsIgnoreCase("Sendmail"))
            agent = new qirSendmailAgent();
        else if (which.EqualsIgnoreCase("SMTP"))
            agent = new qirSMTPAgent(qirConfig.Get("SMTP.Host"), qirConfig.Get("SMTP.Port"));
    }
    if (!agent) {
        if (qirLog)
            qirLog->Write(qirLogError, "No deliver agent specified in config file");
        return -6;
    }
    int r = message->Send(agent);
    if (r != qirOK && error)
        *error = agent->ErrorText();
    delete agent;
    return r;
}

// ---------------------------------------------------------------- filters

int qirMainWindow::PostFilterChoice(const qirList& lines, Window* parent) {
    qirList labels;
    for (int n = 702; n <= 705; n++)
        labels.Append(new qirString(qirUiText(n)));
    qirMainWindow* app = qirApp;
    qirChoiceDialog* choice = new qirChoiceDialog(app ? app->Kit() : nullptr, app ? app->Layout() : nullptr,
                                                  app ? app->AppStyle() : nullptr, "Proceed filter", lines, labels);
    Resource::ref(choice);
    bool answered = choice->post_for(parent);
    int which = answered ? choice->Choice() : -1;
    Resource::unref(choice);
    labels.Remove(nullptr);
    return which;
}

int (*qirMainWindow::AskFilter)(const qirList& lines, Window* parent) = &qirMainWindow::PostFilterChoice;

qirFolder* qirMainWindow::FolderNamed(const qirString& name) const {
    if (!folders_ || name.IsEmpty())
        return nullptr;
    for (qirFolder* f = folders_->First(); f; f = qirFolderList::Next(f)) {
        const qirDirectory* d = f->Directory();
        if (d && d->Basename() == Str(name))
            return f;
    }
    return nullptr;
}

int qirMainWindow::FilterCopy(qirMsg* message, const qirFilter* filter) {
    qirFolder* target = FolderNamed(filter->CopyPath());
    if (!target) {
        if (qirLog)
            qirLog->Write(qirLogError, "Target folder does not exist!");
        return qirNotFound;
    }
    if (target->CopyIn(message) != qirOK) {
        if (qirLog)
            qirLog->Write(qirLogError, "Error copying message");
        return qirFailed;
    }
    return qirOK;
}

void qirMainWindow::FilterReply(qirMsg* message, const qirFilter* filter) {
    qirPath path = ScratchMessagePath("qirReply");
    if (path.IsEmpty()) {
        if (qirLog)
            qirLog->Write(qirLogError, "Error replying at message");
        return;
    }
    qirMsg* reply = new qirMsg(path);
    if (reply->MakeReply(message, 1) != qirOK && qirLog)
        qirLog->Write(qirLogError, "Error replying at message");
    const qirPath& file = filter->ReplyPath();
    if (Exists(file) && reply->MakeMultipart() == qirOK && reply->Body() && reply->Body()->IsMultipart()) {
        qirMsgMultipartComponent* multi = static_cast<qirMsgMultipartComponent*>(reply->Body());
        // A unique name made in the multipart's own directory.
        std::string target = std::string(Str(multi->Path())) + "/AttachXXXXXX";
        int fd = mkstemp(&target[0]);
        if (fd >= 0)
            close(fd);
        if (fd < 0 || qirCopyFile(Str(file), target.c_str()) != 0) {
            if (fd >= 0)
                unlink(target.c_str());
            if (qirLog)
                qirLog->Report(qirLogError, "Error copying file: <%s>=><%s> (%s,%d)", Str(file), target.c_str(),
                               sourceName, __LINE__);
        } else {
            multi->Append(new qirMsgComponent(qirPath(target.c_str()), qirContentType()));
        }
    }
    SendMessage(reply);
    RemoveScratchMessage(reply);
}

void qirMainWindow::FilterForward(qirMsg* message, const qirFilter* filter) {
    qirString address = filter->ForwardAddress();
    if (address.IsEmpty()) {
        if (qirLog)
            qirLog->Write(qirLogError, "Error forwarding a message");
        return;
    }
    qirPath path = ScratchMessagePath("qirForward");
    if (path.IsEmpty()) {
        if (qirLog)
            qirLog->Write(qirLogError, "Error forwarding a message");
        return;
    }
    qirMsg* forward = new qirMsg(path);
    if (forward->MakeResend(message) != qirOK && qirLog)
        qirLog->Write(qirLogError, "Error forwarding a message");
    qirAddress to(Str(address), "");
    forward->AddTo(&to);
    SendMessage(forward);
    RemoveScratchMessage(forward);
}

int qirMainWindow::ApplyFilters(qirMsg* message, int* mode, Window* parent) {
    Window* over = Parent(parent);
    if (!message || !mode || *mode == -1)
        return 0;
    for (qirFilter* filter = filters_.First(); filter; filter = qirFilterList::Next(filter)) {
        if (!filter->IsActive() || !filter->Matches(*message))
            continue;
        if (*mode == 0) {
            qirList lines;
            lines.Append(new qirString(qirUiText(696)));
            lines.Append(new qirString(
                (std::string(qirUiText(697)) + " " + Addresses(message->From())).c_str()));
            lines.Append(new qirString((std::string(qirUiText(698)) + " " + Addresses(message->To())).c_str()));
            lines.Append(new qirString((std::string(qirUiText(699)) + " " + SubjectText(message)).c_str()));
            lines.Append(new qirString((std::string(qirUiText(700)) + " " + Str(filter->Name())).c_str()));
            lines.Append(new qirString(qirUiText(701)));
            int which = AskFilter ? AskFilter(lines, over) : 2;
            lines.Remove(nullptr);
            if (which == 1) {
                *mode = 1;
            } else if (which == 3) {
                *mode = -1;
                return 0;
            } else if (which != 0) {
                continue;
            }
        }
        int actions = filter->Actions();
        // A message leaves its folder only once its copy is safely elsewhere.
        int copied = 1;
        if (actions & qirFilter::CopyAction)
            copied = FilterCopy(message, filter) == qirOK;
        if (actions & qirFilter::ReplyAction)
            FilterReply(message, filter);
        if (actions & qirFilter::ForwardAction)
            FilterForward(message, filter);
        if (actions & qirFilter::DeleteAction) {
            if (copied)
                message->SetRemoved(1);
            else if (qirLog)
                qirLog->Write(qirLogWarning, "Message kept: its copy failed");
        }
    }
    return 0;
}
