// Streams over byte strings for the coder and body part tests.
#ifndef QIR_CODER_TEST_SUPPORT_H
#define QIR_CODER_TEST_SUPPORT_H

#include <cstdio>
#include <string>

// A temporary file holding the bytes, positioned at its start.
inline FILE* StreamOf(const std::string& bytes)
{
    FILE* f = tmpfile();
    if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
    rewind(f);
    return f;
}

// Everything from the stream's current position to its end.
inline std::string RestOf(FILE* f)
{
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    return out;
}

inline std::string Contents(FILE* f)
{
    rewind(f);
    return RestOf(f);
}

inline std::string FileContents(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    std::string s = RestOf(f);
    fclose(f);
    return s;
}

// Bytes that differ from run to run of no test: a fixed generator.
inline std::string Bytes(size_t n, unsigned seed = 1)
{
    std::string s(n, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = (char)(x >> 16);
    }
    return s;
}

#endif
