// Folder load speed: a folder of 10,000 message directories (imported from
// an mbox made by make_import_mbox.py) is opened and loaded as the message
// list does (construction renumbers, Load makes every message object);
// nmh's scan lists an MH folder of the same messages, as the peer.  The
// first qir run finds every other number missing and renumbers all of it;
// the later runs find nothing to move.
//   bench_folder_load [MBOX [SCRATCH]]   (defaults /tmp/qir-bench.mbox, /tmp)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "qirBenchMedian.h"
#include "qirFolder.h"
#include "qirTestProgram.h"

static double Now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Opens and loads the folder as the message list does (construction
// renumbers, Load makes every message object): the seconds taken, or -1.
static double LoadFolder(const std::string& dir, int expected)
{
    double t0 = Now();
    qirFolder folder{qirPath(dir.c_str())};
    folder.Load();
    double t = Now() - t0;
    if (folder.Count() != expected) {
        fprintf(stderr, "loaded %d of %d\n", folder.Count(), expected);
        return -1;
    }
    return t;
}

int main(int argc, char** argv)
{
    const char* mbox = argc > 1 ? argv[1] : "/tmp/qir-bench.mbox";
    std::string base = argc > 2 ? argv[2] : "/tmp";
    std::vector<std::string> messages = qirReadMboxMessages(mbox);
    if (messages.empty()) {
        fprintf(stderr, "no %s: run bench/make_import_mbox.py %s first\n", mbox, mbox);
        return 1;
    }
    std::string root = base + "/qir-load.XXXXXX";
    if (!mkdtemp(&root[0])) return 1;
    std::string dir = root + "/Work.QIR", mh = root + "/mh";
    mkdir(dir.c_str(), 0700);
    mkdir(mh.c_str(), 0700);

    // Every other number, so that the first open has all of it to renumber.
    int n = 0;
    for (std::string& text : messages) {
        FILE* in = fmemopen(&text[0], text.size(), "r");
        qirMsg m{qirPath((dir + "/Message" + std::to_string(2 * n)).c_str())};
        if (!in || m.ImportRFC822(in) != 0 || m.Save() != 0) fprintf(stderr, "message %d failed\n", n);
        if (in) fclose(in);
        ++n;
        FILE* out = fopen((mh + "/" + std::to_string(n)).c_str(), "w");
        if (!out || fwrite(text.data(), 1, text.size(), out) != text.size()) fprintf(stderr, "MH message %d failed\n", n);
        if (out) fclose(out);
    }
    sync();
    printf("%d messages\n", n);

    std::string profile = root + "/mh_profile";
    FILE* p = fopen(profile.c_str(), "w");
    if (!p) return 1;
    fprintf(p, "Path: %s\n", root.c_str());
    fclose(p);
    std::string cmd = "MH='" + profile + "' MHCONTEXT='" + root + "/context' /usr/bin/mh/scan +'" + mh +
                      "' >/dev/null 2>&1";

    // The first open renumbers; after it the two programs take turns, so
    // that a change in the machine's load meets both alike.  The median of
    // the paired runs counts.
    double t = LoadFolder(dir, n);
    if (t < 0) return 1;
    printf("qir  first open: %.3f s (renumbering every directory)\n", t);
    std::vector<double> runs, scans;
    for (int run = 1; run <= 5; ++run) {
        t = LoadFolder(dir, n);
        if (t < 0) return 1;
        printf("qir  run %d: %.3f s\n", run, t);
        runs.push_back(t);
        double t0 = Now();
        int r = system(cmd.c_str());
        t = Now() - t0;
        if (r != 0) {
            fprintf(stderr, "scan failed: %d\n", r);
            return 1;
        }
        printf("scan run %d: %.3f s\n", run, t);
        scans.push_back(t);
    }
    double qir = qirMedian(runs), scan = qirMedian(scans);
    printf("load of %d messages (medians): qir %.3f s, scan %.3f s, ratio %.2f\n", n, qir, scan, qir / scan);
    std::string rm = "rm -rf '" + root + "'";
    return system(rm.c_str()) == 0 ? 0 : 1;
}
