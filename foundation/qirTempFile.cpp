#include "qirTempFile.h"

#include <cstdlib>
#include <string>
#include <unistd.h>

FILE* qirTempFile()
{
    const char* dir = getenv("TMPDIR");
    std::string name = std::string(dir && *dir ? dir : "/tmp") + "/qir-XXXXXX";
    int fd = mkstemp(&name[0]);
    if (fd < 0 && dir && *dir) {
        name = "/tmp/qir-XXXXXX";
        fd = mkstemp(&name[0]);
    }
    if (fd < 0) return nullptr;
    unlink(name.c_str());
    FILE* f = fdopen(fd, "w+");
    if (!f) close(fd);
    return f;
}
