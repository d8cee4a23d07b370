// Import speed: every message of an mbox made by make_import_mbox.py taken
// by the program's own road, the mailbox fetch without a history (split,
// imported, saved, published into the folder with its syncs), against
// nmh's inc of the same file and the floor (see qirStoreBench.h).
//   bench_import_messages [MBOX [SCRATCH [ROUNDS]]]
// (defaults /tmp/qir-bench.mbox, /tmp, 5).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "qirFolder.h"
#include "qirStoreRounds.h"

int main(int argc, char** argv)
{
    const char* mbox = argc > 1 ? argv[1] : "/tmp/qir-bench.mbox";
    std::string base = argc > 2 ? argv[2] : "/tmp";
    int rounds = argc > 3 ? atoi(argv[3]) : 5;
    std::string data;
    if (qirReadWholeFile(mbox, &data) != 0 || data.empty()) {
        fprintf(stderr, "no %s: run bench/make_import_mbox.py %s first\n", mbox, mbox);
        return 1;
    }
    return qirStoreRounds("import", qirMboxLetters(data, (size_t)-1), base, rounds,
                          [](const std::string& root, const std::string& spool) {
                              double t0 = qirBenchNow();
                              qirFolder folder{qirPath((root + "/Incoming.QIR").c_str())};
                              int r = folder.FetchMailbox(qirPath(spool.c_str()), nullptr, 1);
                              return r == 0 ? qirBenchNow() - t0 : -1;
                          });
}
