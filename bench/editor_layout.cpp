// Editor document model: loading and laying out a large plain text, and the
// cost of one keystroke in a long document.  Fixed-width metrics stand in
// for the display's font tables.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "qirBenchMedian.h"

#include "qirRTFDocument.h"
#include "qirRTFMetrics.h"

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Lines of 20 to 90 characters in words, a few long enough to wrap.
std::string MakeText(int lines) {
    std::string text;
    unsigned seed = 7;
    auto next = [&]() { seed = seed * 1103515245u + 12345u; return (seed >> 16) & 0x7fff; };
    for (int i = 0; i < lines; ++i) {
        int len = 20 + static_cast<int>(next() % 71);
        if (next() % 10 == 0)
            len += 80;
        int col = 0;
        while (col < len) {
            int word = 1 + static_cast<int>(next() % 9);
            for (int k = 0; k < word && col < len; ++k, ++col)
                text += static_cast<char>('a' + next() % 26);
            if (col < len) {
                text += ' ';
                ++col;
            }
        }
        text += '\n';
    }
    return text;
}

void Load(qirRTFDocument& doc, const std::string& text) {
    doc.clear();
    std::vector<qirRTFAlign> marks(1, qirRTFAlign(qirAlignLeft, 0));
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n')
            marks.emplace_back(qirAlignLeft, static_cast<int>(i) + 1);
    doc.insert(0, text, std::vector<qirRTFStyle>(1, qirRTFStyle(0)), marks);
}

}  // namespace

int main() {
    qirRTFFixedMetrics metrics(7, 11, 3);
    const int width = 600;   // about 85 characters a line

    std::string big = MakeText(17500);
    while (big.size() < 1000000)
        big += MakeText(100);
    int bigLines = static_cast<int>(std::count(big.begin(), big.end(), '\n'));
    std::vector<double> rounds;
    size_t displayLines = 0;
    for (int round = 0; round < 5; ++round) {
        qirRTFDocument doc;
        doc.SetMetrics(&metrics);
        doc.SetWidth(width);
        double t0 = Now();
        Load(doc, big);
        rounds.push_back(Now() - t0);
        displayLines = doc.Lines().size();
    }
    printf("load and lay out %zu bytes, %d text lines, %zu display lines: %.1f ms\n",
           big.size(), bigLines, displayLines, qirMedian(rounds) * 1e3);

    {
        qirRTFDocument doc;
        doc.SetMetrics(&metrics);
        doc.SetWidth(width);
        Load(doc, big);
        double t0 = Now();
        const int rounds = 20;
        for (int i = 0; i < rounds; ++i)
            doc.relayout(-1, -1);
        printf("full relayout of the same text: %.1f ms\n", (Now() - t0) / rounds * 1e3);
    }

    // Typing a sentence in the middle of a 10,000-line document.
    std::string doc10k = MakeText(10000);
    qirRTFDocument doc;
    doc.SetMetrics(&metrics);
    doc.SetWidth(width);
    Load(doc, doc10k);
    int pos = doc.Length() / 2;
    const char* sentence = "the quick brown fox jumps over the lazy dog\n";
    const int keys = 4000;
    double worst = 0;
    double t0 = Now();
    for (int i = 0; i < keys; ++i) {
        double k0 = Now();
        doc.InsertChar(pos, static_cast<unsigned char>(sentence[i % 44]));
        ++pos;
        worst = std::max(worst, Now() - k0);
    }
    double typing = (Now() - t0) / keys;
    printf("one keystroke in a %d-line document: %.1f us mean, %.1f us worst\n",
           10000, typing * 1e6, worst * 1e6);

    // Deleting them again with backspace.
    t0 = Now();
    for (int i = 0; i < keys; ++i)
        doc.DeleteRange(--pos, 1);
    printf("one backspace in the same document: %.1f us mean\n", (Now() - t0) / keys * 1e6);

    // Worst case for the model: one paragraph of 100 KB, typed into at its middle.
    std::string para;
    for (int i = 0; i < 20000; ++i)
        para += "word ";
    para += '\n';
    Load(doc, para);
    pos = doc.Length() / 2;
    t0 = Now();
    for (int i = 0; i < 200; ++i)
        doc.InsertChar(pos++, 'x');
    printf("one keystroke in a single 100 KB paragraph: %.1f us mean\n", (Now() - t0) / 200 * 1e6);
    return 0;
}
