// libFuzzer target for the transfer-encoding decoders and the part line
// reader.  The first byte picks the coder and whether a boundary is given;
// the rest is the part text.  Built by hand, not by the project build:
//   clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address \
//     -Ifoundation -Imail tests/fuzz/fuzz_decoders.cpp mail/qirRFile.cpp \
//     mail/qirCoder.cpp foundation/qirObject.cpp foundation/qirString.cpp \
//     foundation/qirPath.cpp foundation/qirError.cpp foundation/qirAtomicFile.cpp
#include <cstdint>
#include <cstdio>

#include "qirCoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    int encoding = data[0] % 8;
    const char* boundary = (data[0] & 0x80) ? "b" : nullptr;
    FILE* in = fmemopen((void*)(data + 1), size - 1 ? size - 1 : 1, "rb");
    if (!in) return 0;
    if (size == 1) fgetc(in); // an empty part
    FILE* out = fopen("/dev/null", "w");
    int status = 0;
    qirCoder* coder = qirCoder::Create(encoding, boundary, &status);
    int r = coder->Decode(in, out);
    if (r > 1 || (r < 0 && r != -10)) __builtin_trap();
    delete coder;
    // The reader must leave the stream at a line start or the end.
    fclose(in);
    fclose(out);
    return 0;
}
