// The help viewer on a page of about a megabyte of text/enriched: loading
// and laying it out, then laying it out again for a new width, as a resize
// does.  The engine alone (no display) and the real view on the X server
// named by DISPLAY (the shipped fonts; run under Xvfb).
//   bench_help_page [MEGABYTES]
#include "qirConfiguration.h"
#include "qirRTFEngine.h"
#include "qirRTFView.h"

#include <IV-look/kit.h>
#include <InterViews/canvas.h>
#include <InterViews/display.h>
#include <InterViews/event.h>
#include <InterViews/layout.h>
#include <InterViews/session.h>
#include <InterViews/window.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Paragraphs in the manner of the help pages: headings, styles, links,
// indents, centred and justified text, colours.
std::string Page(size_t bytes) {
    std::string page;
    const char* words[] = {"folder", "message", "window", "the", "select", "rows", "and", "choose",
                           "Delete", "from", "menu", "address", "book", "filter", "of", "a"};
    for (int p = 0; page.size() < bytes; ++p) {
        if (p % 10 == 0)
            page += "<center><bigger><bold>Section " + std::to_string(p / 10) + "</bold></bigger></center>\n\n";
        if (p % 3 == 0)
            page += "<indent>";
        if (p % 7 == 0)
            page += "<flushboth>";
        for (int w = 0; w < 120; ++w) {
            if (w % 17 == 5)
                page += "<href><param>h_folders.rtf</param><x-color><param>blue</param>"
                        "<underline>folder list</underline></x-color></href> ";
            else if (w % 11 == 3)
                page += std::string("<bold>") + words[(p + w) % 16] + "</bold> ";
            else if (w % 13 == 7)
                page += std::string("<italic>") + words[(p * 3 + w) % 16] + "</italic>\n";
            else
                page += std::string(words[(p + w * 7) % 16]) + (w % 9 == 8 ? ",\n" : " ");
        }
        if (p % 7 == 0)
            page += "</flushboth>";
        if (p % 3 == 0)
            page += "</indent>";
        page += "\n\n";
    }
    return page;
}

}  // namespace

int main(int argc, char** argv) {
    double megabytes = argc > 1 ? atof(argv[1]) : 1.0;
    std::string text = Page(static_cast<size_t>(megabytes * 1024 * 1024));
    printf("page: %zu bytes\n", text.size());

    int n = 1;
    char name[] = "bench_help_page";
    char* args[] = {name, nullptr};
    Session* session = new Session("QIR", n, args);
    qirConfig.Load(QIR_BUILD_DATA "/QIR.cfg");
    qirRTFView* view = new qirRTFView();
    Resource::ref(view);
    if (view->ViewStatus() != 0) {
        fprintf(stderr, "the viewer has no configuration\n");
        return 1;
    }
    LayoutKit* lk = LayoutKit::instance();
    TopLevelWindow* window = new TopLevelWindow(lk->fixed(view, 600, 500));
    window->map();
    Event e;
    while (session->read(0, 100000, e))
        e.handle();

    double t0 = Now();
    view->RestartWithText(qirString(text.c_str()), 1);
    view->reformat();
    window->repair();
    window->display()->sync();
    double t1 = Now();
    printf("view: load and lay out %.3f s, %d lines, %zu runs\n", t1 - t0, view->LineCount(), view->Runs().size());

    // A resize: the window's new width reaches the view by allocation.
    Canvas* c = view->canvas();
    Allocation a = view->allocation();
    Allotment& x = a.x_allotment();
    x.span(x.span() - 120);
    Extension ext;
    double t2 = Now();
    view->allocate(c, a, ext);
    c->damage_all();
    window->repair();
    window->display()->sync();
    double t3 = Now();
    printf("view: relayout for a new width %.3f s, %d lines\n", t3 - t2, view->LineCount());

    double t4 = Now();
    view->RestartWithText(qirString(""), 1);
    view->reformat();
    double t5 = Now();
    printf("view: clearing the page %.3f s\n", t5 - t4);

    window->unmap();
    delete window;
    Resource::unref(view);
    delete session;

    {
        qirRTFStubKit kit;
        qirHelpReferenceList refs;
        qirRTFEngine engine;
        engine.Begin(&kit);
        engine.SetReferences(&refs);
        engine.SetTabWidth(48);
        engine.SetIndentUnit(24);
        engine.SetLayoutWidth(420);
        double t0 = Now();
        engine.InsertText(text.data(), text.size(), 1);
        double t1 = Now();
        engine.ApplyStyles();
        engine.FormatAll();
        double t2 = Now();
        engine.SetLayoutWidth(600);
        engine.FormatAll();
        double t3 = Now();
        printf("engine alone: read %.3f s, styles and lines %.3f s, %zu lines; again at a new width %.3f s\n",
               t1 - t0, t2 - t1, kit.lines.size(), t3 - t2);
    }
    return 0;
}
