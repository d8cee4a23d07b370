// Text for the benchmarks: lines of common words, the same for every run
// with the same seed.
#ifndef QIR_BENCH_TEXT_H
#define QIR_BENCH_TEXT_H

#include <cstdlib>
#include <cstring>
#include <string>

// Lines of at most about 70 characters, at least bytes long.
inline std::string qirBenchWords(size_t bytes, unsigned* seed)
{
    static const char* words[] = {"the", "message", "queue", "delivery", "server", "lunch", "meeting", "report",
                                  "tomorrow", "attached", "please", "thanks", "regards", "project", "status"};
    std::string out;
    out.reserve(bytes + 80);
    size_t line = 0;
    while (out.size() < bytes) {
        const char* w = words[rand_r(seed) % 15];
        out += w;
        line += strlen(w) + 1;
        if (line > 66) {
            out += '\n';
            line = 0;
        } else {
            out += ' ';
        }
    }
    return out;
}

#endif
