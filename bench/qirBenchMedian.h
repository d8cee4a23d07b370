// The figure a benchmark reports from its runs: the median, so that one
// lucky or unlucky run on a shared machine moves nothing.
#ifndef QIR_BENCH_MEDIAN_H
#define QIR_BENCH_MEDIAN_H

#include <algorithm>
#include <vector>

// The middle value (the mean of the two middle ones for an even count);
// 0 for no values.
inline double qirMedian(std::vector<double> values)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

#endif
