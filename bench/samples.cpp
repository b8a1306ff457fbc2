#include "samples.h"

#include <algorithm>
#include <cmath>

namespace kesmzn::bench {

namespace {
double Rank(const std::vector<double>& sorted, double fraction) {
    const auto last = static_cast<double>(sorted.size() - 1);
    return sorted[static_cast<std::size_t>(std::lround(fraction * last))];
}
}  // namespace

Summary Summarize(std::vector<double> samples) {
    Summary summary;
    if (samples.empty()) return summary;
    std::sort(samples.begin(), samples.end());
    summary.median = Rank(samples, 0.5);
    summary.p10 = Rank(samples, 0.1);
    summary.p90 = Rank(samples, 0.9);
    summary.max = samples.back();
    return summary;
}

}  // namespace kesmzn::bench
