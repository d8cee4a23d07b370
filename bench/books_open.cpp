// Opening the address book window and the filter book on books of growing
// size: from the file on disk to the window drawn on the display (the load,
// one row per entry or filter, the layout, the first draw).  Best of five
// openings at each size; the sizes show whether the cost grows linearly.
// Needs an X display:  DISPLAY=:N bench_books_open [SCRATCH_DIR]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "qirAddrBook.h"
#include "qirConfiguration.h"
#include "qirFilterList.h"
#include "qirLanguageGroup.h"

#include "FilterBookDock.h"
#include "qirAddrBookWindow.h"
#include "qirFilterBookWindow.h"

#include <InterViews/display.h>
#include <InterViews/event.h>
#include <InterViews/session.h>
#include <InterViews/window.h>

namespace {

Session* session;

// Until the window is mapped and everything it was sent is handled.
void Drawn(Window* w)
{
    Display* d = session->default_display();
    do {
        d->sync();
        Event e;
        while (session->read(0, 0, e)) e.handle();
    } while (!w->is_mapped());
    d->flush();
}

double Ms(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

double AddressBook(const std::string& dir, int count)
{
    std::string path = dir + "/book" + std::to_string(count);
    FILE* f = fopen(path.c_str(), "w");
    for (int i = 0; i < count; i++)
        fprintf(f, "alias%d\nPerson Number %d\nOrganisation %d\nperson%d@example.org\n0 0 0 0\n", i, i, i % 50, i);
    fclose(f);
    double best = 1e9;
    for (int run = 0; run < 5; run++) {
        auto t = std::chrono::steady_clock::now();
        qirAddrBook* book = new qirAddrBook(path.c_str());
        if (book->Load() != 0 || book->Count() != count) exit(1);
        qirAddrBookWindow* window = new qirAddrBookWindow(book);
        Drawn(window->TheWindow());
        best = std::min(best, Ms(t));
        delete window;
        delete book;
        session->default_display()->sync();
    }
    return best;
}

double FilterBook(const std::string& dir, int count)
{
    std::string path = dir + "/filter" + std::to_string(count);
    {
        qirFilterList list;
        list.Load(path.c_str());
        for (int i = 0; i < count; i++)
            list.Append(new qirFilter(("Filter " + std::to_string(i)).c_str(), i % 3 != 0,
                                      qirFilterCondition(8, qirWildcard(("*topic " + std::to_string(i) + "*").c_str(), 0),
                                                         ""),
                                      1, "Folder_1.QIR", "", ""));
        if (list.Save() != 0) exit(1);
    }
    double best = 1e9;
    for (int run = 0; run < 5; run++) {
        auto t = std::chrono::steady_clock::now();
        qirFilterList* list = new qirFilterList();
        if (list->Load(path.c_str()) != 0 || list->Count() != count) exit(1);
        if (getenv("BENCH_PARTS")) fprintf(stderr, "load %.1f\n", Ms(t));
        FilterBookDock* dock = new FilterBookDock(list, nullptr);
        dock->open();
        if (getenv("BENCH_PARTS")) fprintf(stderr, "build %.1f\n", Ms(t));
        Drawn(dock->BookWindow()->TheWindow());
        best = std::min(best, Ms(t));
        delete dock;
        delete list;
        session->default_display()->sync();
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    static char name[] = "qir-bench";
    static char* args[] = {name, nullptr};
    int ac = 1;
    session = new Session("QIR", ac, args);
    qirLanguage.Load(QIR_BUILD_DATA "/QIR/Languages/English");
    std::string base = argc > 1 ? argv[1] : "/tmp";
    std::string tmpl = base + "/qir-bench-books-XXXXXX";
    if (!mkdtemp(&tmpl[0])) return 1;

    for (int count : {1000, 10000})
        printf("address book of %6d entries, file to drawn window: %8.1f ms\n", count, AddressBook(tmpl, count));
    for (int count : {100, 1000, 10000})
        printf("filter book of  %6d filters, file to drawn window: %8.1f ms\n", count, FilterBook(tmpl, count));
    std::string rm = "rm -rf '" + tmpl + "'";
    return system(rm.c_str()) == 0 ? 0 : 1;
}
