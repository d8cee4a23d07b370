// Shared helpers of the text-library tests.
#ifndef QIR_TEXT_FIXTURES_H
#define QIR_TEXT_FIXTURES_H

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "qirRTFDocument.h"
#include "qirRTFMetrics.h"

// Widths and heights that depend on the style, so that a run boundary in
// the wrong place shows in the layout: bold is wider, the size step changes
// width and height, and "i" is narrow.
class StyledMetrics : public qirRTFMetrics {
public:
    const qirRTFFontMetrics& Metrics(const qirRTFStyle& run) const override {
        auto key = std::make_pair(run.bits, run.size);
        auto it = fonts_.find(key);
        if (it != fonts_.end())
            return it->second;
        qirRTFFontMetrics& f = fonts_[key];
        int base = 6 + ((run.bits & qirRTFBold) ? 2 : 0) + run.size;
        if (base < 1)
            base = 1;
        for (int c = 0; c < 256; ++c)
            f.widths[c] = c == 'i' ? base / 2 : base;
        f.maxWidth = base;
        f.ascent = 10 + 2 * run.size;
        f.descent = 3 + ((run.bits & qirRTFItalic) ? 1 : 0);
        return f;
    }

private:
    mutable std::map<std::pair<int, int>, qirRTFFontMetrics> fonts_;
};

// Replaces the document by text in one plain run, with a flush-left mark
// at every paragraph start and at the end, as the plain reader gives them.
inline void LoadPlain(qirRTFDocument& doc, const std::string& text) {
    doc.clear();
    std::vector<qirRTFAlign> marks(1, qirRTFAlign(qirAlignLeft, 0));
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n')
            marks.emplace_back(qirAlignLeft, static_cast<int>(i) + 1);
    doc.insert(0, text, std::vector<qirRTFStyle>(1, qirRTFStyle(0)), marks);
}

#endif
