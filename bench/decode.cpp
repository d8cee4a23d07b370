// File-to-file decoding speed of the base64 and quoted-printable coders.
//   bench_decode decode base64|qp INPUT OUTPUT   prints the seconds taken
//   bench_decode encode base64|qp INPUT OUTPUT   makes test data
// bench/decode.sh makes 200 MB of data and compares with base64 -d.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "qirCoder.h"

int main(int argc, char** argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: %s decode|encode base64|qp input output\n", argv[0]);
        return 2;
    }
    int encoding = !strcmp(argv[2], "qp") ? qirEncQuotedPrintable : qirEncBase64;
    FILE* in = fopen(argv[3], "rb");
    if (!in) {
        perror(argv[3]);
        return 1;
    }
    qirCoder* coder = qirCoder::Create(encoding, nullptr, nullptr);
    auto start = std::chrono::steady_clock::now();
    int r;
    if (!strcmp(argv[1], "encode")) {
        FILE* out = fopen(argv[4], "wb");
        r = out ? coder->Encode(in, out, "data") : -7;
        if (out && fclose(out) != 0) r = -12;
    } else {
        r = qirCoder::DecodeToFile(coder, in, argv[4]);
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    delete coder;
    fclose(in);
    if (r < 0) {
        fprintf(stderr, "%s failed: %d\n", argv[1], r);
        return 1;
    }
    printf("%.3f\n", seconds);
    return 0;
}
