// Each exchange on one instance: wall time against its floor, the calling thread's CPU time and
// system calls. The listener's pass runs on the calling thread too (its thread never ticks here), so
// its cost is that thread's alone; the simulated panel's threads are never counted.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "floor.h"
#include "kesmzn.h"
#include "kesmzn_sim/frame.h"
#include "plan.h"
#include "probes.h"
#include "rig.h"
#include "tables.h"

namespace kesmzn::bench {

namespace {

using namespace std::chrono_literals;

constexpr int kModeKind = 1;
constexpr int kZoneKind = 2;

// Two event lines with recognised codes, as the panel sends them.
std::string TwoEvents() { return kesmzn::sim::buildFrame("A000010020") + kesmzn::sim::buildFrame("A100020030"); }

int RunOnce(Rig& rig, Exchange exchange, int iteration) {
    std::uint16_t values[kesmzn::sim::kMaxZones + 1] = {};
    TagIoData tag{};
    tag.name = "bench";
    tag.values = values;
    switch (exchange) {
    case Exchange::ModeRead:
        tag.kind = kModeKind;
        tag.number = 3;
        return rig.Request(KES_REQUEST_SINGLE_READ, &tag);
    case Exchange::ZoneRead:
        tag.kind = kZoneKind;
        tag.number = 7;
        return rig.Request(KES_REQUEST_SINGLE_READ, &tag);
    case Exchange::ModeWrite:
        tag.kind = kModeKind;
        tag.number = 4;
        values[1] = static_cast<std::uint16_t>(1 + iteration % 9);
        return rig.Request(KES_REQUEST_SINGLE_WRITE, &tag);
    case Exchange::ZoneWrite:
        tag.kind = kZoneKind;
        tag.number = 5;
        values[1] = static_cast<std::uint16_t>(1 + iteration % 2);
        return rig.Request(KES_REQUEST_SINGLE_WRITE, &tag);
    case Exchange::BlockRead:
        tag.kind = kZoneKind;
        tag.number = 1;
        tag.blockSize = static_cast<std::int32_t>(rig.config().zones);
        return rig.Request(KES_REQUEST_BLOCK_READ, &tag);
    case Exchange::ListenerPass:
        rig.ListenerPass();
        return 0;
    }
    return 1;
}

// Sends the two event lines and waits until they are in the driver's receive queue: their time on the
// wire and a margin (the panel publishes its byte counts a turn late, so they cannot tell).
void PutEventsOnTheLine(Rig& rig, const std::string& events, const Line& line) {
    rig.panel().sendRaw(events);
    const double wireMs = line.paced ? static_cast<double>(events.size()) * 10000.0 / line.baud : 0.0;
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(wireMs + 20.0));
}

void RunExchange(benchmark::State& state, Line line, Exchange exchange, unsigned zones) {
    Rig& rig = SharedRig({line.baud, line.paced, zones});
    if (!rig.started()) {
        state.SkipWithError("ColdStart failed");
        return;
    }
    const std::string events = TwoEvents();
    std::vector<double> wall, overhead, cpu, waits, bareWaits, calls;
    const bool counting = SyscallCounting();
    ExchangeRow row;
    row.line = LineName(line);
    row.exchange = ExchangeName(exchange, zones);
    double floorMs = 0;
    int iteration = 0;
    for (auto _ : state) {
        std::uint64_t straysBefore = 0;
        if (exchange == Exchange::ListenerPass) {
            straysBefore = rig.panel().stats().strayAcks;
            PutEventsOnTheLine(rig, events, line);
        }
        rig.panel().clearLog();
        // Odd iterations count system calls, even ones measure CPU time (a counter makes waits dearer).
        const bool countThisOne = counting && iteration % 2 == 1;
        const ThreadMark begin = Begin(countThisOne);
        const int result = RunOnce(rig, exchange, iteration);
        const ThreadMark end = End();
        const ThreadCost cost = Cost(begin, end);
        state.SetIterationTime(cost.wallMs / 1000.0);
        if (result != 0) {
            state.SkipWithError("the exchange failed");
            break;
        }

        std::size_t ack = 0, reply = 0, out = 0;
        if (exchange == Exchange::ListenerPass) {
            // Both events acknowledged, or the pass did not do its work.
            const bool acked = rig.panel().waitFor([&](const kesmzn::sim::Stats& s) { return s.strayAcks >= straysBefore + 2; }, 2s);
            if (!acked) {
                state.SkipWithError("the pass did not acknowledge both events");
                break;
            }
            reply = events.size();
            out = 2 * 9;
        } else {
            int sent = 0;
            for (const auto& entry : rig.panel().log()) {
                if (entry.direction == kesmzn::sim::Direction::Received) {
                    out += entry.bytes.size();
                } else if (sent++ == 0) {
                    ack = entry.bytes.size();
                } else {
                    reply += entry.bytes.size();
                }
            }
        }
        const double byteFloor = ExchangeFloorMs(exchange, line.paced ? line.baud : 0, ack, reply);
        floorMs = byteFloor;
        row.bytesOut = out;
        row.bytesIn = ack + reply;
        wall.push_back(cost.wallMs);
        overhead.push_back(cost.wallMs - byteFloor);
        if (countThisOne) {
            calls.push_back(cost.syscalls);
        } else {
            cpu.push_back(cost.cpuUs);
            waits.push_back(cost.waits);
            // What as many bare waits of the same mean length cost this thread meanwhile: a wake-up
            // after 2 ms finds the caches warmer than one after 100 ms.
            const double waitMs = cost.wallMs / std::max(1.0, cost.waits);
            const int samples = std::clamp(static_cast<int>(100.0 / waitMs), 1, 20);
            std::vector<double> bare;
            for (int i = 0; i < samples; ++i) bare.push_back(BareWaitCpuUs(waitMs));
            bareWaits.push_back(Summarize(bare).median);
        }
        ++iteration;
    }
    if (wall.empty()) return;
    row.samples = static_cast<int>(wall.size());
    row.wallMs = Summarize(wall);
    row.floorMs = floorMs;
    row.overheadMs = Summarize(overhead);
    row.cpuUs = Summarize(cpu);
    row.waits = Summarize(waits).median;
    row.bareWaitUs = Summarize(bareWaits).median;
    std::vector<double> lessWaits;
    for (std::size_t i = 0; i < cpu.size(); ++i) lessWaits.push_back(cpu[i] - waits[i] * bareWaits[i]);
    row.cpuLessWaitsUs = Summarize(lessWaits);
    row.syscalls = calls.empty() ? Summary{-1, -1, -1, -1} : Summarize(calls);
    AddRow(row);
    state.counters["floor_ms"] = floorMs;
    state.counters["over_ms"] = row.overheadMs.median;
    state.counters["cpu_us"] = row.cpuUs.median;
    state.counters["cpu_less_waits_us"] = row.cpuLessWaitsUs.median;
    state.counters["syscalls"] = row.syscalls.median;
    state.counters["bytes_in"] = static_cast<double>(row.bytesIn);
}

}  // namespace

std::string LineName(const Line& line) { return line.paced ? std::to_string(line.baud) : std::string("unpaced"); }

void RegisterExchangeBenchmarks(const Plan& plan) {
    struct Case {
        Exchange exchange;
        unsigned zones;
        const char* name;
    };
    static const Case kCases[] = {
        {Exchange::ModeRead, 16, "mode_read"},         {Exchange::ZoneRead, 16, "zone_read"},
        {Exchange::ModeWrite, 16, "mode_write"},       {Exchange::ZoneWrite, 16, "zone_write"},
        {Exchange::BlockRead, 16, "block_read_16"},    {Exchange::BlockRead, 255, "block_read_255"},
        {Exchange::ListenerPass, 16, "listener_pass_2_events"},
    };
    for (const Line& line : plan.lines) {
        for (const Case& c : kCases) {
            const std::string name = "exchange/" + LineName(line) + "/" + c.name;
            benchmark::RegisterBenchmark(name.c_str(), RunExchange, line, c.exchange, c.zones)
                ->Iterations(plan.iterations)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
}

}  // namespace kesmzn::bench
