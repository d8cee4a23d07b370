// 100,000 reports to the session log of the window process with its panel
// on the screen: each reaches the log file and the panel, which keeps its
// last lines.  Reported as the event loop would see them: the loop turns
// (timers, drawing) after every `batch` reports, 1 being the worst case of
// one report per event.  Prints the total time, the time per report over
// the first and the last 10,000, and the resident memory along the way.
// Needs an X display: DISPLAY=:N bench_log_panel [count] [batch] [scratch dir]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qirConfiguration.h"
#include "qirResident.h"
#include "qirLayout.h"
#include "qirLanguageGroup.h"

#include "qirDispatch.h"
#include "qirLogWindow.h"
#include "qirRTFPanel.h"

#include <IV-look/kit.h>
#include <InterViews/display.h>
#include <InterViews/event.h>
#include <InterViews/layout.h>
#include <InterViews/session.h>
#include <InterViews/style.h>
#include <InterViews/window.h>
#include "qirBenchSession.h"

#undef Text

// One turn of the event loop: pending events, due timers (the panel is
// filled from one), then the drawing that follows.
static void Turn(Session* s)
{
    Event e;
    while (s->read(0, 0, e)) e.handle();
    long sec = 0, usec = 0;
    Dispatcher::instance().dispatch(sec, usec);
    s->default_display()->repair();
    s->default_display()->flush();
}

static double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int main(int argc, char** argv)
{
    const int count = argc > 1 ? atoi(argv[1]) : 100000;
    const int batch = argc > 2 && atoi(argv[2]) > 0 ? atoi(argv[2]) : 1;
    std::string scratch = argc > 3 ? argv[3] : "/tmp";
    Session* session = qirBenchSession();
    qirConfig.Load(QIR_BUILD_DATA "/QIR.cfg");
    qirConfig.Set("Debug.Window", "Yes");
    qirLanguage.Load(QIR_BUILD_DATA "/QIR/Languages/English");

    std::string dirTemplate = scratch + "/qir-bench-log-XXXXXX";
    std::vector<char> dir(dirTemplate.begin(), dirTemplate.end());
    dir.push_back(0);
    if (!mkdtemp(dir.data())) return 1;
    std::string logPath = std::string(dir.data()) + "/QIR.log";
    qirError* plain = new qirError();
    plain->Open(logPath.c_str(), qirLogDebug, -1);
    qirLayout* layout = new qirLayout(qirPath((std::string(dir.data()) + "/layout").c_str()));
    qirLogWindow* log = new qirLogWindow(plain, &qirConfig, layout, WidgetKit::instance(), LayoutKit::instance(),
                                         session->style());
    delete plain;
    qirLog = log;
    log->Open(logPath.c_str(), qirLogDebug, -1);

    // The panel as the main window shows it, 100 points high.
    LayoutKit* lk = LayoutKit::instance();
    ApplicationWindow* window =
        new ApplicationWindow(lk->hfixed(lk->vfixed(WidgetKit::instance()->inset_frame(log->PanelGlyph()), 100), 300));
    window->map();
    for (int i = 0; i < 50; i++) Turn(session);

    long startKB = qirResidentKB();
    const int window10k = count >= 20000 ? 10000 : count / 2;
    double first = 0, last = 0;
    auto begin = std::chrono::steady_clock::now();
    auto mark = begin;
    for (int i = 0; i < count; i++) {
        if (i == window10k) first = Seconds(mark);
        if (i == count - window10k) mark = std::chrono::steady_clock::now();
        qirLog->Report(qirLogStatistics, "POP: Receiving message %d of %d <%s>", i + 1, count, "pop.example.org");
        if ((i + 1) % batch == 0) Turn(session);
        if ((i + 1) % (count / 4 > 0 ? count / 4 : 1) == 0)
            printf("after %6d reports: %7.3f s, resident %ld kB\n", i + 1, Seconds(begin), qirResidentKB());
    }
    Turn(session);
    last = Seconds(mark);
    double total = Seconds(begin);
    long endKB = qirResidentKB();

    const qirRTFDocument& doc = log->Panel()->Editor()->Document();
    int lines = 0;
    for (char c : doc.Text()) lines += c == '\n';
    printf("%d reports, event loop turned every %d: %.3f s in all, %.2f us per report\n", count, batch, total,
           total * 1e6 / count);
    printf("first %d: %.2f us per report; last %d: %.2f us per report\n", window10k, first * 1e6 / window10k,
           window10k, last * 1e6 / window10k);
    printf("resident memory: %ld kB before, %ld kB after (%+ld kB); the panel holds %d lines\n", startKB, endKB,
           endKB - startKB, lines);

    delete window;
    delete log;
    qirLog = nullptr;
    delete layout;
    std::string rm = std::string("rm -rf '") + dir.data() + "'";
    return system(rm.c_str()) == 0 ? 0 : 1;
}
