// Moving and removing messages, on messages of the import benchmark's mbox
// (bench/make_import_mbox.py):
//  - moving 1,000 messages from a loaded folder into another (the move and
//    the source's flush), against nmh's refile of the same messages
//    between two MH folders;
//  - closing a loaded folder of 10,000 messages after marking every tenth
//    deleted (the flush: the removals and the renumbering), against nmh's
//    rmm -unlink of the same 1,000 messages of an MH folder of 10,000.
// Each run makes its trees afresh in a directory of its own, copied from
// one made at the start, and nothing is deleted until every run is over
// (a file system that searches its freed inodes when files are made soon
// after many were deleted would otherwise charge the next run).  qir, its
// peer and the floor (bench/qirBenchFloor.h: one rename each; each
// directory's files unlinked and the directory removed) take turns; each
// figure is the median of the runs.  Measure on the file system the
// folders live on:
//   bench_folder_move [MBOX [SCRATCH [RUNS]]]   (defaults /tmp/qir-bench.mbox, /tmp, 7)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "qirBenchFloor.h"
#include "qirBenchMedian.h"
#include "qirFolder.h"
#include "qirMailTestText.h"
#include "qirTestProgram.h"

static double Now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

static int Run(const std::string& cmd)
{
    int r = system(cmd.c_str());
    if (r != 0) fprintf(stderr, "failed (%d): %s\n", r, cmd.c_str());
    return r;
}

// The texts imported into dir as Message0, Message1, ...
static int Fill(const std::string& dir, const std::vector<std::string>& texts, size_t n)
{
    if (mkdir(dir.c_str(), 0700) != 0) return 1;
    for (size_t i = 0; i < n; i++) {
        if (ImportMessage(dir + "/Message" + std::to_string(i), texts[i % texts.size()]) != 0) return 1;
    }
    return 0;
}

// The same texts as an MH folder: files 1, 2, ...
static int FillMH(const std::string& dir, const std::vector<std::string>& texts, size_t n)
{
    if (mkdir(dir.c_str(), 0700) != 0) return 1;
    for (size_t i = 0; i < n; i++) {
        const std::string& t = texts[i % texts.size()];
        FILE* f = fopen((dir + "/" + std::to_string(i + 1)).c_str(), "w");
        if (!f || fwrite(t.data(), 1, t.size(), f) != t.size() || fclose(f) != 0) return 1;
    }
    return 0;
}

