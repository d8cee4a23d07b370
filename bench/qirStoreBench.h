// What the storing benchmarks share: fresh scratch directories, nmh's inc
// as the peer, and the floor, a bare loop on the same file system making
// the same directories and files a stored message has (header, summary,
// body) with nothing parsed, its syncs batched as the fetch batches its
// own when asked.  Each round takes the three in turn, and nothing is
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

// The tree a stored folder holds: each directory and file below it (paths
// relative to it, directories before what they hold) with its size.
struct qirTreeEntry {
    std::string path;
    int directory;
    size_t size;
};

inline void qirListTree(const std::string& root, const std::string& rel, std::vector<qirTreeEntry>* out)
{
    DIR* d = opendir((root + rel).c_str());
    if (!d) return;
    std::vector<std::string> names;
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        struct stat st;
        std::string p = rel + "/" + n;
        if (lstat((root + p).c_str(), &st) != 0) continue;
        out->push_back({p, S_ISDIR(st.st_mode) ? 1 : 0, (size_t)st.st_size});
        if (S_ISDIR(st.st_mode)) qirListTree(root, p, out);
    }
}

// The floor: the same directories and files as the tree, written with
// nothing parsed, the top directories in rounds of 64 synced like the
// fetch's when sync is set.  The seconds taken, or -1.
inline double qirStoreFloor(const std::vector<qirTreeEntry>& tree, const std::string& folder, int sync)
{
    size_t largest = 0;
    for (const qirTreeEntry& e : tree) largest = std::max(largest, e.size);
    static std::string bytes;
    if (bytes.size() < largest) bytes.assign(largest, 'x');
    double t0 = qirBenchNow();
    if (mkdir(folder.c_str(), 0700) != 0) return -1;
    qirSyncBatch batch(folder.c_str());
    int inRound = 0;
    std::string written; // the last message directory, complete once the next begins
    auto round = [&](int last) {
        if (!sync || written.empty()) return 0;
        batch.AddTree(written.c_str());
        written.clear();
        if (++inRound < 64 && !last) return 0;
        inRound = 0;
        if (batch.Sync() != 0) return -1;
        batch.Add(folder.c_str());
        return batch.Sync();
    };
    for (const qirTreeEntry& e : tree) {
        std::string path = folder + e.path;
        int top = e.path.find('/', 1) == std::string::npos;
        if (top && round(0) != 0) return -1;
        if (e.directory ? mkdir(path.c_str(), 0700) != 0 : qirWriteText(path, bytes.data(), e.size) != 0) return -1;
        if (top) written = path;
    }
    if (round(1) != 0) return -1;
    return qirBenchNow() - t0;
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
