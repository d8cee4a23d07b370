#include "qirRTFMetrics.h"

qirRTFMetrics::~qirRTFMetrics() {}

qirRTFFixedMetrics::qirRTFFixedMetrics(int charWidth, int ascent, int descent) {
    font_.ascent = ascent;
    font_.descent = descent;
    font_.maxWidth = charWidth;
    for (int& w : font_.widths)
        w = charWidth;
}

const qirRTFFontMetrics& qirRTFFixedMetrics::Metrics(const qirRTFStyle&) const {
    return font_;
}