int main(int argc, char** argv)
{
    const char* mbox = argc > 1 ? argv[1] : "/tmp/qir-bench.mbox";
    std::string base = argc > 2 ? argv[2] : "/tmp";
    const int runs = argc > 3 ? atoi(argv[3]) : 7;
    std::vector<std::string> texts = qirReadMboxMessages(mbox);
    if (texts.empty()) {
        fprintf(stderr, "no %s: run bench/make_import_mbox.py %s first\n", mbox, mbox);
        return 1;
    }
    const size_t moved = 1000, big = 10000, every = 10;
    std::string root = base + "/qir-move.XXXXXX";
    if (!mkdtemp(&root[0])) return 1;
    // The trees every run starts from.
    std::string model = root + "/model";
    if (mkdir(model.c_str(), 0700) != 0 || Fill(model + "/Work.QIR", texts, moved) ||
        mkdir((model + "/Archive.QIR").c_str(), 0700) != 0 || Fill(model + "/Big.QIR", texts, big) ||
        mkdir((model + "/mh").c_str(), 0700) != 0 || FillMH(model + "/mh/a", texts, moved) ||
        mkdir((model + "/mh/b").c_str(), 0700) != 0 || FillMH(model + "/mh/big", texts, big))
        return 1;
    std::string doomed; // rmm's message list: every tenth
    std::vector<std::string> workNames;
    for (size_t i = 0; i < moved; i++) workNames.push_back("Message" + std::to_string(i));
    for (size_t i = 0; i < big; i += every) doomed += " " + std::to_string(i + 1);
    std::vector<double> qirMove, refile, floorMove, qirClose, rmm, floorClose;
    for (int run = 0; run < runs; run++) {
        std::string r = root + "/run" + std::to_string(run);
        std::string profile = r + "/mh_profile";
        if (Run("cp -a '" + model + "' '" + r + "'")) return 1;
        if (Run("cp -a '" + r + "/Work.QIR' '" + r + "/floor-a' && mkdir '" + r + "/floor-b'")) return 1;
        if (Run("cp -a '" + r + "/Big.QIR' '" + r + "/floor-big'")) return 1;
        if (FILE* p = fopen(profile.c_str(), "w")) {
            fprintf(p, "Path: %s/mh\n", r.c_str());
            fclose(p);
        }
        std::string mhEnv = "MH='" + profile + "' MHCONTEXT='" + r + "/context' ";
        sync();

        // Move: the window has both folders made and the source loaded.
        {
            qirFolder source{qirPath((r + "/Work.QIR").c_str())}, target{qirPath((r + "/Archive.QIR").c_str())};
            source.Load();
            std::vector<qirMsg*> all;
            for (qirMsg* m = source.First(); m; m = source.Next(m)) all.push_back(m);
            double t0 = Now();
            int n = target.MoveIn(&source, all.data(), (int)all.size());
            source.Flush();
            qirMove.push_back(Now() - t0);
            if (n != (int)moved || source.Count() != 0 || target.Count() != (int)moved) {
                fprintf(stderr, "moved %d, %d left\n", n, source.Count());
                return 1;
            }
        }
        double t0 = Now();
        if (Run(mhEnv + "/usr/bin/mh/refile -src +a all +b >/dev/null 2>&1")) return 1;
        refile.push_back(Now() - t0);
        t0 = Now();
        if (qirFloorRenameEach(r + "/floor-a", r + "/floor-b", workNames) != 0) return 1;
        floorMove.push_back(Now() - t0);
        sync();

        // Close after marking every tenth of 10,000 deleted.
        {
            qirFolder folder{qirPath((r + "/Big.QIR").c_str())};
            folder.Load();
            size_t i = 0;
            for (qirMsg* m = folder.First(); m; m = folder.Next(m), i++)
                if (i % every == 0) m->SetRemoved(1);
            t0 = Now();
            int status = folder.Flush();
            qirClose.push_back(Now() - t0);
            if (status != 0 || folder.Count() != (int)(big - big / every)) {
                fprintf(stderr, "flush %d, %d left\n", status, folder.Count());
                return 1;
            }
        }
        t0 = Now();
        if (Run(mhEnv + "/usr/bin/mh/rmm -unlink +big" + doomed + " >/dev/null 2>&1")) return 1;
        rmm.push_back(Now() - t0);
        std::vector<std::string> gone;
        for (size_t i = 0; i < big; i += every) gone.push_back(r + "/floor-big/Message" + std::to_string(i));
        t0 = Now();
        if (qirFloorRemoveEach(gone) != 0) return 1;
        floorClose.push_back(Now() - t0);
        sync();
    }
    printf("%-52s %9s %9s %9s %8s\n", "medians of paired runs", "qir", "peer", "floor", "qir/peer");
    printf("%-52s %7.1fms %7.1fms %7.1fms %8.2f\n", "move 1,000 messages (refile)", qirMedian(qirMove) * 1e3,
           qirMedian(refile) * 1e3, qirMedian(floorMove) * 1e3, qirMedian(qirMove) / qirMedian(refile));
    printf("%-52s %7.1fms %7.1fms %7.1fms %8.2f\n", "close 10,000 after deleting 1,000 (rmm -unlink)",
           qirMedian(qirClose) * 1e3, qirMedian(rmm) * 1e3, qirMedian(floorClose) * 1e3,
           qirMedian(qirClose) / qirMedian(rmm));
    return Run("rm -rf '" + root + "'") == 0 ? 0 : 1;
}
