// POP3 fetch speed: the messages of an mbox (made by make_import_mbox.py,
// 2,000 messages of about 17 MB) are served by a private Dovecot on
// loopback and fetched into a fresh folder with the history kept (keep on),
// then by Debian's mpop into an mbox with "keep on" (mpop decodes nothing),
// and the floor: the server's own time (every message retrieved, pipelined,
// and thrown away) plus a bare loop making the tree qir made, synced in
// rounds as the fetch syncs (qirStoreBench.h).  The median of five rounds,
// the programs taking turns in fresh directories.
//   bench_fetch_pop3 [MBOX [SCRATCH]]   (defaults /tmp/qir-bench-2000.mbox, /tmp)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "qirBenchMedian.h"
#include "qirStoreBench.h"
#include "QIRPOP3.h"

#include "qirDovecot.h"
#include "qirFolder.h"
#include "qirHistory.h"
#include "qirTestProgram.h"
#include "qirUtilities.h"

// Every directory the runs made.  Nothing is removed before the last run is
// over: on an ext4 without a journal a removal slows the next runs' new
// files (see qirStoreRounds.h).
static std::vector<std::string> made;

static std::string FreshDir(const std::string& base, const char* name)
{
    made.push_back(qirFreshDir(base, name));
    return made.back();
}

