// The rows each benchmark leaves behind, and the tables printed from them at the end of the run.
#pragma once

#include <cstddef>
#include <string>

#include "samples.h"

namespace kesmzn::bench {

struct ExchangeRow {
    std::string line;  // "4800", "115200", "unpaced"
    std::string exchange;
    std::size_t bytesOut = 0;
    std::size_t bytesIn = 0;
    int samples = 0;
    Summary wallMs;
    double floorMs = 0;
    Summary overheadMs;
    Summary cpuUs;       // user and system time of the calling thread
    double waits = 0;    // times it blocked (median)
    double bareWaitUs = 0;  // CPU time of one bare wait of the same mean length, meanwhile (median)
    Summary cpuLessWaitsUs;  // cpuUs less waits x that: an estimate of the driver's own work
    Summary syscalls;  // negative when not counted
};

struct ManyRow {
    std::string line;
    int instances = 0;
    int exchanges = 0;
    int failures = 0;
    Summary wallMs;
    double floorMs = 0;
    double loneMedianMs = 0;  // 0 when no lone run came first
    Summary cpuUs;
};

struct IdleRow {
    int instances = 0;
    double seconds = 0;
    double cpuPercentPerInstance = 0;
    double syscallsPerSecondPerInstance = 0;  // negative when not counted
};

void AddRow(const ExchangeRow& row);
void AddRow(const ManyRow& row);
void AddRow(const IdleRow& row);

// Markdown tables of every row recorded.
void PrintTables();

}  // namespace kesmzn::bench
