// Loading text/enriched and plain bodies into an editor document: a crafted
// 1 MB body of nested x-color and param tags (each parameter and each
// closing alignment tag once cost a walk back over all earlier tags), and
// 1 MB of plain text, each read, inserted and laid out; then writing back.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "qirBenchMedian.h"

#include "qirRTFDocument.h"
#include "qirRTFMetrics.h"
#include "qirRTFReaderWriter.h"

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string Nested() {
    std::string s;
    int i = 0;
    while (s.size() < 1000000) {
        s += "<x-color><param>red</param><param>nested <param>deep</param></param>";
        s += i % 3 ? "<center>c" : "<flushright>r\n\n";
        if (i % 7 == 0)
            s += "</center></flushright>";
        ++i;
    }
    return s;
}

std::string Plain() {
    std::string s;
    unsigned seed = 11;
    while (s.size() < 1000000) {
        seed = seed * 1103515245u + 12345u;
        int len = 20 + static_cast<int>((seed >> 16) % 71);
        for (int k = 0; k < len; ++k)
            s += k % 7 == 6 ? ' ' : static_cast<char>('a' + (seed >> (k % 13)) % 26);
        s += '\n';
    }
    return s;
}

void Run(const char* what, const std::string& body, bool enriched) {
    qirRTFFixedMetrics metrics(7, 11, 3);
    qirRTFStubResources res;
    qirRTFReaderWriter rw(res);
    std::vector<double> loads, writes;
    size_t lines = 0, written = 0;
    for (int round = 0; round < 3; ++round) {
        qirRTFDocument doc;
        doc.SetMetrics(&metrics);
        doc.SetWidth(600);
        qirRTFSource src(body.data(), body.size());
        double t0 = Now();
        rw.Load(doc, src, enriched);
        loads.push_back(Now() - t0);
        lines = doc.Lines().size();
        FILE* out = fopen("/dev/null", "w");
        t0 = Now();
        rw.WriteEnriched(doc, out);
        writes.push_back(Now() - t0);
        written = static_cast<size_t>(ftell(out));
        fclose(out);
    }
    printf("%s: %zu bytes, load and lay out %.1f ms (%zu display lines), write enriched %.1f ms\n",
           what, body.size(), qirMedian(loads) * 1e3, lines, qirMedian(writes) * 1e3);
    (void)written;
}

}  // namespace

int main() {
    Run("nested x-color/param enriched", Nested(), true);
    Run("plain text", Plain(), false);
    return 0;
}
