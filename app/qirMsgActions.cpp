// Mail headers first: InterViews' macros would rename their members.
#include "qirAddrBook.h"
#include "qirError.h"
#include "qirFolder.h"
#include "qirMboxWriter.h"
#include "qirMsg.h"
#include "qirFormat.h"
#include "qirStatus.h"
#include "qirMsgListItem.h"
#include "qirMainWindow.h"
#include "qirMsgList.h"

#include "qirMsgActions.h"

#include "qirChooseFolderDialog.h"
#include "qirMessageBox.h"
#include "qirUiText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

const char* Str(const qirString& s) { return s.Data() ? s.Data() : ""; }

void Redraw(qirFolder* folder) {
    if (qirMsgList* list = dynamic_cast<qirMsgList*>(folder))
        list->RedrawList();
}

}  // namespace

qirFolder* qirMsgActions::ChooseFolder(Window* over) {
    qirFolder* chosen = nullptr;
    qirChooseFolderDialog* dialog = new qirChooseFolderDialog(&chosen);
    Resource::ref(dialog);
    bool accepted = dialog->post_for(over);
    Resource::unref(dialog);
    return accepted ? chosen : nullptr;
}

int qirMsgActions::CopyTo(qirFolder* source, qirMsg* const* messages, int n, qirFolder* target, int move,
                          Window* over, int* doneFlags) {
    if (!target || n <= 0)
        return -1;
    if (move && target == source) {
        qirMessageBox::Warn(over, qirString("You may not move messages to the same folder!"));
        return -1;
    }
    std::vector<int> done(n, 0);
    int r = move && source ? target->MoveIn(source, messages, n, done.data())
                           : target->CopyIn(messages, n, done.data(), move);
    if (move) {
        // A message moved is gone from the source with its row; one kept
        // there after its copy is marked deleted.
        int kept = 0;
        for (int i = 0; i < n; i++) {
            if (!messages[i] || (source && done[i] == 1))
                continue;
            if (!done[i]) {
                kept++;
                continue;
            }
            if (!source)
                messages[i]->SetRemoved(1);
            if (qirMsgListItem* item = dynamic_cast<qirMsgListItem*>(messages[i]))
                item->Refresh();
        }
        if (kept && qirLog)
            qirLog->Report(qirLogWarning, "%d of %d messages were not moved to %s: they stay in %s", kept, n,
                           Str(target->Name()), source ? Str(source->Name()) : "");
    }
    if (doneFlags)
        std::copy(done.begin(), done.end(), doneFlags);
    Redraw(target);
    if (source != target)
        Redraw(source);
    return r;
}

int qirMsgActions::ReadWhole(const qirMsg* const* messages, int n, Window* over) {
    for (int i = 0; i < n; i++)
        if (messages[i] && messages[i]->Whole() != qirOK) {
            // Its folder's directory and its own name: the whole path is in
            // the load's report, and would make the box wider than a screen.
            std::string path = Str(messages[i]->Path());
            size_t cut = path.rfind('/');
            if (cut != std::string::npos && cut > 0)
                cut = path.rfind('/', cut - 1);
            std::string text = qirFillFormat(qirUiText(1410), {cut == std::string::npos ? path : path.substr(cut + 1)});
            qirMessageBox::Warn(over, qirString(text.c_str()));
            return 0;
        }
    return 1;
}

int qirMsgActions::ToFolder(qirFolder* source, qirMsg* const* messages, int n, int move, Window* over) {
    if (!ReadWhole(messages, n, over))
        return -1;
    qirFolder* target = ChooseFolder(over);
    return target ? CopyTo(source, messages, n, target, move, over) : -1;
}

int qirMsgActions::Export(qirMsg* const* messages, int n, const qirString& suggested, Window* over) {
    if (!qirApp || !ReadWhole(messages, n, over))
        return -1;
    qirString file = suggested;
    int append = 0;
    qirApp->SaveFileDialog(&file, &append, over);
    if (file.IsEmpty())
        return -1;
    return ExportTo(file, append, messages, n);
}

int qirMsgActions::ExportTo(const qirString& file, int append, qirMsg* const* messages, int n) {
    qirPath path(file); // a name typed with "~" means the home directory
    qirMboxWriter writer(Str(path), append);
    if (writer.Open() != qirOK) {
        int saved = errno;
        if (qirLog) {
            qirLog->Report(qirLogError, "Error opening file!");
            qirLog->Write(qirLogInfo, qirString().Format("Can't open %s: %s", Str(file), strerror(saved)).Data());
        }
        return -1;
    }
    int failed = 0;
    for (int i = 0; i < n; i++) {
        int r = writer.Write(messages[i]);
        if (r == qirWriteError) {
            if (qirLog)
                qirLog->Report(qirLogError, "Error writing file %s: %s; it is left as it was", Str(file),
                               strerror(errno));
            return -1;
        }
        if (r != qirOK) {
            failed++;
            if (qirLog && messages[i])
                qirLog->Write(qirLogWarning,
                              qirString().Format("Not exported: %s (%d)", Str(messages[i]->Path()), r).Data());
        }
    }
    if (failed && qirLog)
        qirLog->Report(qirLogError, "Error exporting message!");
    // A file is not replaced by one that holds none of the messages.
    if (writer.Written() == 0)
        return -1;
    if (writer.Commit() != qirOK) {
        if (qirLog)
            qirLog->Report(qirLogError, "Error writing file %s: %s; it is left as it was", Str(file),
                           strerror(errno));
        return -1;
    }
    if (qirLog)
        qirLog->Write(qirLogInfo,
                      qirString().Format("%d messages exported to %s", writer.Written(), Str(file)).Data());
    return writer.Written();
}

int qirMsgActions::AddSenders(qirMsg* const* messages, int n, Window* over) {
    if (!ReadWhole(messages, n, over))
        return -1;
    qirAddrBook* book = qirApp ? qirApp->Book() : nullptr;
    if (!book || !book->IsLocked()) {
        if (qirLog)
            qirLog->Report(qirLogError, "No sender added: the address book could not be loaded or another "
                                        "program holds its lock");
        return -1;
    }
    qirAddrBookEntry* last = book->Last();
    int added = book->AddSenders(messages, n);
    int status = book->Save();
    if (status != qirOK) {
        // The book in memory stays what the file holds.
        while (book->Last() != last) {
            qirAddrBookEntry* e = book->Last();
            book->Unlink(e);
            delete e;
        }
        if (qirLog)
            qirLog->Report(qirLogError, "No sender added: the address book %s could not be saved (%d)",
                           Str(book->Path()), status);
        return -1;
    }
    qirApp->RefreshAddressBook();
    return added;
}
