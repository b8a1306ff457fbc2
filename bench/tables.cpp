#include "tables.h"

#include <cstdio>
#include <vector>

namespace kesmzn::bench {

namespace {
constexpr double kMostWaitsEstimated = 5;

std::vector<ExchangeRow> exchangeRows;
std::vector<ManyRow> manyRows;
std::vector<IdleRow> idleRows;

std::string Calls(double calls) {
    if (calls < 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", calls);
    return text;
}
}  // namespace

void AddRow(const ExchangeRow& row) { exchangeRows.push_back(row); }
void AddRow(const ManyRow& row) { manyRows.push_back(row); }
void AddRow(const IdleRow& row) { idleRows.push_back(row); }

void PrintTables() {
    if (!exchangeRows.empty()) {
        std::printf("\n### Each exchange, one instance\n\n");
        std::printf("| line | exchange | bytes out/in | n | median ms | p10-p90 ms | floor ms | overhead ms | CPU us | waits | CPU us less waits | syscalls | syscalls/byte in |\n");
        std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
        for (const ExchangeRow& r : exchangeRows) {
            const double perByte = r.bytesIn > 0 && r.syscalls.median >= 0 ? r.syscalls.median / static_cast<double>(r.bytesIn) : -1;
            char perByteText[32] = "-";
            if (perByte >= 0) std::snprintf(perByteText, sizeof perByteText, "%.2f", perByte);
            // With hundreds of short waits the estimate is smaller than its own error: not shown.
            char lessWaits[32] = "-";
            if (r.waits <= kMostWaitsEstimated) std::snprintf(lessWaits, sizeof lessWaits, "%.0f", r.cpuLessWaitsUs.median);
            std::printf("| %s | %s | %zu/%zu | %d | %.2f | %.2f-%.2f | %.2f | %.2f | %.0f | %.0f | %s | %s | %s |\n",
                        r.line.c_str(), r.exchange.c_str(), r.bytesOut, r.bytesIn, r.samples, r.wallMs.median, r.wallMs.p10,
                        r.wallMs.p90, r.floorMs, r.overheadMs.median, r.cpuUs.median, r.waits, lessWaits,
                        Calls(r.syscalls.median).c_str(), perByteText);
        }
    }
    if (!exchangeRows.empty()) {
        std::printf("\nCPU time of one bare wait of the same mean length, meanwhile (us, median per row):");
        for (const ExchangeRow& r : exchangeRows) std::printf(" %.0f", r.bareWaitUs);
        std::printf("\n");
    }
    if (!manyRows.empty()) {
        std::printf("\n### Instances polling at once (zone reads, one panel each)\n\n");
        std::printf("| line | instances | exchanges | failed | median ms | p10-p90 ms | floor ms | vs lone | CPU us per exchange |\n");
        std::printf("|---|---|---|---|---|---|---|---|---|\n");
        for (const ManyRow& r : manyRows) {
            char ratio[32] = "-";
            if (r.loneMedianMs > 0) std::snprintf(ratio, sizeof ratio, "%+.1f%%", (r.wallMs.median / r.loneMedianMs - 1.0) * 100.0);
            std::printf("| %s | %d | %d | %d | %.2f | %.2f-%.2f | %.2f | %s | %.0f |\n", r.line.c_str(), r.instances, r.exchanges,
                        r.failures, r.wallMs.median, r.wallMs.p10, r.wallMs.p90, r.floorMs, ratio, r.cpuUs.median);
        }
    }
    if (!idleRows.empty()) {
        std::printf("\n### Idle instances (silent panel, listener ticking every 500 ms)\n\n");
        std::printf("| instances | seconds | CPU per instance (%% of a core) | syscalls per second per instance |\n");
        std::printf("|---|---|---|---|\n");
        for (const IdleRow& r : idleRows) {
            char calls[32] = "-";
            if (r.syscallsPerSecondPerInstance >= 0) std::snprintf(calls, sizeof calls, "%.1f", r.syscallsPerSecondPerInstance);
            std::printf("| %d | %.0f | %.4f | %s |\n", r.instances, r.seconds, r.cpuPercentPerInstance, calls);
        }
    }
    std::fflush(stdout);
}

}  // namespace kesmzn::bench
