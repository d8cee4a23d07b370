// The InterViews session of the window benchmarks, and the shipped
// settings and English texts the program runs with.
#ifndef QIR_BENCH_SESSION_H
#define QIR_BENCH_SESSION_H

#include <cstdlib>
#include <string>

#include "qirConfiguration.h"
#include "qirLanguageGroup.h"

// After the project headers: InterViews renames words they use.
#include <InterViews/session.h>

inline Session* qirBenchSession()
{
    static char name[] = "qir-bench";
    static char* args[] = {name, nullptr};
    static int ac = 1;
    return new Session("QIR", ac, args);
}

// A fresh directory NAME.XXXXXX under the scratch directory the first
// argument names (/tmp without one), or "" when it cannot be made.
inline std::string qirBenchScratch(int argc, char** argv, const char* name)
{
    std::string dir = std::string(argc > 1 ? argv[1] : "/tmp") + "/" + name + ".XXXXXX";
    return mkdtemp(&dir[0]) ? dir : std::string();
}

inline void qirBenchLoadShippedData()
{
    qirConfig.Load(QIR_BUILD_DATA "/QIR.cfg");
    qirLanguage.Load(QIR_BUILD_DATA "/QIR/Languages/English");
}

#endif
