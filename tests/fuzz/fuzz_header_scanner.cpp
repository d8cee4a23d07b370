// libFuzzer target: any header text, under any field name, scans to its end
// token without reading out of bounds, and the comment buffer is either null
// or a whole comment.
// Build by hand (not yet part of the CMake build):
//   clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -Ifoundation -Imail \
//     tests/fuzz/fuzz_header_scanner.cpp mail/*.cpp foundation/*.cpp -o fuzz_header_scanner
//   ./fuzz_header_scanner -max_total_time=30 -max_len=4096 <copy of tests/fuzz/corpus/header_scanner>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qirAddress.h"
#include "qirHeaderScanner.h"

static const char* const names[] = {
    "", "TO:", "CC:", "BCC:", "REPLY-TO:", "FROM:", "SENDER:", "DATE:", "SUBJECT:",
    "MIME-VERSION:", "CONTENT-TYPE:", "X-FACE:", "CONTENT-TRANSFER-ENCODING:",
    "CONTENT-DISPOSITION:", "X-OTHER:",
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string field;
    if (size > 0) {
        field = names[data[0] % (sizeof names / sizeof names[0])];
        field.append(reinterpret_cast<const char*>(data + 1), size - 1);
    }
    const char* end = field.c_str() + strlen(field.c_str());
    qirScanInput = field.c_str();
    // 48 and 37 or 24 take no input; every other token takes some.
    size_t limit = 3 * field.size() + 3;
    for (size_t i = 0;; ++i) {
        if (i > limit) abort(); // a token that takes nothing, over and over
        int t = qirHeaderScanner::nextToken();
        if (qirScanInput < field.c_str() || qirScanInput > end) abort();
        if (t == qirTokBareAddress || t == qirTokAddress) {
            qirAddress a(qirScanText, "x");
            (void)a.Format();
            (void)a.FormatEnriched();
        }
        if (t == qirTokComment) {
            size_t n = qirScanComment ? strlen(qirScanComment) : 0;
            if (n < 2 || qirScanComment[0] != '(' || qirScanComment[n - 1] != ')') abort();
            free(qirHeaderScanner::TakeComment());
        }
        if (t == qirTokEnd) break;
    }
    if (qirScanComment) free(qirHeaderScanner::TakeComment());
    return 0;
}
