// Opening a folder of 10,000 messages into its message list window (load,
// one row and summary line per message, counters, first draw), sorting the
// open window by each method, and the process's memory with it open.
// Needs an X display: DISPLAY=:N bench_msglist_open [count]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "qirAddress.h"
#include "qirConfiguration.h"
#include "qirResident.h"
#include "qirHeaderFields.h"
#include "qirLanguageGroup.h"
#include "qirMsgListItem.h"
#include "qirMsgSort.h"

#include "qirListBox.h"
#include "qirMsgList.h"

#include <InterViews/display.h>
#include <InterViews/event.h>
#include <InterViews/session.h>
#include <InterViews/window.h>

static void Pump(Session* s)
{
    s->default_display()->sync();
    Event e;
    while (s->read(0, 0, e)) e.handle();
    s->default_display()->flush();
}

int main(int argc, char** argv)
{
    const int count = argc > 1 ? atoi(argv[1]) : 10000;
    static char name[] = "qir-bench";
    static char* args[] = {name, nullptr};
    int ac = 1;
    Session* session = new Session("QIR", ac, args);
    qirConfig.Load(QIR_BUILD_DATA "/QIR.cfg");
    qirLanguage.Load(QIR_BUILD_DATA "/QIR/Languages/English");

    char scratch[] = "/tmp/qir-bench-open-XXXXXX";
    if (!mkdtemp(scratch)) return 1;
    std::string dir = std::string(scratch) + "/Work.QIR";
    mkdir(dir.c_str(), 0700);
    for (int i = 0; i < count; i++) {
        qirMsg m(qirPath((dir + "/Message" + std::to_string(i)).c_str()));
        std::string subject = "Subject " + std::to_string((i * 7919) % 5000);
        qirHeaderFields fields;
        fields.Add("Subject:", subject.c_str());
        m.SetFields(&fields);
        qirString s(subject.c_str());
        m.SetSubject(&s);
        std::string who = "user" + std::to_string(i % 300);
        qirAddress a((who + "@example.org").c_str(), ("Name " + who).c_str());
        m.AddFrom(&a);
        m.SetDate(1700000000 + (i * 104729L) % 10000000);
        m.SetRead(i % 3 == 0);
        if (m.Save() != 0) return 1;
    }
    {
        // The engine alone, for comparison: the same folder loaded bare.
        qirFolder bare(qirPath(dir.c_str()));
        auto t = std::chrono::steady_clock::now();
        bare.Load();
        printf("engine load of the folder alone:             %8.1f ms\n",
               std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count());
    }
    long before = qirResidentKB();

    qirListBox* rows = new qirListBox(0, nullptr);
    Resource::ref(rows);
    qirMsgList* list = new qirMsgList(qirPath(dir.c_str()), rows);
    auto t0 = std::chrono::steady_clock::now();
    list->activate();
    Pump(session);
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    printf("open %d messages into the list window, drawn: %8.1f ms\n", count, ms);
    printf("resident memory: %ld kB before, %ld kB with the window open (+%ld kB)\n", before, qirResidentKB(),
           qirResidentKB() - before);

    const char* names[] = {"nothing", "date", "arrival", "sender name", "sender mailbox", "subject", "size"};
    for (int method = 0; method < qirMsgSort::MethodCount; method++) {
        auto t1 = std::chrono::steady_clock::now();
        list->Sort(method);
        Pump(session);
        double sms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t1).count();
        printf("sort the open window by %-15s %8.1f ms\n", names[method], sms);
    }
    auto t2 = std::chrono::steady_clock::now();
    list->CloseWindow();
    printf("close (flush, unload): %8.1f ms\n",
           std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t2).count());
    delete list;
    Resource::unref(rows);
    std::string rm = std::string("rm -rf ") + scratch;
    return system(rm.c_str()) == 0 ? 0 : 1;
}
