// Reading a 50 MB local mailbox spool of 5,000 messages: the one-pass walk
// that copies every message out (as a fetch with nothing in the history
// does), the scan alone, and grep and wc over the same file for scale.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "qirBenchMedian.h"

#include "qirMailBox.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Realistic enough: a dozen header lines, 72-column bodies, the odd escaped
// ">From " and a paragraph starting "from ".
std::string MakeSpool(int messages, size_t bytes)
{
    std::string out;
    out.reserve(bytes + 65536);
    size_t perMessage = bytes / messages;
    std::string line(71, 'x');
    for (int i = 0; i < messages; ++i) {
        size_t start = out.size();
        out += "From sender" + std::to_string(i % 97) + "@example.org Mon Jan  1 10:00:00 2024\n";
        out += "Return-Path: <sender@example.org>\nReceived: from mx.example.org by host.example.net; Mon, 1 Jan 2024 10:00:00 +0000\n";
        out += "Message-Id: <" + std::to_string(i) + ".bench@example.org>\n";
        out += "From: Sender <sender@example.org>\nTo: user@example.net\nSubject: message " + std::to_string(i) + "\n";
        out += "Date: Mon, 1 Jan 2024 10:00:00 +0000\nMIME-Version: 1.0\nContent-Type: text/plain; charset=us-ascii\n\n";
        int n = 0;
        while (out.size() - start < perMessage) {
            if (++n % 40 == 0) out += "\n>From the escaped line\n\nfrom a lower-case paragraph\n";
            out += line + "\n";
        }
        out += "\n";
    }
    return out;
}

double Tool(const char* command, const std::string& path)
{
    std::string cmd = std::string(command) + " '" + path + "' >/dev/null";
    std::vector<double> runs;
    for (int r = 0; r < 5; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        if (system(cmd.c_str()) != 0) return -1;
        runs.push_back(Seconds(t0));
    }
    return qirMedian(runs);
}

} // namespace

int main()
{
    char dir[] = "/tmp/qir-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    std::string path = std::string(dir) + "/spool";
    std::string spool = MakeSpool(5000, 50u << 20);
    FILE* f = fopen(path.c_str(), "w");
    if (!f || fwrite(spool.data(), 1, spool.size(), f) != spool.size() || fclose(f) != 0) return 1;
    printf("spool: %zu bytes\n", spool.size());

    std::vector<double> walks, scans;
    int count = 0;
    long read = 0, copied = 0;
    for (int r = 0; r < 5; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        {
            qirMailBox box(path.c_str(), 0);
            count = 0;
            copied = 0;
            while (box.NextMessage()) {
                FILE* m = box.FetchCurrent();
                if (!m) return 1;
                fseek(m, 0, SEEK_END);
                copied += ftell(m);
                fclose(m);
                ++count;
            }
            read = box.BytesRead();
        }
        walks.push_back(Seconds(t0));
        t0 = std::chrono::steady_clock::now();
        {
            qirMailBox box(path.c_str());
            if (box.Count() != count) return 1;
        }
        scans.push_back(Seconds(t0));
    }
    double walk = qirMedian(walks), scan = qirMedian(scans);
    printf("walk, every message copied out: %d messages, %ld bytes read, %ld copied, %.3f s\n", count, read, copied,
           walk);
    printf("scan alone:                      %.3f s\n", scan);
    printf("grep -c '^From ':                %.3f s\n", Tool("grep -c '^From '", path));
    printf("wc -l:                           %.3f s\n", Tool("wc -l", path));
    printf("cat > /dev/null:                 %.3f s\n", Tool("cat", path));
    unlink(path.c_str());
    rmdir(dir);
    return 0;
}
