// Sorting a folder of 10,000 loaded messages by each method, and making the
// summary line of every one of them (what opening the list costs per row).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "qirAddress.h"
#include "qirConfiguration.h"
#include "qirList.h"
#include "qirMsg.h"
#include "qirMsgSort.h"
#include "qirShortHeader.h"

int main(int argc, char** argv)
{
    const int count = argc > 1 ? atoi(argv[1]) : 10000;
    char scratch[] = "/tmp/qir-bench-sort-XXXXXX";
    if (!mkdtemp(scratch)) return 1;
    std::mt19937 random(1);
    qirList list;
    for (int i = 0; i < count; i++) {
        qirMsg* m = new qirMsg(qirPath((std::string(scratch) + "/Message" + std::to_string(i)).c_str()));
        qirString subject(("Subject " + std::to_string(random() % 5000)).c_str());
        if (i % 10) m->SetSubject(&subject);
        std::string who = "user" + std::to_string(random() % 3000);
        qirAddress from((who + "@example.org").c_str(), i % 7 ? ("Name " + who).c_str() : nullptr);
        m->AddFrom(&from);
        m->SetDate(1700000000 + long(random() % 10000000));
        list.Append(m);
    }
    const char* names[] = {"unsorted", "date", "arrival", "sender name", "sender mailbox", "subject", "size"};
    for (int method = 0; method < qirMsgSort::MethodCount; method++) {
        auto t0 = std::chrono::steady_clock::now();
        qirMsgSort::Sort(&list, method);
        double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        printf("sort %6d messages by %-15s %8.2f ms\n", count, names[method], ms);
    }

    qirConfiguration columns("Short-Header-Format");
    const char* layout[][3] = {{"Date", "16", "%d %b %y %H:%M"}, {"Delimiter", "2", " "}, {"From", "28", ""},
                               {"Delimiter", "2", " "}, {"Subj", "60", ""}};
    for (int i = 0; i < 5; i++) {
        std::string n = std::to_string(i + 1);
        for (int v = 0; v < 3; v++) columns.Set(n.c_str(), layout[i][v], v);
    }
    qirShortHeader format(&columns);
    auto t0 = std::chrono::steady_clock::now();
    size_t total = 0;
    for (qirObject* o = list.First(); o; o = qirList::Next(o)) total += format.RowText(static_cast<qirMsg*>(o)).Length();
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    printf("summary lines of %6d messages       %8.2f ms (%zu characters)\n", count, ms, total);

    list.Remove(nullptr);
    std::string rm = std::string("rm -rf ") + scratch;
    return system(rm.c_str()) == 0 ? 0 : 1;
}
