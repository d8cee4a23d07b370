// New-mail check in the window program against the engine-level fetch: the
// messages of an mbox (bench/make_import_mbox.py, 2,000 messages) are served
// by a private Dovecot; the real qir starts on $DISPLAY with
// CheckMailOnStartup "yes" and the progress indicator on, and is timed from
// its start until its main window maps, less the same start with no mail
// (the check runs before the window maps).  Then qirFolder::FetchPOP3 of the
// same messages.  The median of three paired runs of each.  Needs an X server:
//   Xvfb :77 & DISPLAY=:77 bench_newmail_window [MBOX [SCRATCH]]
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "qirBenchMedian.h"
#include "qirDovecot.h"
#include "qirFolder.h"
#include "qirHistory.h"
#include "qirTestProgram.h"
#include "qirUtilities.h"

static double Now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// True when a mapped top-level window carries the title.
static bool Mapped(Display* dpy, const std::string& title)
{
    Window root = DefaultRootWindow(dpy), parent, *kids = nullptr;
    unsigned int n = 0;
    bool found = false;
    if (XQueryTree(dpy, root, &root, &parent, &kids, &n)) {
        for (unsigned int i = 0; i < n && !found; i++) {
            XWindowAttributes wa;
            char* name = nullptr;
            if (XGetWindowAttributes(dpy, kids[i], &wa) && wa.map_state == IsViewable &&
                XFetchName(dpy, kids[i], &name) && name) {
                found = title == name;
                XFree(name);
            }
        }
        XFree(kids);
    }
    return found;
}

// Seconds from the start of qir in a fresh home with this user.cfg until its
// main window maps, or a negative number on failure.
static double WindowRun(Display* dpy, const std::string& scratch, const std::string& cfg, int expected)
{
    std::string home = scratch + "/qir-window.XXXXXX";
    if (!mkdtemp(&home[0])) return -1;
    std::string dir = home + "/.QIR";
    mkdir(dir.c_str(), 0700);
    FILE* f = fopen((dir + "/user.cfg").c_str(), "w");
    if (!f) return -1;
    fputs(cfg.c_str(), f);
    fclose(f);
    static int runs = 0;
    std::string title = "Quorvane bench " + std::to_string(getpid()) + " " + std::to_string(++runs);
    fflush(stdout);
    double t0 = Now();
    qirBackgroundProgram qir;
    if (!qir.Start(QIR_BINARY, {"-title", title},
                   {{"QIR_TEST_HOME", home}, {"LD_PRELOAD", QIR_FAKEHOME}, {"MAIL", home + "/spool"}}))
        return -1;
    double t = -1;
    for (int i = 0; i < 600000 && t < 0; i++) {
        if (Mapped(dpy, title)) t = Now() - t0;
        else if (qir.Ended()) break;
        else usleep(2000);
    }
    qir.Stop(SIGTERM);
    if (t >= 0 && expected >= 0) {
        qirFolder incoming{qirPath((dir + "/Incoming.QIR").c_str())};
        incoming.Load();
        if (incoming.Count() != expected) {
            fprintf(stderr, "window check brought %d of %d messages\n", incoming.Count(), expected);
            t = -1;
        }
    }
    qirRemoveDirectory(home.c_str(), 0);
    return t;
}

int main(int argc, char** argv)
{
    const char* mbox = argc > 1 ? argv[1] : "/tmp/qir-bench-2000.mbox";
    std::string scratch = argc > 2 ? argv[2] : "/tmp";
    struct stat st;
    if (stat(mbox, &st) != 0) {
        fprintf(stderr, "no %s: run bench/make_import_mbox.py %s 2000 first\n", mbox, mbox);
        return 1;
    }
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        fprintf(stderr, "no X display: run under Xvfb\n");
        return 1;
    }
    std::vector<std::string> messages = qirReadMboxMessages(mbox);
    qirDovecot server(messages);
    if (!server.Error().empty()) {
        fprintf(stderr, "dovecot: %s\n", server.Error().c_str());
        return 1;
    }
    printf("%zu messages, Dovecot on port %s\n", messages.size(), server.Port());

    std::string pop = "CheckMailOnStartup yes\nDebug {\n    ProgressIndicator On\n}\nUsePOP Yes\nPop3 {\n"
                      "    Server " + std::string(server.Host()) + "\n    Service " + server.Port() +
                      "\n    User " + server.User() + "\n    Passwd " + server.Password() + "\n}\n";
    // The window runs and the engine run take turns, so that a change in
    // the machine's load meets both alike; medians count.
    std::vector<double> bases, windows, engines;
    for (int run = 0; run < 3; ++run) {
        double b = WindowRun(dpy, scratch, "CheckMailOnStartup no\n", -1);
        double w = WindowRun(dpy, scratch, pop, (int)messages.size());
        if (b < 0 || w < 0) {
            fprintf(stderr, "window run failed\n");
            return 1;
        }
        printf("window run %d: start %.3f s, start with check %.3f s\n", run + 1, b, w);
        bases.push_back(b);
        windows.push_back(w);
        std::string dir = scratch + "/qir-fetch.XXXXXX";
        if (!mkdtemp(&dir[0])) return 1;
        double t0 = Now();
        {
            qirHistory h((dir + "/pop_history:bench").c_str(), 5000);
            h.Load();
            qirFolder folder{qirPath((dir + "/Incoming.QIR").c_str())};
            int r = folder.FetchPOP3(server.Host(), server.Port(), server.User(), server.Password(), &h, 1);
            h.PurgeUnmarked();
            h.Save();
            if (r != 0 || folder.Count() != (int)messages.size()) {
                fprintf(stderr, "engine fetch failed: %d, %d messages\n", r, folder.Count());
                return 1;
            }
        }
        double t = Now() - t0;
        printf("engine run %d: %.3f s\n", run + 1, t);
        engines.push_back(t);
        qirRemoveDirectory(dir.c_str(), 0);
    }
    double base = qirMedian(bases), window = qirMedian(windows), engine = qirMedian(engines);
    double check = window - base;
    printf("new-mail check of %zu messages: window %.3f s (start %.3f s less %.3f s), engine %.3f s, "
           "ratio %.2f\n", messages.size(), check, window, base, engine, check / engine);
    XCloseDisplay(dpy);
    return 0;
}
