// How much each benchmark does (the full run or the smoke run) and the lines it runs on.
#pragma once

#include <string>
#include <vector>

namespace kesmzn::bench {

struct Line {
    unsigned baud;
    bool paced;
};

struct Plan {
    int iterations = 21;        // exchanges per row
    int rounds = 10;            // exchanges per instance when many poll at once
    double idleSeconds = 10;    // window of the idle measurement
    int idleInstances = 8;
    std::vector<Line> lines{{4800, true}, {115200, true}, {115200, false}};
    std::vector<int> instanceCounts{1, 8, 32, 64};
};

// "4800", "115200", or "unpaced" for a pseudo-terminal without pacing.
std::string LineName(const Line& line);

void RegisterExchangeBenchmarks(const Plan& plan);
void RegisterManyBenchmarks(const Plan& plan);
void RegisterIdleBenchmark(const Plan& plan);

}  // namespace kesmzn::bench
