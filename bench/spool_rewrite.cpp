// Removing fetched mail from a large local mailbox: a 100 MB spool whose
// first 90 MB were fetched and are deleted, the last 10 MB (mail delivered
// meanwhile) kept.  The rewrite writes the kept text to its journal, syncs
// it, copies it over the front of the spool, syncs, cuts and syncs again.
// The floor is a rewrite by plain copy: the same 10 MB into a new file,
// synced once and renamed over the spool (which frees the old one, as the
// cut does).
// Each round writes a fresh spool, then times the two in turn.
//
//     bench_spool_rewrite [MEGABYTES KEPT_MEGABYTES ROUNDS] SCRATCH
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "qirBenchMedian.h"

#include "qirMailBox.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::string Letter(int n, size_t size)
{
    std::string out = "From sender@example.org Mon Jan  1 10:00:00 2024\nMessage-Id: <" + std::to_string(n) +
                      ".bench@example.org>\nSubject: message " + std::to_string(n) + "\n\n";
    std::string line(71, 'x');
    while (out.size() < size) out += line + "\n";
    return out + "\n";
}

int WriteAll(int fd, const char* p, size_t n)
{
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w <= 0) return -1;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return 0;
}

// The kept text read from the spool, written once to a new file and
// renamed over the spool.
int PlainCopy(const std::string& from, long at, long length, const std::string& to)
{
    int in = open(from.c_str(), O_RDONLY);
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0) return -1;
    std::vector<char> buf(1 << 16);
    while (length > 0) {
        ssize_t n = pread(in, buf.data(), length < long(buf.size()) ? size_t(length) : buf.size(), at);
        if (n <= 0 || WriteAll(out, buf.data(), size_t(n)) != 0) return -1;
        at += n;
        length -= n;
    }
    int r = fsync(out);
    close(in);
    if (close(out) != 0 || r != 0) return -1;
    return rename(to.c_str(), from.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    const char* scratch = argc > 1 ? argv[argc - 1] : "/tmp";
    long megabytes = argc > 4 ? atol(argv[1]) : 100, keptMegabytes = argc > 4 ? atol(argv[2]) : 10;
    int rounds = argc > 4 ? atoi(argv[3]) : 5;
    std::string dir = std::string(scratch) + "/qir-bench-spool-XXXXXX";
    if (!mkdtemp(&dir[0])) return 1;
    const size_t letterSize = 10000;
    const int letters = int((megabytes << 20) / letterSize), keptFrom = letters - int((keptMegabytes << 20) / letterSize);
    std::string spool;
    spool.reserve(size_t(megabytes << 20) + letterSize);
    long keptAt = 0;
    for (int i = 0; i < letters; ++i) {
        if (i == keptFrom) keptAt = long(spool.size());
        spool += Letter(i, letterSize);
    }
    printf("spool: %zu bytes, %d letters, %ld bytes kept\n", spool.size(), letters, long(spool.size()) - keptAt);

    std::vector<double> qir, plain;
    for (int r = 0; r < rounds; ++r) {
        std::string path = dir + "/spool" + std::to_string(r), copy = dir + "/copy" + std::to_string(r);
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || WriteAll(fd, spool.data(), spool.size()) != 0 || fsync(fd) != 0 || close(fd) != 0) return 1;
        {
            qirMailBox box(path.c_str());
            if (box.Count() != letters) return 1;
            for (int i = 0; i < keptFrom; ++i) box.MarkDeleted(i);
            auto t0 = std::chrono::steady_clock::now();
            if (box.Commit() != 0) return 1;
            qir.push_back(Seconds(t0));
        }
        // A second spool for the peer, its kept text where the rewrite left it.
        std::string peer = dir + "/peer" + std::to_string(r);
        fd = open(peer.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || WriteAll(fd, spool.data() + keptAt, spool.size() - keptAt) != 0 ||
            WriteAll(fd, spool.data(), size_t(keptAt)) != 0 || fsync(fd) != 0 || close(fd) != 0)
            return 1;
        auto t0 = std::chrono::steady_clock::now();
        if (PlainCopy(peer, 0, long(spool.size()) - keptAt, copy) != 0) return 1;
        plain.push_back(Seconds(t0));
        unlink(path.c_str());
        unlink(peer.c_str());
    }
    double q = qirMedian(qir), p = qirMedian(plain);
    printf("rewrite with journal:         %.3f s\nplain copy, synced, renamed:  %.3f s\nqir / plain copy:             %.2f\n", q, p, q / p);
    rmdir(dir.c_str());
    return 0;
}
