// The resident memory of this process, for the benchmarks that report it.
#ifndef QIR_RESIDENT_H
#define QIR_RESIDENT_H

#include <cstdio>
#include <cstdlib>
#include <cstring>

// VmRSS in kB, -1 when it cannot be read.
inline long qirResidentKB()
{
    FILE* f = fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kb = -1;
    while (fgets(line, sizeof line, f))
        if (strncmp(line, "VmRSS:", 6) == 0) kb = atol(line + 6);
    fclose(f);
    return kb;
}

#endif
