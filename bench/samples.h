// Order statistics of a run's samples.
#pragma once

#include <vector>

namespace kesmzn::bench {

struct Summary {
    double median = 0;
    double p10 = 0;
    double p90 = 0;
    double max = 0;
};

// Nearest-rank percentiles; zeros for no samples.
Summary Summarize(std::vector<double> samples);

}  // namespace kesmzn::bench
