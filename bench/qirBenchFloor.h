// The floors the storing benchmarks print beside qir and its peer: the
// least the system calls of a piece of work cost on the file system at
// hand, done straight with them.  One place for them, so that every
// benchmark of storing mail measures its floor the same way; add a floor
// here rather than in a benchmark of its own.
#ifndef QIR_BENCH_FLOOR_H
#define QIR_BENCH_FLOOR_H

#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

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

#endif
