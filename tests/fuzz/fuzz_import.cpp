// libFuzzer target: any message text imports into a message directory, is
// saved and loads back, and every file it writes stays inside that
// directory.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "qirMsg.h"
#include "qirUtilities.h"

static std::string scratch;

// Every entry below root, recursively; aborts on a symbolic link, which no
// import may make.
static void Walk(const std::string& dir)
{
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        std::string p = dir + "/" + n;
        struct stat st;
        if (lstat(p.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) abort();
        if (S_ISDIR(st.st_mode)) Walk(p);
    }
    closedir(d);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (scratch.empty()) {
        char name[] = "/tmp/qir-fuzz-import-XXXXXX";
        if (!mkdtemp(name)) abort();
        scratch = name;
        // libFuzzer ends a bounded run by exit(): the scratch goes then.
        atexit([] { qirRemoveDirectory(scratch.c_str(), 0); });
    }
    std::string dir = scratch + "/Message1";
    FILE* in = fmemopen(const_cast<uint8_t*>(size ? data : (const uint8_t*)""), size ? size : 1, "r");
    if (!in) return 0;
    {
        qirMsg msg(qirPath(dir.c_str()));
        msg.ImportRFC822(in);
        msg.Save();
    }
    fclose(in);
    {
        qirMsg again(qirPath(dir.c_str()));
        (void)again.Size();
    }
    Walk(dir);
    // Nothing may appear beside the message directory.
    DIR* d = opendir(scratch.c_str());
    int others = 0;
    while (dirent* e = readdir(d))
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..") && strcmp(e->d_name, "Message1")) ++others;
    closedir(d);
    if (others) abort();
    qirRemoveDirectory(dir.c_str(), 0);
    return 0;
}
