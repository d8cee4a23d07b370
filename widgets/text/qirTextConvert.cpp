#include "qirTextConvert.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "qirEnrichedScanner.h"

namespace {

bool IsBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool WriteAll(FILE* out, const char* data, size_t n) {
    return n == 0 || fwrite(data, 1, n, out) == n;
}

}  // namespace

namespace {

// Keeps the text, drops tags and parameters.
class qirPlainSink : public qirEnrichedSink {
public:
    explicit qirPlainSink(std::string& out) : out_(out) {}
    void Text(unsigned char c) override { out_.push_back(static_cast<char>(c)); }

private:
    std::string& out_;
};

}  // namespace

std::string qirEnrichedToText(const std::string& in) {
    std::string out;
    out.reserve(in.size() + 5);
    qirPlainSink sink(out);
    qirScanEnriched(in.data(), in.size(), sink);
    out.push_back('\n');
    return out;
}

int enriched_to_plain(FILE* in, FILE* out, int width) {
    width = std::max(5, std::min(width, 1000));
    if (!in || !out)
        return 1;
    if (fseek(in, 0, SEEK_END) != 0)
        return 1;
    long size = ftell(in);
    if (size < 0 || fseek(in, 0, SEEK_SET) != 0)
        return 1;
    std::string enriched;
    enriched.resize(static_cast<size_t>(size));
    size_t got = size ? fread(&enriched[0], 1, enriched.size(), in) : 0;
    if (got != enriched.size() && ferror(in))
        return 1;
    enriched.resize(got);

    const std::string text = qirEnrichedToText(enriched);
    // Written by length: a NUL byte in the body does not cut the line.
    const size_t n = text.size();
    size_t p = 0;
    while (p < n) {
        size_t limit = std::min(n, p + static_cast<size_t>(width));
        const void* nl = memchr(text.data() + p, '\n', limit - p);
        size_t taken = nl ? static_cast<size_t>(static_cast<const char*>(nl) - text.data()) + 1 - p
                          : limit - p;
        if (nl || taken < static_cast<size_t>(width)) {
            if (!WriteAll(out, text.data() + p, taken))
                return 1;
            p += taken;
            continue;
        }
        // width bytes without a line end: break after the last blank.
        size_t brk = taken - 1;
        for (size_t k = taken - 1; k >= 1; --k) {
            if (IsBlank(static_cast<unsigned char>(text[p + k]))) {
                brk = k < taken - 1 ? k + 1 : k;
                break;
            }
        }
        if (!WriteAll(out, text.data() + p, brk) || !WriteAll(out, "\n", 1))
            return 1;
        p += brk;
    }
    return fflush(out) == 0 ? 0 : 1;
}

int plain_to_enriched(FILE* in, FILE* out) {
    if (!in || !out)
        return 1;
    static const char open[] = "<NoFill>";
    static const char close[] = "</NoFill>";
    if (!WriteAll(out, open, sizeof open - 1))
        return 1;
    char buf[8192];
    std::string chunk;
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, in)) > 0) {
        chunk.clear();
        for (size_t i = 0; i < got; ++i) {
            chunk.push_back(buf[i]);
            if (buf[i] == '<')
                chunk.push_back('<');
        }
        if (!WriteAll(out, chunk.data(), chunk.size()))
            return 1;
    }
    if (ferror(in))
        return 1;
    if (!WriteAll(out, close, sizeof close - 1))
        return 1;
    return fflush(out) == 0 ? 0 : 1;
}
