// Local mailbox fetch speed: the first COUNT messages of an mbox made by
// make_import_mbox.py are fetched from a spool into a fresh folder with the
// mail kept and a history written, as the new-mail check does; nmh's inc
// of the same spool is the peer, and the floor makes the same directories
// and files with nothing parsed (see qirStoreBench.h).
//   bench_fetch_mailbox [COUNT [SCRATCH [ROUNDS [MBOX]]]]
// (defaults 10000, /tmp, 5, /tmp/qir-bench.mbox).  SCRATCH decides much:
// /dev/shm measures the programs, /tmp or /work the disk as well.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "qirFolder.h"
#include "qirHistory.h"
#include "qirStoreRounds.h"

int main(int argc, char** argv)
{
    size_t count = argc > 1 ? strtoul(argv[1], nullptr, 10) : 10000;
    std::string base = argc > 2 ? argv[2] : "/tmp";
    int rounds = argc > 3 ? atoi(argv[3]) : 5;
    const char* mbox = argc > 4 ? argv[4] : "/tmp/qir-bench.mbox";
    std::string data;
    if (qirReadWholeFile(mbox, &data) != 0 || data.empty()) {
        fprintf(stderr, "no %s: run bench/make_import_mbox.py %s first\n", mbox, mbox);
        return 1;
    }
    std::vector<std::string> letters = qirMboxLetters(data, count);
    // Larger counts repeat the mbox, each copy a letter of its own.
    const size_t distinct = letters.size();
    for (size_t i = distinct; i < count; ++i) letters.push_back(letters[i % distinct]);
    return qirStoreRounds("fetch from the local mailbox", letters, base, rounds,
                          [](const std::string& root, const std::string& spool) {
                              double t0 = qirBenchNow();
                              qirHistory history((root + "/pop_history:local.mailbox").c_str(), 200000);
                              history.Load();
                              qirFolder folder{qirPath((root + "/Incoming.QIR").c_str())};
                              int r = folder.FetchMailbox(qirPath(spool.c_str()), &history, 1);
                              history.PurgeUnmarked();
                              history.Save();
                              return r == 0 ? qirBenchNow() - t0 : -1;
                          });
}
