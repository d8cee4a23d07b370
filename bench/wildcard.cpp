// Wildcard matching on adversarial patterns: the classic "*a*a*...*b"
// against long runs of "a", which is exponential for a naive matcher.
#include <chrono>
#include <cstdio>
#include <string>

#include "qirWildcard.h"

int main()
{
    std::string text(10000, 'a');
    const char* patterns[] = {"*a*a*a*a*a*a*b", "*a*a*a*a*a*a*a*a*a*a*a*a*", "a*?*?*?*?*b*", "*aaaa*aaaa*aaab"};
    for (const char* p : patterns) {
        int reps = 200, hits = 0;
        auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < reps; ++i) hits += qirWildcard::Match(p, text.c_str(), 1);
        double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count() / reps;
        printf("%-28s vs 10,000 x 'a': %9.1f us per match (%s)\n", p, us, hits ? "match" : "no match");
    }
    return 0;
}
