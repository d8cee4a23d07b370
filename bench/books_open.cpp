// Opening the address book window and the filter book on books of growing
// size: from the file on disk to the window drawn on the display (the load,
// one row per entry or filter, the layout, the first draw).  Each opening
// runs in a fresh process, as the program opens a book once; the median of
// five at each size, which shows whether the cost grows linearly.
// Needs an X display:  DISPLAY=:N bench_books_open [SCRATCH_DIR]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

#include "qirBenchMedian.h"
#include "qirAddrBook.h"
#include "qirConfiguration.h"
#include "qirFilterList.h"
#include "qirLanguageGroup.h"

#include "FilterBookDock.h"
#include "qirAddrBookWindow.h"
#include "qirFilterBookWindow.h"

#include <IV-look/kit.h>
#include <InterViews/display.h>
#include <InterViews/layout.h>
#include <InterViews/event.h>
#include <InterViews/session.h>
#include <InterViews/window.h>
#include "qirBenchSession.h"

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

void WriteAddressBook(const std::string& path, int count)
{
    FILE* f = fopen(path.c_str(), "w");
    for (int i = 0; i < count; i++)
        fprintf(f, "alias%d\nPerson Number %d\nOrganisation %d\nperson%d@example.org\n0 0 0 0\n", i, i, i % 50, i);
    fclose(f);
}

double OpenAddressBook(const std::string& path, int count)
{
    auto t = std::chrono::steady_clock::now();
    qirAddrBook* book = new qirAddrBook(path.c_str());
    if (book->Load() != 0 || book->Count() != count) exit(1);
    qirAddrBookWindow* window = new qirAddrBookWindow(book);
    Drawn(window->TheWindow());
    return Ms(t);
}

void WriteFilterBook(const std::string& path, int count)
{
    qirFilterList list;
    list.Load(path.c_str());
    for (int i = 0; i < count; i++)
        list.Append(new qirFilter(("Filter " + std::to_string(i)).c_str(), i % 3 != 0,
                                  qirFilterCondition(8, qirWildcard(("*topic " + std::to_string(i) + "*").c_str(), 0), ""),
                                  1, "Folder_1.QIR", "", ""));
    if (list.Save() != 0) exit(1);
}

double OpenFilterBook(const std::string& path, int count)
{
    auto t = std::chrono::steady_clock::now();
    qirFilterList* list = new qirFilterList();
    if (list->Load(path.c_str()) != 0 || list->Count() != count) exit(1);
    FilterBookDock* dock = new FilterBookDock(list, nullptr);
    dock->open();
    Drawn(dock->BookWindow()->TheWindow());
    return Ms(t);
}

// The median of five openings, each in a child process of its own with its
// own session.
double Median(double (*open)(const std::string&, int), const std::string& path, int count)
{
    std::vector<double> times;
    for (int run = 0; run < 5; run++) {
        int fds[2];
        if (pipe(fds) != 0) exit(1);
        pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            session = qirBenchSession();
            qirLanguage.Load(QIR_BUILD_DATA "/QIR/Languages/English");
            // In the program the kits and fonts are there before a book
            // opens: a first window brings them.
            TopLevelWindow* first = new TopLevelWindow(WidgetKit::instance()->inset_frame(
                LayoutKit::instance()->margin(WidgetKit::instance()->label("Quorvane"), 10)));
            first->map();
            Drawn(first);
            double ms = open(path, count);
            _exit(write(fds[1], &ms, sizeof ms) == sizeof ms ? 0 : 1);
        }
        close(fds[1]);
        double ms = 0;
        int status = 0;
        bool got = read(fds[0], &ms, sizeof ms) == sizeof ms;
        close(fds[0]);
        waitpid(pid, &status, 0);
        if (!got || status != 0) exit(1);
        times.push_back(ms);
    }
    return qirMedian(times);
}

} // namespace

int main(int argc, char** argv)
{
    std::string base = argc > 1 ? argv[1] : "/tmp";
    std::string tmpl = base + "/qir-bench-books-XXXXXX";
    if (!mkdtemp(&tmpl[0])) return 1;

    for (int count : {1000, 10000}) {
        std::string path = tmpl + "/book" + std::to_string(count);
        WriteAddressBook(path, count);
        printf("address book of %6d entries, file to drawn window: %8.1f ms\n", count,
               Median(OpenAddressBook, path, count));
    }
    for (int count : {100, 1000, 10000}) {
        std::string path = tmpl + "/filter" + std::to_string(count);
        WriteFilterBook(path, count);
        printf("filter book of  %6d filters, file to drawn window: %8.1f ms\n", count,
               Median(OpenFilterBook, path, count));
    }
    std::string rm = "rm -rf '" + tmpl + "'";
    return system(rm.c_str()) == 0 ? 0 : 1;
}
