// The message view window: opening a message with a 10 MB text body and
// 500 attachments (a row's double click to the drawn window), and stepping
// with Next through 1,000 messages of a 10,000-message folder (median time
// per step, each step drawn).
// Needs an X display: DISPLAY=:N bench_msgview_open [scratch directory]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "qirConfiguration.h"
#include "qirLanguageGroup.h"
#include "qirMsgListItem.h"

#include "AttachItem.h"
#include "MsgView.h"
#include "MsgViewDock.h"
#include "qirAfterEvent.h"
#include "qirListBox.h"
#include "qirRTFPanel.h"
#include "qirMsgList.h"

#include <InterViews/display.h>
#include <InterViews/event.h>
#include <InterViews/session.h>
#include "qirBenchSession.h"

namespace {

void Pump(Session* s)
{
    s->default_display()->sync();
    Event e;
    while (s->read(0, 0, e)) e.handle();
    s->default_display()->flush();
    s->default_display()->sync();
}

double Ms(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

int Import(const std::string& path, const std::string& text)
{
    qirMsg m{qirPath(path.c_str())};
    FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    int r = m.ImportRFC822(in);
    fclose(in);
    return r != 0 ? r : m.Save();
}

std::string Head(int i)
{
    char date[64];
    snprintf(date, sizeof date, "Mon, 01 Jan 2024 %02d:%02d:%02d +0000", i / 3600 % 24, i / 60 % 60, i % 60);
    return "From: Sender " + std::to_string(i % 300) + " <s" + std::to_string(i % 300) + "@example.org>\n"
           "To: me@example.org\nDate: " + date + "\nSubject: Message " + std::to_string(i) + "\n";
}

// A folder's list window, open.
struct OpenFolder {
    qirListBox* rows;
    qirMsgList* list;
    explicit OpenFolder(const std::string& dir)
    {
        rows = new qirListBox(0, nullptr);
        Resource::ref(rows);
        list = new qirMsgList(qirPath(dir.c_str()), rows);
        list->OpenWindow();
        list->Sort(1);
    }
    ~OpenFolder()
    {
        list->CloseWindow();
        qirAfterEvent::RunPending();
        delete list;
        Resource::unref(rows);
    }
    qirMsgListItem* First() const { return static_cast<qirMsgListItem*>(list->qirFolder::First()); }
};

} // namespace

int main(int argc, char** argv)
{
    Session* session = qirBenchSession();
    qirBenchLoadShippedData();

    std::string root = qirBenchScratch(argc, argv, "qir-bench-view");
    if (root.empty()) return 1;

    // One message: a 10 MB text and 500 attachments of every main type.
    std::string big = root + "/Big.QIR";
    mkdir(big.c_str(), 0700);
    {
        std::string text = Head(0) + "Content-Type: multipart/mixed; boundary=B\n\n--B\nContent-Type: text/plain\n\n";
        std::string line = "The quick brown fox jumps over the lazy dog, and the dog does not mind at all.\n";
        while (text.size() < 10 * 1000 * 1000) text += line;
        const char* types[] = {"image/png", "application/pdf", "audio/basic", "video/mpeg", "text/html",
                               "message/rfc822", "model/vrml"};
        for (int i = 0; i < 500; i++)
            text += "\n--B\nContent-Type: " + std::string(types[i % 7]) + "; name=\"part" + std::to_string(i) +
                    ".bin\"\n\nattachment number " + std::to_string(i) + "\n";
        text += "--B--\n";
        if (Import(big + "/Message0", text) != 0) return 1;
        for (int i = 1; i < 12; i++)
            if (Import(big + "/Message" + std::to_string(i), Head(i) + "\nshort text\n") != 0) return 1;
    }
    {
        OpenFolder folder(big);
        Pump(session);
        std::vector<double> times;
        for (int round = 0; round < 5; round++) {
            qirMsgListItem* m = folder.First();
            auto t = std::chrono::steady_clock::now();
            m->Activate();
            Pump(session);
            double ms = Ms(t);
            times.push_back(ms);
            if (round == 0) {
                MsgView* v = m->ViewDock()->View();
                printf("(the view shows %d attachments and a text of %d characters)\n", v->Attachments()->Count(),
                       v->BodyPanel()->Editor()->Document().Length());
            }
            printf("open the 10 MB message with 500 attachments, drawn: %8.1f ms\n", ms);
            m->ViewDock()->close();
            qirAfterEvent::RunPending();
            Pump(session);
        }
        double first = times[0];
        std::sort(times.begin(), times.end());
        printf("first open %.1f ms (icons and fonts read), median of 5 %.1f ms\n", first, times[2]);
    }

    // Stepping: 10,000 messages, Next 1,000 times.
    std::string many = root + "/Many.QIR";
    mkdir(many.c_str(), 0700);
    for (int i = 0; i < 10000; i++)
        if (Import(many + "/Message" + std::to_string(i),
                   Head(i) + "\nThe text of message " + std::to_string(i) + ".\nA second line.\n") != 0)
            return 1;
    {
        OpenFolder folder(many);
        Pump(session);
        qirMsgListItem* first = folder.First();
        first->Activate();
        Pump(session);
        MsgView* view = first->ViewDock()->View();
        std::vector<double> steps;
        for (int i = 0; i < 1000; i++) {
            auto t = std::chrono::steady_clock::now();
            view->Next();
            Pump(session);
            steps.push_back(Ms(t));
        }
        std::sort(steps.begin(), steps.end());
        printf("Next through 1,000 of 10,000 messages, drawn: median %.2f ms, 90th %.2f ms, slowest %.2f ms\n",
               steps[500], steps[900], steps.back());
    }
    std::string rm = "rm -rf '" + root + "'";
    return system(rm.c_str()) == 0 ? 0 : 1;
}
