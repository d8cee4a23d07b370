// Import speed: every message of an mbox (made by make_import_mbox.py) is
// imported into a message directory of a scratch folder and saved, as the
// fetch drivers do; then nmh's inc files the same mbox into an MH folder,
// as the floor to compare against (inc decodes nothing).
//   bench_import_messages [MBOX [SCRATCH]]
// (defaults /tmp/qir-bench.mbox and /tmp).  The file system matters: on an
// ext4 that has just deleted many files, inode allocation dominates both
// programs; SCRATCH=/dev/shm measures the work of the programs themselves.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "qirMsg.h"
#include "qirUtilities.h"

static double Now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

int main(int argc, char** argv)
{
    const char* mbox = argc > 1 ? argv[1] : "/tmp/qir-bench.mbox";
    std::string data;
    if (qirReadWholeFile(mbox, &data) != 0) {
        fprintf(stderr, "no %s: run bench/make_import_mbox.py %s first\n", mbox, mbox);
        return 1;
    }

    // Message texts without their envelope lines.
    std::vector<std::pair<size_t, size_t>> messages;
    size_t pos = 0;
    while (pos < data.size()) {
        size_t start = data.find('\n', pos);
        if (start == std::string::npos) break;
        ++start;
        size_t end = data.find("\nFrom ", start);
        end = end == std::string::npos ? data.size() : end + 1;
        messages.push_back({start, end - start});
        pos = end;
    }

    std::string rootName = std::string(argc > 2 ? argv[2] : "/tmp") + "/qir-bench-import-XXXXXX";
    std::vector<char> rootBuf(rootName.begin(), rootName.end());
    rootBuf.push_back(0);
    char* root = rootBuf.data();
    if (!mkdtemp(root)) return 1;
    std::string folder = std::string(root) + "/Incoming";
    mkdir(folder.c_str(), 0700);

    double t0 = Now();
    int failed = 0;
    for (size_t i = 0; i < messages.size(); ++i) {
        FILE* in = fmemopen(&data[messages[i].first], messages[i].second, "r");
        qirMsg msg(qirPath((folder + "/Message" + std::to_string(i + 1)).c_str()));
        if (msg.ImportRFC822(in) != 0 || msg.Save() != 0) ++failed;
        fclose(in);
    }
    double ours = Now() - t0;
    printf("qir import: %zu messages (%.1f MB) in %.3f s: %.0f messages/s, %.1f MB/s; %d failed\n",
           messages.size(), data.size() / 1e6, ours, messages.size() / ours, data.size() / 1e6 / ours, failed);

    // nmh inc into an MH folder under a scratch home.
    std::string home = std::string(root) + "/home";
    mkdir(home.c_str(), 0700);
    FILE* profile = fopen((home + "/.mh_profile").c_str(), "w");
    if (profile) {
        fprintf(profile, "Path: Mail\n");
        fclose(profile);
    }
    mkdir((home + "/Mail").c_str(), 0700);
    mkdir((home + "/Mail/bench").c_str(), 0700); // inc asks before making a folder
    std::string copy = std::string(root) + "/inc.mbox";
    qirCopyFile(mbox, copy.c_str());
    std::string cmd = "HOME='" + home + "' MH='" + home + "/.mh_profile' /usr/bin/mh/inc -file '" + copy +
                      "' -notruncate -silent +bench </dev/null >/dev/null 2>&1";
    if (access("/usr/bin/mh/inc", X_OK) == 0) {
        t0 = Now();
        int r = system(cmd.c_str());
        double inc = Now() - t0;
        printf("nmh inc:    %zu messages in %.3f s: %.0f messages/s (status %d)\n", messages.size(), inc,
               messages.size() / inc, r);
        printf("ratio qir/inc (messages per second): %.2f\n", inc / ours);
    } else {
        printf("nmh inc not installed (scripts/install-deps.sh): no comparison\n");
    }
    qirRemoveDirectory(root, 0);
    return failed ? 1 : 0;
}
