// The message list window's actions at scale, on messages of the import
// benchmark's mbox (bench/make_import_mbox.py):
//  - select all, delete, undelete and unselect all over an open window of
//    10,000 messages, each drawn;
//  - moving 1,000 messages from an open window into another folder (the
//    renames, the rows leaving, and the source's rescan), against nmh's
//    refile moving the same messages between two MH folders;
//  - exporting 10,000 messages into a mailbox file, against cat of the same
//    message texts into one file.
// The two programs take turns; each figure is the median of its runs.  Needs an X display:
//   DISPLAY=:N bench_msglist_actions [MBOX [SCRATCH]]   (defaults /tmp/qir-bench.mbox, /tmp)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "qirBenchMedian.h"
#include "qirConfiguration.h"
#include "qirLanguageGroup.h"
#include "qirMailTestText.h"
#include "qirMsgListItem.h"
#include "qirTestProgram.h"

#include "qirListBox.h"
#include "qirMsgActions.h"
#include "qirMsgList.h"

#include <InterViews/display.h>
#include <InterViews/event.h>
#include <InterViews/session.h>
#include "qirBenchSession.h"

static double Now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

static void Pump(Session* s)
{
    s->default_display()->sync();
    Event e;
    while (s->read(0, 0, e)) e.handle();
    s->default_display()->flush();
}

static int Run(const std::string& cmd)
{
    int r = system(cmd.c_str());
    if (r != 0) fprintf(stderr, "failed (%d): %s\n", r, cmd.c_str());
    return r;
}

// Imports the texts into the folder directory as Message0, Message1, ...
static int Fill(const std::string& dir, const std::vector<std::string>& texts, size_t n)
{
    mkdir(dir.c_str(), 0700);
    for (size_t i = 0; i < n; i++) {
        if (ImportMessage(dir + "/Message" + std::to_string(i), texts[i % texts.size()]) != 0) return 1;
    }
    return 0;
}

struct ListWindow {
    qirListBox* rows;
    qirMsgList* list;
    ListWindow(const std::string& dir)
    {
        rows = new qirListBox(0, nullptr);
        Resource::ref(rows);
        list = new qirMsgList(qirPath(dir.c_str()), rows);
    }
    ~ListWindow()
    {
        delete list;
        Resource::unref(rows);
    }
};

