// What the windows keep when used again and again: the resident memory of
// the process at the start and the end of 100 compose windows opened and
// discarded, 1,000 Next steps through a folder of messages with
// attachments, and 1,000 help page loads each followed by a resize.  Each
// run draws what it opens and handles the events after it, as the session
// does.  A window that keeps nothing shows the same figure at both ends
// (give or take what the allocator keeps for itself); the steps to and
// fro over a few messages tell what the view keeps from what the messages
// read keep.
// Needs an X display: DISPLAY=:N bench_window_memory [scratch directory]
#include <malloc.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// The engine's headers first: InterViews' macros rename words they use.
#include "qirConfiguration.h"
#include "qirError.h"
#include "qirLanguageGroup.h"
#include "qirMsg.h"
#include "qirMsgListItem.h"
#include "qirMainWindow.h"

#include "MsgEdit.h"
#include "MsgEditDock.h"
#include "MsgView.h"
#include "MsgViewDock.h"
#include "qirAfterEvent.h"
#include "qirHelpManager.h"
#include "qirHelpWindow.h"
#include "qirMsgList.h"
#include "qirRTFView.h"

#include <IV-X11/xdisplay.h>
#include <IV-X11/xwindow.h>
#include <InterViews/display.h>
#include <InterViews/event.h>
#include <InterViews/session.h>
#include <InterViews/window.h>

#include "qirBenchSession.h"
#include "qirResident.h"

namespace {

// The events the last step left, and the work after them.
void Settle(Session* s)
{
    for (int round = 0; round < 3; round++) {
        s->default_display()->sync();
        Event e;
        while (s->read(0, 0, e)) e.handle();
        qirAfterEvent::RunPending();
    }
    s->default_display()->flush();
}

int Import(const std::string& path, const std::string& text)
{
    qirMsg m{qirPath(path.c_str())};
    FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    int r = m.ImportRFC822(in);
    fclose(in);
    return r != 0 ? r : m.Save();
}

// A message with a text and two attachments.
std::string Mail(int i)
{
    std::string n = std::to_string(i);
    return "From: Sender " + n + " <s" + n + "@example.org>\nTo: me@example.org\n"
           "Date: Mon, 01 Jan 2024 10:00:00 +0000\nSubject: Message " + n + "\n"
           "Content-Type: multipart/mixed; boundary=B\n\n"
           "--B\nContent-Type: text/plain\n\nThe text of message " + n + ".\n"
           "--B\nContent-Type: image/png; name=\"picture" + n + ".png\"\n\nPNG data\n"
           "--B\nContent-Type: application/pdf; name=\"paper" + n + ".pdf\"\n\n%PDF data\n--B--\n";
}

// The resident memory and, finer, the bytes the heap has handed out.
struct Memory {
    long resident = qirResidentKB();
    long heap = static_cast<long>(mallinfo2().uordblks);
};

void Report(const char* what, const Memory& start)
{
    Memory end;
    printf("%-46s resident %6ld -> %6ld kB (%+5ld kB), heap in use %+8ld bytes\n", what, start.resident, end.resident,
           end.resident - start.resident, end.heap - start.heap);
}

} // namespace

int main(int argc, char** argv)
{
    Session* session = qirBenchSession();
    qirBenchLoadShippedData();

    std::string root = qirBenchScratch(argc, argv, "qir-bench-memory");
    if (root.empty()) return 1;
    std::string folders = root + "/.QIR";
    mkdir(folders.c_str(), 0700);
    qirConfig.Set("FolderDir", folders.c_str());
    qirConfig.Set("AddrBook", (folders + "/book").c_str());
    qirConfig.Set("Layout", (folders + "/layout").c_str());
    qirConfig.Set("HelpPath", QIR_BUILD_DATA "/QIR/Help");
    qirConfig.Set("CheckMailOnStartup", "no");
    std::string work = folders + "/Work.QIR";
    mkdir(work.c_str(), 0700);
    for (int i = 0; i <= 1000; i++)
        if (Import(work + "/Message" + std::to_string(i), Mail(i)) != 0) return 1;

    qirLog = new qirError();
    qirLog->Open((folders + "/QIR.log").c_str(), 5, -1);
    qirApp = new qirMainWindow();
    if (qirApp->Start() != 0) return 1;
    Settle(session);

    // A first window of each kind reads its fonts, pictures and pages:
    // what that keeps is the session's, not each window's.
    auto compose = [&]() {
        MsgEditDock* dock = qirApp->NewComposeDock();
        if (!dock) return false;
        dock->open();
        Settle(session);
        dock->ComposeWindow()->Discard();
        Settle(session);
        return true;
    };
    if (!compose()) return 1;
    Memory start;
    for (int i = 0; i < 100; i++)
        if (!compose()) return 1;
    Report("100 compose windows opened and discarded:", start);

    qirMsgList* list = static_cast<qirMsgList*>(qirApp->FolderNamed(qirString("Work.QIR")));
    if (!list) return 1;
    list->OpenWindow();
    list->Sort(1);
    Settle(session);
    qirMsgListItem* first = static_cast<qirMsgListItem*>(list->qirFolder::First());
    first->Activate();
    Settle(session);
    MsgView* view = first->ViewDock()->View();
    view->Next();
    Settle(session);
    start = Memory();
    for (int i = 0; i < 1000; i++) {
        view->Next();
        Settle(session);
    }
    Report("1,000 Next steps, two attachments a message:", start);
    // Each message read keeps its parts: stepping over the same ten again
    // and again shows what the view itself keeps.
    for (int i = 0; i < 1000; i++)
        view->Previous();
    Settle(session);
    start = Memory();
    for (int i = 0; i < 1000; i++) {
        if (i % 10 < 5)
            view->Next();
        else
            view->Previous();
        Settle(session);
    }
    Report("1,000 steps to and fro over the first five:", start);
    list->CloseWindow();
    Settle(session);

    const char* pages[] = {"index.rtf", "h_msg_edit.rtf", "h_folders.rtf"};
    auto helpPage = [&](int i) {
        qirHelp.Show(qirHelpReference(qirString("Help"), qirPath(pages[i % 3])));
        Settle(session);
        qirHelpWindow* w = qirHelp.HelpWindow();
        if (!w || !w->TheWindow()) return false;
        // The window manager's resize: a new width reaches the view.
        XResizeWindow(session->default_display()->rep()->display_, static_cast<Window*>(w->TheWindow())->rep()->xwindow_,
                      500 + (i % 5) * 60, 600);
        Settle(session);
        return true;
    };
    for (int i = 0; i < 3; i++)
        if (!helpPage(i)) return 1;
    start = Memory();
    for (int i = 0; i < 1000; i++)
        if (!helpPage(i)) return 1;
    Report("1,000 help page loads, each with a resize:", start);

    qirHelp.Close();
    qirApp->Shutdown();
    Settle(session);
    delete qirApp;
    qirApp = nullptr;
    std::string rm = "rm -rf '" + root + "'";
    return system(rm.c_str()) == 0 ? 0 : 1;
}
