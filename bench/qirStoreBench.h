// What the storing benchmarks share: fresh scratch directories, nmh's inc
// as the peer, and the time of the storing floor (qirBenchFloor.h).  Each round takes the three in turn, and nothing is
// deleted between the runs of a round (an ext4 without a journal pays for
// new files made soon after many were deleted).
#ifndef QIR_STORE_BENCH_H
#define QIR_STORE_BENCH_H

#include <algorithm>
#include <chrono>
#include <dirent.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "qirBenchFloor.h"
#include "qirSyncBatch.h"
#include "qirUtilities.h"

inline double qirBenchNow()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// A fresh directory under base, or "".
inline std::string qirFreshDir(const std::string& base, const char* name)
{
    std::string t = base + "/" + name + ".XXXXXX";
    return mkdtemp(&t[0]) ? t : std::string();
}

// The messages of an mbox as they stand in it, "From " line included.
inline std::vector<std::string> qirMboxLetters(const std::string& data, size_t most)
{
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < data.size() && out.size() < most) {
        size_t next = data.find("\n\nFrom ", pos);
        size_t end = next == std::string::npos ? data.size() : next + 2;
        out.push_back(data.substr(pos, end - pos));
        pos = end;
    }
    return out;
}

// The floor of storing the tree under folder, timed: seconds, or -1.
inline double qirStoreFloor(const std::vector<qirTreeEntry>& tree, const std::string& folder, int sync)
{
    double t0 = qirBenchNow();
    return qirFloorStoreTree(tree, folder, sync) == 0 ? qirBenchNow() - t0 : -1;
}

inline int qirWriteText(const std::string& path, const char* text, size_t n, int sync = 0)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) return -1;
    int r = write(fd, text, n) == (ssize_t)n ? 0 : -1;
    if (sync && fsync(fd) != 0) r = -1;
    return close(fd) == 0 ? r : -1;
}

// A spool as mail delivered long ago lies: on the disk, so that its own
// writing back does not stand in the way of what is timed.
inline int qirWriteSpool(const std::string& path, const std::string& text)
{
    return qirWriteText(path, text.data(), text.size(), 1);
}

// nmh's inc of the spool file into a fresh MH folder under root (the spool
// is left as it is): the seconds taken, or -1 when inc is missing or fails.
inline double qirIncFile(const std::string& root, const std::string& spool)
{
    if (access("/usr/bin/mh/inc", X_OK) != 0) return -1;
    std::string home = root + "/home";
    mkdir(home.c_str(), 0700);
    if (FILE* profile = fopen((home + "/.mh_profile").c_str(), "w")) {
        fprintf(profile, "Path: Mail\n");
        fclose(profile);
    }
    mkdir((home + "/Mail").c_str(), 0700);
    mkdir((home + "/Mail/bench").c_str(), 0700); // inc asks before making a folder
    std::string cmd = "HOME='" + home + "' MH='" + home + "/.mh_profile' /usr/bin/mh/inc -file '" + spool +
                      "' -notruncate -silent +bench </dev/null >/dev/null 2>&1";
    double t0 = qirBenchNow();
    int r = system(cmd.c_str());
    double t = qirBenchNow() - t0;
    return r == 0 ? t : -1;
}

#endif