int main(int argc, char** argv)
{
    const char* mbox = argc > 1 ? argv[1] : "/tmp/qir-bench.mbox";
    std::string base = argc > 2 ? argv[2] : "/tmp";
    std::vector<std::string> texts = qirReadMboxMessages(mbox);
    if (texts.empty()) {
        fprintf(stderr, "no %s: run bench/make_import_mbox.py %s first\n", mbox, mbox);
        return 1;
    }
    Session* session = qirBenchSession();
    qirBenchLoadShippedData();

    std::string root = base + "/qir-actions.XXXXXX";
    if (!mkdtemp(&root[0])) return 1;
    const size_t big = 10000, moved = 1000;
    std::string work = root + "/Work.QIR", a = root + "/A.QIR", b = root + "/B.QIR";
    if (Fill(work, texts, big) || Fill(a, texts, moved)) return 1;
    mkdir(b.c_str(), 0700);
    // The peers' copies: one file per message, an MH folder of the first
    // thousand, the same texts the folders were made from.
    std::string raw = root + "/raw", mh = root + "/mh";
    mkdir(raw.c_str(), 0700);
    mkdir(mh.c_str(), 0700);
    mkdir((mh + "/a").c_str(), 0700);
    mkdir((mh + "/b").c_str(), 0700);
    for (size_t i = 0; i < big; i++) {
        const std::string& t = texts[i % texts.size()];
        std::vector<std::string> paths = {raw + "/" + std::to_string(100000 + i)};
        if (i < moved) paths.push_back(mh + "/a/" + std::to_string(i + 1));
        for (const std::string& p : paths) {
            FILE* f = fopen(p.c_str(), "w");
            if (!f || fwrite(t.data(), 1, t.size(), f) != t.size() || fclose(f) != 0) return 1;
        }
    }
    std::string profile = root + "/mh_profile";
    if (FILE* p = fopen(profile.c_str(), "w")) {
        fprintf(p, "Path: %s\n", mh.c_str());
        fclose(p);
    }
    std::string mhEnv = "MH='" + profile + "' MHCONTEXT='" + root + "/context' ";
    sync();

    // ---- the open window of 10,000 messages
    {
        ListWindow w(work);
        double t0 = Now();
        w.list->OpenWindow();
        Pump(session);
        printf("open %zu messages: %.1f ms\n", big, (Now() - t0) * 1000);
        struct Step {
            const char* what;
            void (qirMsgList::*action)();
        } steps[] = {{"select all", &qirMsgList::SelectAll}, {"delete", &qirMsgList::DeleteSelected},
                     {"undelete", &qirMsgList::UndeleteSelected}, {"unselect all", &qirMsgList::UnselectAll}};
        std::vector<double> times[4];
        for (int run = 0; run < 5; run++)
            for (int i = 0; i < 4; i++) {
                double t = Now();
                (w.list->*steps[i].action)();
                Pump(session);
                times[i].push_back(Now() - t);
            }
        for (int i = 0; i < 4; i++)
            printf("%-12s over %zu rows, drawn: %7.1f ms\n", steps[i].what, big, qirMedian(times[i]) * 1000);
        if (w.list->Counts().Deleted() != 0 || w.list->Counts().Selected() != 0) return 1;
    }

    // ---- moving 1,000 messages, back and forth
    std::vector<double> ours, moveOnly, refile;
    for (int run = 0; run < 6; run++) {
        bool forth = run % 2 == 0;
        ListWindow from(forth ? a : b), to(forth ? b : a);
        from.list->OpenWindow();
        from.list->SelectAll();
        std::vector<qirMsg*> selected = from.list->SelectedMessages();
        Pump(session);
        double t0 = Now();
        int copied = qirMsgActions::CopyTo(from.list, selected.data(), (int)selected.size(), to.list, 1, nullptr);
        double t1 = Now();
        from.list->Rescan();
        Pump(session);
        double t = Now() - t0;
        if (copied != (int)moved || from.list->qirFolder::Count() != 0) {
            fprintf(stderr, "moved %d, %d left\n", copied, from.list->qirFolder::Count());
            return 1;
        }
        from.list->CloseWindow();
        ours.push_back(t);
        moveOnly.push_back(t1 - t0);
        sync();
        t0 = Now();
        if (Run(mhEnv + "/usr/bin/mh/refile -src +" + std::string(forth ? "a" : "b") + " all +" +
                (forth ? "b" : "a") + " >/dev/null 2>&1"))
            return 1;
        refile.push_back(Now() - t0);
        sync();
    }
    printf("move %zu messages: qir %.3f s (the move %.3f s, then the rescan), refile %.3f s, ratio %.2f\n",
           moved, qirMedian(ours), qirMedian(moveOnly), qirMedian(refile), qirMedian(ours) / qirMedian(refile));

    // ---- export 10,000 messages
    std::vector<double> exportTimes, catTimes;
    {
        qirFolder folder{qirPath(work.c_str())};
        folder.Load();
        std::vector<qirMsg*> all;
        for (qirMsg* m = folder.First(); m; m = folder.Next(m)) all.push_back(m);
        std::string out = root + "/out.mbox", catOut = root + "/cat.out";
        for (int run = 0; run < 5; run++) {
            unlink(out.c_str());
            double t0 = Now();
            int n = qirMsgActions::ExportTo(qirString(out.c_str()), 0, all.data(), (int)all.size());
            exportTimes.push_back(Now() - t0);
            if (n != (int)big) {
                fprintf(stderr, "exported %d\n", n);
                return 1;
            }
            unlink(catOut.c_str());
            t0 = Now();
            if (Run("cat '" + raw + "'/* > '" + catOut + "'")) return 1;
            catTimes.push_back(Now() - t0);
        }
        struct stat s1, s2;
        stat(out.c_str(), &s1);
        stat(catOut.c_str(), &s2);
        double exported = qirMedian(exportTimes), catted = qirMedian(catTimes);
        printf("export %zu messages: qir %.3f s (%lld MB), cat %.3f s (%lld MB), ratio %.2f\n", big, exported,
               (long long)s1.st_size >> 20, catted, (long long)s2.st_size >> 20, exported / catted);
    }
    delete session;
    return Run("rm -rf '" + root + "'") == 0 ? 0 : 1;
}
