// What the line breaking needs to know about fonts, supplied by the display
// layer (from its per-font tables) or by a stub in tests and benchmarks.
#ifndef QIR_RTF_METRICS_H
#define QIR_RTF_METRICS_H

#include "qirRTFStyle.h"

// Pixel metrics of one font: ints throughout, since large fonts exceed a byte.
struct qirRTFFontMetrics {
    int ascent = 0;
    int descent = 0;
    int maxWidth = 0;      // the width one indent step is measured in (x 4)
    int widths[256] = {};  // advance of each byte
};

class qirRTFMetrics {
public:
    virtual ~qirRTFMetrics();
    // The metrics of the font that a run is drawn in.  The reference stays
    // valid while the metrics object lives and the fonts are not reloaded.
    virtual const qirRTFFontMetrics& Metrics(const qirRTFStyle& run) const = 0;
};

// Every byte of every style is the same width: for tests and benchmarks.
class qirRTFFixedMetrics : public qirRTFMetrics {
public:
    qirRTFFixedMetrics(int charWidth, int ascent, int descent);
    const qirRTFFontMetrics& Metrics(const qirRTFStyle& run) const override;

private:
    qirRTFFontMetrics font_;
};

#endif
