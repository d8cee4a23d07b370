// The rounds of a storing benchmark: qir's own road with and without its
// syncs, nmh's inc and the floor with and without syncs, each in a fresh
// directory, in turn, the order rotated each round; medians printed as
// qir over the peer and over the floor.  On a disk nothing made is removed
// before the last round is over: an ext4 without a journal searches past
// every inode freed in the last minute or more before it reuses one, so a
// removal between rounds would slow the next round's first runs most.  In
// memory each run's tree goes when it is over, to keep within memory and
// within the inodes of a tmpfs (a round of 100,000 messages would need more).
#ifndef QIR_STORE_ROUNDS_H
#define QIR_STORE_ROUNDS_H

#include <functional>
#include <string>
#include <vector>

#include "qirBenchMedian.h"
#include "qirStoreBench.h"

// run(root, spool) stores the spool's letters under root with qir's road:
// its seconds, or -1.
inline int qirStoreRounds(const char* work, const std::vector<std::string>& letters, const std::string& base,
                          int rounds, const std::function<double(const std::string&, const std::string&)>& run)
{
    std::string text;
    for (const std::string& l : letters) text += l;
    printf("%s: %zu messages, %.1f MB, in %s (%s)\n", work, letters.size(), text.size() / 1e6, base.c_str(),
           qirSyncBatch::Needed(base.c_str()) ? "syncs reach a disk" : "in memory: syncs cost nothing");
    // The floor makes what the program made: its tree, taken from a run
    // before the timed ones.
    std::vector<qirTreeEntry> tree;
    std::vector<std::string> made;
    const int onDisk = qirSyncBatch::Needed(base.c_str());
    {
        std::string root = qirFreshDir(base, "qir-store");
        made.push_back(root);
        if (qirWriteSpool(root + "/spool", text) != 0 || run(root, root + "/spool") < 0) return 1;
        qirListTree(root + "/Incoming.QIR", "", &tree);
    }
    std::vector<double> qir, qirNoSync, inc, floor, floorNoSync;
    for (int round = 0; round < rounds; ++round) {
        auto fresh = [&](const char* name) {
            made.push_back(qirFreshDir(base, name));
            return made.back();
        };
        std::vector<std::function<int()>> runs = {
            [&] {
                std::string root = fresh("qir-store");
                std::string spool = root + "/spool";
                if (qirWriteSpool(spool, text) != 0) return -1;
                qirSyncBatch::SetEnabled(1);
                double t = run(root, spool);
                qir.push_back(t);
                return t < 0 ? -1 : 0;
            },
            [&] {
                std::string root = fresh("qir-store");
                std::string spool = root + "/spool";
                if (qirWriteSpool(spool, text) != 0) return -1;
                qirSyncBatch::SetEnabled(0);
                double t = run(root, spool);
                qirSyncBatch::SetEnabled(1);
                qirNoSync.push_back(t);
                return t < 0 ? -1 : 0;
            },
            [&] {
                std::string root = fresh("qir-inc");
                std::string spool = root + "/spool";
                if (qirWriteSpool(spool, text) != 0) return -1;
                double t = qirIncFile(root, spool);
                if (t >= 0) inc.push_back(t);
                return 0;
            },
            [&] {
                double t = qirStoreFloor(tree, fresh("qir-floor") + "/F", 1);
                floor.push_back(t);
                return t < 0 ? -1 : 0;
            },
            [&] {
                double t = qirStoreFloor(tree, fresh("qir-floor") + "/F", 0);
                floorNoSync.push_back(t);
                return t < 0 ? -1 : 0;
            },
        };
        static const char* const names[] = {"qir", "qir without syncs", "inc", "floor", "floor without syncs"};
        for (size_t k = 0; k < runs.size(); ++k)
            if (runs[(k + round) % runs.size()]() != 0) {
                fprintf(stderr, "round %d: the %s run failed\n", round + 1, names[(k + round) % runs.size()]);
                for (const std::string& d : made) qirRemoveDirectory(d.c_str(), 0);
                return 1;
            } else if (!onDisk) {
                for (const std::string& d : made) qirRemoveDirectory(d.c_str(), 0);
                made.clear();
            }
        printf("round %d: qir %.3f s (no syncs %.3f), inc %.3f, floor %.3f (no syncs %.3f)\n", round + 1, qir.back(),
               qirNoSync.back(), inc.empty() ? -1.0 : inc.back(), floor.back(), floorNoSync.back());
        fflush(stdout);
    }
    for (const std::string& d : made) qirRemoveDirectory(d.c_str(), 0);
    double q = qirMedian(qir), qn = qirMedian(qirNoSync), i = qirMedian(inc), f = qirMedian(floor),
           fn = qirMedian(floorNoSync);
    printf("\n| %s | qir | inc | floor | qir / inc | qir / floor |\n|---|---|---|---|---|---|\n", work);
    printf("| synced | %.3f s | %.3f s | %.3f s | %.2f | %.2f |\n", q, i, f, i > 0 ? q / i : 0, q / f);
    printf("| no syncs | %.3f s | %.3f s | %.3f s | %.2f | %.2f |\n", qn, i, fn, i > 0 ? qn / i : 0, qn / fn);
    printf("(medians of %d rounds; inc never syncs)\n", rounds);
    return 0;
}

#endif
