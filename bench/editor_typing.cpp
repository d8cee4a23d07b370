// Typing into a 10,000-line document in an editor on a real X server, with
// the X font metrics of the shipped configuration: the cost of one key
// (edit, local relayout, keeping the cursor in view, damage) with and
// without the redraw it causes, and the jump to the end of the text.
// Run under Xvfb:  xvfb-run -s "-screen 0 1280x1024x24 -dpi 72" bench_editor_typing [QIR.cfg]
#include "qirConfiguration.h"
#include "qirKeyMap.h"
#include "qirRTFEditor.h"

#include <InterViews/display.h>
#include <InterViews/event.h>
#include <InterViews/layout.h>
#include <InterViews/session.h>
#include <InterViews/style.h>
#include <InterViews/window.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "qirBenchMedian.h"

#undef Text

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void Repair(Session& s) {
    Display* d = s.default_display();
    d->repair();
    d->sync();
    Event e;
    while (s.read(0, 0, e))
        e.handle();
}

}  // namespace

int main(int argc, char** argv) {
    const char* cfgPath = argc > 1 ? argv[1] : QIR_DATA_PREFIX "/QIR.cfg";
    int one = 1;
    static char name[] = "bench";
    static char* args[] = {name, nullptr};
    Session session("QIR", one, args);
    qirConfiguration cfg;
    if (cfg.Load(cfgPath) != 0)
        fprintf(stderr, "no configuration at %s: default fonts\n", cfgPath);

    qirRTFEditor* ed = new qirRTFEditor(&cfg, nullptr, qirRTFEditMode, nullptr);
    Resource::ref(ed);
    Display* d = session.default_display();
    TopLevelWindow* w = new TopLevelWindow(
        LayoutKit::instance()->fixed(ed, d->to_coord(700), d->to_coord(600)));
    w->map();
    Repair(session);

    // 10,000 lines of 20 to 90 characters, some long enough to wrap.
    std::string text;
    unsigned seed = 7;
    auto next = [&]() { seed = seed * 1103515245u + 12345u; return (seed >> 16) & 0x7fff; };
    for (int i = 0; i < 10000; ++i) {
        int len = 20 + static_cast<int>(next() % 71) + (next() % 10 == 0 ? 100 : 0);
        for (int col = 0; col < len; ++col)
            text += next() % 6 == 0 ? ' ' : static_cast<char>('a' + next() % 26);
        text += '\n';
    }
    double t0 = Now();
    qirRTFSource src(text.c_str());
    std::string t;
    std::vector<qirRTFStyle> runs;
    std::vector<qirRTFAlign> marks;
    ed->read_plain(src, t, runs, marks);
    ed->clear();
    ed->Document().insert(0, t, runs, marks);
    ed->SetFresh();
    ed->reallocate();
    Repair(session);
    double load = Now() - t0;
    printf("load and lay out %zu bytes (%zu display lines): %.1f ms\n", text.size(),
           ed->Document().Lines().size(), load * 1e3);

    // Keys in the middle of the text, in a paragraph that wraps.
    const int keys = 2000;
    ed->SetCursor(static_cast<int>(text.size() / 2));
    ed->ScrollToCursor();
    Repair(session);
    std::vector<double> typed, drawn;
    for (int round = 0; round < 3; ++round) {
        double a = Now();
        for (int k = 0; k < keys; ++k)
            ed->Type(k % 7 == 0 ? ' ' : static_cast<unsigned char>('a' + k % 26));
        typed.push_back((Now() - a) / keys);
        double b = Now();
        for (int k = 0; k < keys / 10; ++k) {
            ed->Type('z');
            Repair(session);
        }
        drawn.push_back((Now() - b) / (keys / 10));
    }
    printf("one key in a %zu-line document: %.3f ms (edit, relayout, view), %.3f ms with its redraw\n",
           ed->Document().Lines().size(), qirMedian(typed) * 1e3, qirMedian(drawn) * 1e3);

    double c = Now();
    for (int k = 0; k < 100; ++k) {
        ed->execute(qirCmdStartOfText, 0);
        ed->ScrollToCursor();
        ed->execute(qirCmdEndOfText, 0);
        ed->ScrollToCursor();
    }
    printf("go to the start and the end of the text: %.1f us\n", (Now() - c) / 200 * 1e6);

    w->unmap();
    delete w;
    Resource::unref(ed);
    return 0;
}