static void RemoveMade()
{
    for (const std::string& d : made)
        if (!d.empty() && qirRemoveDirectory(d.c_str(), 0) != 0) fprintf(stderr, "could not remove %s\n", d.c_str());
    made.clear();
}
// CPU time of this process in user mode and in the kernel: the rest of a
// run is waiting for the server.
static void CpuTimes(double* user, double* system)
{
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    *user = u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6;
    *system = u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

static double Now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// One fetch into a fresh folder with the history kept: the seconds taken,
// or -1.  Prints the CPU time it took here; the rest is waiting for the
// server.
static double FetchWithQir(qirDovecot& server, const std::string& scratchBase, size_t expected,
                           std::vector<qirTreeEntry>* tree = nullptr)
{
    std::string dir = FreshDir(scratchBase, "qir-fetch");
    if (dir.empty()) return -1;
    std::string history = dir + "/pop_history:bench";
    double t0 = Now(), u0, s0, u1, s1;
    CpuTimes(&u0, &s0);
    double t;
    {
        qirHistory h(history.c_str(), 5000);
        h.Load();
        qirFolder folder{qirPath((dir + "/Incoming.QIR").c_str())};
        int r = folder.FetchPOP3(server.Host(), server.Port(), server.User(), server.Password(),
                                 getenv("QIR_BENCH_NO_HISTORY") ? nullptr : &h, 1);
        h.PurgeUnmarked();
        h.Save();
        t = Now() - t0;
        if (r != 0 || folder.Count() != (int)expected) {
            fprintf(stderr, "qir fetch failed: %d, %d messages\n", r, folder.Count());
            return -1;
        }
        CpuTimes(&u1, &s1);
        printf("     (user %.3f s, system %.3f s)\n", u1 - u0, s1 - s0);
        if (tree) qirListTree(dir + "/Incoming.QIR", "", tree);
    }
    return t;
}

// The same messages fetched by mpop into an mbox: the seconds taken, or -1.
static double FetchWithMpop(qirDovecot& server, const std::string& scratchBase, size_t expected)
{
    std::string dir = FreshDir(scratchBase, "qir-mpop");
    if (dir.empty()) return -1;
    std::string rc = dir + "/mpoprc";
    FILE* f = fopen(rc.c_str(), "w");
    if (!f) return -1;
    fprintf(f,
            "defaults\ntls off\nauth user\nkeep on\nonly_new on\n"
            "account bench\nhost %s\nport %s\nuser %s\npassword %s\n"
            "uidls_file %s/uidls\ndelivery mbox %s/out.mbox\n",
            server.Host(), server.Port(), server.User(), server.Password(), dir.c_str(), dir.c_str());
    fclose(f);
    chmod(rc.c_str(), 0600);
    double t0 = Now();
    // Its temporary files on the same file system as its mailbox.
    qirTestRun r = qirRunProgram("/usr/bin/mpop", {"-C", rc, "-q", "bench"}, {{"TMPDIR", scratchBase}});
    double t = Now() - t0;
    std::string out = qirReadFile(dir + "/out.mbox");
    size_t froms = 0;
    for (size_t p = 0; (p = out.find("\nFrom ", p)) != std::string::npos; ++p) ++froms;
    if (out.compare(0, 5, "From ") == 0) ++froms;
    if (r.status != 0 || froms < expected) {
        fprintf(stderr, "mpop failed (%d, %zu messages): %s\n", r.status, froms, r.err.c_str());
        return -1;
    }
    return t;
}

static int Discard(void*, const char*, int) { return 1; }

// The server's own time: every message retrieved and thrown away.
static double ServerTime(qirDovecot& server)
{
    double t0 = qirBenchNow();
    QIRPOP3 pop(server.Host(), server.Port(), server.User(), server.Password());
    if (pop.Status() != 0) return -1;
    const int n = pop.Count(), ahead = pop.CanPipeline() ? 4 : 0;
    for (int i = 0; i < ahead && i < n; ++i) pop.RequestRetrieve(i);
    for (int i = 0; i < n; ++i) {
        if (ahead && i + ahead < n) pop.RequestRetrieve(i + ahead);
        if (pop.RetrieveWith(i, Discard, nullptr) != 0) return -1;
    }
    return qirBenchNow() - t0;
}

int main(int argc, char** argv)
{
    const char* mbox = argc > 1 ? argv[1] : "/tmp/qir-bench-2000.mbox";
    std::string scratchBase = argc > 2 ? argv[2] : "/tmp";
    struct stat st;
    if (stat(mbox, &st) != 0) {
        fprintf(stderr, "no %s: run bench/make_import_mbox.py %s 2000 first\n", mbox, mbox);
        return 1;
    }
    std::vector<std::string> messages = qirReadMboxMessages(mbox);
    size_t bytes = 0;
    for (auto& m : messages) bytes += m.size();
    qirDovecot server(messages);
    if (!server.Error().empty()) {
        fprintf(stderr, "dovecot: %s\n", server.Error().c_str());
        return 1;
    }
    printf("%zu messages, %.1f MB, Dovecot on port %s\n", messages.size(), bytes / 1e6, server.Port());

    std::vector<qirTreeEntry> tree;
    if (FetchWithQir(server, scratchBase, messages.size(), &tree) < 0) return 1;
    std::vector<double> runs, noSyncRuns, mpopRuns, floorRuns;
    const int rounds = 5;
    for (int round = 0; round < rounds; ++round) {
        // The programs take turns, the order rotated each round.
        std::vector<std::function<int()>> turns = {
            [&] {
                double t = FetchWithQir(server, scratchBase, messages.size());
                printf("qir  run %d: %.3f s\n", round + 1, t);
                runs.push_back(t);
                return t < 0 ? -1 : 0;
            },
            [&] {
                qirSyncBatch::SetEnabled(0);
                double t = FetchWithQir(server, scratchBase, messages.size());
                qirSyncBatch::SetEnabled(1);
                printf("qir without syncs run %d: %.3f s\n", round + 1, t);
                noSyncRuns.push_back(t);
                return t < 0 ? -1 : 0;
            },
            [&] {
                double t = FetchWithMpop(server, scratchBase, messages.size());
                printf("mpop run %d: %.3f s\n", round + 1, t);
                mpopRuns.push_back(t);
                return t < 0 ? -1 : 0;
            },
            [&] {
                double served = ServerTime(server);
                double stored = qirStoreFloor(tree, FreshDir(scratchBase, "qir-floor") + "/F", 1);
                if (served < 0 || stored < 0) return -1;
                printf("floor run %d: %.3f s (server %.3f s, storing %.3f s)\n", round + 1, served + stored, served,
                       stored);
                floorRuns.push_back(served + stored);
                return 0;
            },
        };
        for (size_t k = 0; k < turns.size(); ++k)
            if (turns[(k + round) % turns.size()]() != 0) {
                RemoveMade();
                return 1;
            }
    }
    RemoveMade();
    double qir = qirMedian(runs), noSync = qirMedian(noSyncRuns), mpop = qirMedian(mpopRuns),
           floor = qirMedian(floorRuns);
    printf("\n| POP3 fetch of %zu messages | qir | mpop | floor | qir / mpop | qir / floor |\n|---|---|---|---|---|---|\n"
           "| %s | %.3f s | %.3f s | %.3f s | %.2f | %.2f |\n"
           "| without syncs | %.3f s | | | %.2f | |\n(medians of %d rounds; mpop syncs as it always does)\n",
           messages.size(), scratchBase.c_str(), qir, mpop, floor, qir / mpop, qir / floor, noSync, noSync / mpop,
           rounds);
    return 0;
}
