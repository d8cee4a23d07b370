// POP3 fetch speed: the messages of an mbox (made by make_import_mbox.py,
// 2,000 messages of about 17 MB) are served by a private Dovecot on
// loopback and fetched into a fresh folder with the history kept (keep on),
// then by Debian's mpop into an mbox with "keep on" (mpop decodes nothing).
// The best of three runs of each.
//   bench_fetch_pop3 [MBOX [SCRATCH]]   (defaults /tmp/qir-bench-2000.mbox, /tmp)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "qirDovecot.h"
#include "qirFolder.h"
#include "qirHistory.h"
#include "qirTestProgram.h"

// A fresh directory under base (mkdtemp), or "" when it cannot be made.
static std::string FreshDir(const std::string& base, const char* name)
{
    std::string t = base + "/" + name + ".XXXXXX";
    return mkdtemp(&t[0]) ? t : std::string();
}

static void RemoveDir(const std::string& dir)
{
    if (dir.size() < 8) return;
    std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", dir.c_str());
}

static double Now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
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

    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        std::string dir = FreshDir(scratchBase, "qir-fetch");
        if (dir.empty()) return 1;
        std::string history = dir + "/pop_history:bench";
        double t0 = Now();
        {
            qirHistory h(history.c_str(), 5000);
            h.Load();
            qirFolder folder{qirPath((dir + "/Incoming.QIR").c_str())};
            int r = folder.FetchPOP3(server.Host(), server.Port(), server.User(), server.Password(),
                                     getenv("QIR_BENCH_NO_HISTORY") ? nullptr : &h, 1);
            h.PurgeUnmarked();
            h.Save();
            double t = Now() - t0;
            if (r != 0 || folder.Count() != (int)messages.size()) {
                fprintf(stderr, "qir fetch failed: %d, %d messages\n", r, folder.Count());
                return 1;
            }
            printf("qir  run %d: %.3f s\n", run + 1, t);
            if (t < best) best = t;
        }
        RemoveDir(dir);
    }

    double mpopBest = 1e9;
    for (int run = 0; run < 3; ++run) {
        std::string dir = FreshDir(scratchBase, "qir-mpop");
        if (dir.empty()) return 1;
        std::string rc = dir + "/mpoprc";
        FILE* f = fopen(rc.c_str(), "w");
        fprintf(f,
                "defaults\ntls off\nauth user\nkeep on\nonly_new on\n"
                "account bench\nhost %s\nport %s\nuser %s\npassword %s\n"
                "uidls_file %s/uidls\ndelivery mbox %s/out.mbox\n",
                server.Host(), server.Port(), server.User(), server.Password(), dir.c_str(), dir.c_str());
        fclose(f);
        chmod(rc.c_str(), 0600);
        double t0 = Now();
        qirTestRun r = qirRunProgram("/usr/bin/mpop", {"-C", rc, "-q", "bench"}, {});
        double t = Now() - t0;
        std::string out = qirReadFile(dir + "/out.mbox");
        size_t froms = 0;
        for (size_t p = 0; (p = out.find("\nFrom ", p)) != std::string::npos; ++p) ++froms;
        if (out.compare(0, 5, "From ") == 0) ++froms;
        if (r.status != 0 || froms < messages.size()) {
            fprintf(stderr, "mpop failed (%d, %zu messages): %s\n", r.status, froms, r.err.c_str());
            return 1;
        }
        printf("mpop run %d: %.3f s\n", run + 1, t);
        if (t < mpopBest) mpopBest = t;
        RemoveDir(dir);
    }
    printf("fetch of %zu messages: qir %.3f s, mpop %.3f s, ratio %.2f\n", messages.size(), best, mpopBest,
           best / mpopBest);
    return 0;
}
