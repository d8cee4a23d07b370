// The new-mail check of the application object: chooses POP3 or the local
// mailbox, prepares the history and the password, and lets the Incoming
// folder fetch.  Filters do not run here: Incoming passes them when its
// list window closes.
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirFolder.h"
#include "qirHistory.h"
#include "qirPath.h"
#include "qirStatus.h"
#include "qirString.h"

#include "qirFolderListView.h"
#include "qirMainWindow.h"
#include "qirPasswordDialog.h"
#include "qirUiText.h"

#include <IV-look/kit.h>
#include <InterViews/display.h>
#include <InterViews/layout.h>
#include <InterViews/resource.h>
#include <InterViews/session.h>

namespace {

// Used when the configuration gives no usable limit.
const int defaultHistoryLimit = 5000;

int HistoryLimit(const char* key) {
    int limit = 0;
    if (qirConfig.Get(key).ToInt(&limit) != 0 || limit <= 0)
        return defaultHistoryLimit;
    return limit;
}

const char* Str(const qirString& s) { return s.Data() ? s.Data() : ""; }

// Keep unless the value is "No" in any case; a missing key keeps.
int Keep(const char* key) { return !qirConfig.Get(key).EqualsIgnoreCase("No"); }

void SaveHistory(qirHistory* history, const char* cantSave) {
    int r = history->Save();
    if (r == qirOK || !qirLog)
        return;
    if (r == -29)
        qirLog->Write(qirLogError, "History is overflowing");
    else
        qirLog->Report(qirLogError, cantSave, history->Path() ? history->Path() : "");
}

}  // namespace

qirString& qirMainWindow::RememberedPassword() {
    // Lives to the end of the process, with the other statics.
    static qirString password;
    return password;
}

int qirMainWindow::PostPasswordDialog(qirString* password) {
    qirMainWindow* app = qirApp;
    Session* session = Session::instance();
    if (!session || !session->default_display())
        return 0;
    qirPasswordDialog* dialog =
        new qirPasswordDialog(qirString(qirUiText(630)), app ? app->AppStyle() : session->style(),
                              app && app->Kit() ? app->Kit() : WidgetKit::instance(),
                              app && app->Layout() ? app->Layout() : LayoutKit::instance());
    Resource::ref(dialog);
    Display* d = session->default_display();
    bool accepted = dialog->post_at(d->width() / 2, d->height() / 2);
    if (accepted)
        *password = dialog->Password();
    Resource::unref(dialog);
    return accepted ? 1 : 0;
}

int (*qirMainWindow::AskPassword)(qirString* password) = &qirMainWindow::PostPasswordDialog;

void qirMainWindow::CheckNewMail() {
    // What is wrong with the content of fetched messages is told once, at
    // the very end, after the folder shows them and the history is saved.
    qirReceivedStretch received;
    qirString& password = RememberedPassword();
    if (!password.Data())
        password = qirConfig.Get("Pop3.Passwd");
    if (qirLog)
        qirLog->Debug("Checking for New mail", __FILE__, __LINE__);

    qirString folderDir = qirConfig.Get("FolderDir");
    qirFolder* incoming = folders_ ? folders_->Incoming() : nullptr;
    qirFolder* own = nullptr;
    if (!incoming) {
        if (qirLog)
            qirLog->Debug("Opening incoming folder", __FILE__, __LINE__);
        own = new qirFolder(qirPath(folderDir.Concat("/").Concat("Incoming").Concat(".").Concat("QIR")));
        incoming = own;
    }

    if (qirConfig.Get("UsePOP") == "Yes") {
        if (qirLog)
            qirLog->Debug("Retreiving mail using POP protocol", __FILE__, __LINE__);
        qirString server = qirConfig.Get("Pop3.Server");
        qirString path = folderDir.Concat("/").Concat("pop_history:").Concat(Str(server));
        qirHistory* history = new qirHistory(Str(path), HistoryLimit("Pop3.HistoryLimit"));
        if (history->Load() != qirOK && qirLog)
            qirLog->Report(qirLogWarning, "Can't load POP History from file: %s", Str(path));
        if (password.IsEmpty()) {
            qirString typed;
            if (AskPassword && AskPassword(&typed))
                password = typed;
            else
                password = "";
        }
        int r = incoming->FetchPOP3(server, qirConfig.Get("Pop3.Service"), qirConfig.Get("Pop3.User"),
                                    password, history, Keep("Pop3.LeaveOnServer"));
        if (r != qirOK)
            password = "";  // asked again at the next check
        else
            history->PurgeUnmarked();
        SaveHistory(history, "Can't save POP History from file: %s");
        delete history;
    } else {
        if (qirLog)
            qirLog->Write(qirLogInfo, "Retreiving mail using local mailbox");
        qirString path = folderDir.Concat("/").Concat("pop_history:").Concat("local.mailbox");
        qirHistory* history = new qirHistory(Str(path), HistoryLimit("SMTP.HistoryLimit"));
        if (history->Load() != qirOK && qirLog)
            qirLog->Report(qirLogWarning, "Can't load History from file: %s", Str(path));
        qirPath spool(qirConfig.Get("MailBox.FileName"));
        spool.ExpandTilde();
        if (incoming->FetchMailbox(spool, history, Keep("MailBox.LeaveInMailBox")) == qirOK)
            history->PurgeUnmarked();
        SaveHistory(history, "Can't save  History from file: %s");
        delete history;
    }

    if (qirLog)
        qirLog->Write(qirLogInfo, "Mail retreiving done");
    delete own;
}
