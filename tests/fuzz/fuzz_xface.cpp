// libFuzzer target for X-Face pictures: the input is either X-Face text
// (first byte even) or the contents of a PBM file (first byte odd).
// Build by hand, e.g.:
//   clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined \
//     -Ifoundation -Imail tests/fuzz/fuzz_xface.cpp mail/qirXFace.cpp \
//     foundation/qirObject.cpp foundation/qirAtomicFile.cpp -lcompface -o fuzz_xface
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "qirXFace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    qirXFace face;
    if (data[0] % 2 == 0) {
        std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
        int r = face.SetText(text.c_str());
        if (r == 0 && (!face.Text() || !face.XbmBits())) abort();
        if (r != 0 && (face.Text() || face.XbmBits())) abort();
        if (r == 0) {
            // A picture that decoded survives a copy unchanged.
            qirXFace copy(face);
            if (!copy.PbmBits() || memcmp(copy.PbmBits(), face.PbmBits(), qirXFaceRasterBytes) != 0) abort();
        }
        return 0;
    }
    static int fd = -1;
    static char path[64];
    if (fd < 0) {
        fd = memfd_create("pbm", 0);
        if (fd < 0) abort();
        snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    }
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data + 1, size - 1, 0) != static_cast<ssize_t>(size - 1)) abort();
    int r = face.ReadPBM(path);
    if (r == 0 && !face.Text()) abort();
    if (r != 0 && !face.IsEmpty()) abort();
    return 0;
}
