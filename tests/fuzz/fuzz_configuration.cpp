// The block syntax reader and writer: any input loads without a fault, and
// what it loaded writes and reads back to the same text.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "qirConfiguration.h"

static std::string Written(const qirConfiguration& tree)
{
    char* buf = nullptr;
    size_t len = 0;
    FILE* f = open_memstream(&buf, &len);
    tree.Write(f);
    fclose(f);
    std::string s(buf, len);
    free(buf);
    return s;
}

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    FILE* f = fmemopen(const_cast<unsigned char*>(data), size ? size : 1, "r");
    if (!f) return 0;
    if (size == 0) {
        fclose(f);
        return 0;
    }
    qirConfiguration tree;
    tree.Load(f, nullptr);
    fclose(f);

    std::string once = Written(tree);
    FILE* g = fmemopen(const_cast<char*>(once.data()), once.size() ? once.size() : 1, "r");
    qirConfiguration again;
    if (!once.empty()) again.Load(g, nullptr);
    fclose(g);
    if (Written(again) != once) abort();
    return 0;
}
