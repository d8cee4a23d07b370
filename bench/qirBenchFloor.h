// The floors the storing benchmarks print beside qir and its peer: the
// least the system calls of a piece of work cost on the file system at
// hand, done straight with them.  One place for them, so that every
// benchmark of storing mail measures its floor the same way; add a floor
// here rather than in a benchmark of its own.
#ifndef QIR_BENCH_FLOOR_H
#define QIR_BENCH_FLOOR_H

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "qirSyncBatch.h"

// One rename of each entry of names from directory from into directory
// to (a move, entry by entry): 0, or -1 at the first failure.
inline int qirFloorRenameEach(const std::string& from, const std::string& to, const std::vector<std::string>& names)
{
    for (const std::string& n : names)
        if (renameat2(AT_FDCWD, (from + "/" + n).c_str(), AT_FDCWD, (to + "/" + n).c_str(), RENAME_NOREPLACE) != 0)
            return -1;
    return 0;
}

// The tree under the open directory fd unlinked entry by entry (a
// multipart body is a directory of its own), fd closed: 0, or -1.
inline int qirFloorEmpty(int fd)
{
    DIR* dir = fdopendir(fd);
    if (!dir) return -1;
    int r = 0;
    while (struct dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.' && (!e->d_name[1] || (e->d_name[1] == '.' && !e->d_name[2]))) continue;
        if (e->d_type == DT_DIR) {
            int sub = openat(fd, e->d_name, O_RDONLY | O_DIRECTORY);
            if (sub < 0 || qirFloorEmpty(sub) != 0 || unlinkat(fd, e->d_name, AT_REMOVEDIR) != 0) r = -1;
        } else if (unlinkat(fd, e->d_name, 0) != 0) {
            r = -1;
        }
        if (r) break;
    }
    closedir(dir);
    return r;
}

// Each directory of dirs emptied and removed (the least a removal of
// message directories costs): 0, or -1 at the first failure.
inline int qirFloorRemoveEach(const std::vector<std::string>& dirs)
{
    for (const std::string& d : dirs) {
        int fd = open(d.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0 || qirFloorEmpty(fd) != 0 || rmdir(d.c_str()) != 0) return -1;
    }
    return 0;
}

// A new file holding n bytes, made in one write: 0, or -1.
inline int qirFloorWrite(const std::string& path, const char* text, size_t n)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) return -1;
    int r = write(fd, text, n) == (ssize_t)n ? 0 : -1;
    return close(fd) == 0 ? r : -1;
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

// Storing mail: the same directories and files as the tree (of a folder
// the program stored, qirListTree), each file made in one write with
// nothing parsed, and with sync set each message directory synced in
// rounds of 64, then the folder, as the fetch syncs: 0, or -1.
inline int qirFloorStoreTree(const std::vector<qirTreeEntry>& tree, const std::string& folder, int sync)
{
    size_t largest = 0;
    for (const qirTreeEntry& e : tree) largest = std::max(largest, e.size);
    static std::string bytes;
    if (bytes.size() < largest) bytes.assign(largest, 'x');
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
        if (e.directory ? mkdir(path.c_str(), 0700) != 0 : qirFloorWrite(path, bytes.data(), e.size) != 0) return -1;
        if (top) written = path;
    }
    return round(1);
}

#endif
