// Local mailbox fetch speed: a spool of 5,000 messages and about 50 MB (the
// first 5,000 messages of an mbox made by make_import_mbox.py, each given a
// plain-text trailer to reach the size) is fetched into a fresh folder in
// one pass, once keeping the mail (keep on, history kept) and once removing
// it from the spool (keep off, the spool rewritten).
//   bench_fetch_mailbox [MBOX [SCRATCH]]   (defaults /tmp/qir-bench.mbox, /tmp)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "qirFolder.h"
#include "qirHistory.h"
#include "qirUtilities.h"

static double Now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

int main(int argc, char** argv)
{
    const char* mbox = argc > 1 ? argv[1] : "/tmp/qir-bench.mbox";
    std::string base = argc > 2 ? argv[2] : "/tmp";
    std::string data;
    qirReadWholeFile(mbox, &data);
    if (data.empty()) {
        fprintf(stderr, "no %s: run bench/make_import_mbox.py %s first\n", mbox, mbox);
        return 1;
    }
    std::string root = base + "/qir-spool.XXXXXX";
    if (!mkdtemp(&root[0])) return 1;
    std::string spool = root + "/spool";
    std::string text;
    const std::string trailer(70, 't');
    int n = 0;
    size_t pos = 0;
    while (pos < data.size() && n < 5000) {
        size_t next = data.find("\n\nFrom ", pos);
        size_t end = next == std::string::npos ? data.size() : next + 1;
        text.append(data, pos, end - pos);
        // Plain lines after the message's own text, to reach ~50 MB in all.
        for (size_t have = end - pos; have < 6500; have += trailer.size() + 1) text += trailer + "\n";
        text += "\n";
        ++n;
        pos = next == std::string::npos ? data.size() : next + 2;
    }
    for (int keep : {1, 0}) {
        FILE* f = fopen(spool.c_str(), "w");
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
        std::string dir = root + "/Incoming" + std::to_string(keep) + ".QIR";
        qirHistory history((root + "/pop_history:local.mailbox").c_str(), 10000);
        double t0 = Now();
        qirFolder folder{qirPath(dir.c_str())};
        int r = folder.FetchMailbox(qirPath(spool.c_str()), getenv("QIR_BENCH_NO_HISTORY") ? nullptr : &history, keep);
        double t = Now() - t0;
        struct stat st;
        stat(spool.c_str(), &st);
        printf("spool of %d messages, %.1f MB, keep %s: %.3f s, %d stored (status %d), spool now %lld bytes\n", n,
               text.size() / 1e6, keep ? "on" : "off", t, folder.Count(), r, (long long)st.st_size);
        unlink((root + "/pop_history:local.mailbox").c_str());
    }
    std::string rm = "rm -rf '" + root + "'";
    return system(rm.c_str()) == 0 ? 0 : 1;
}
