// Instances polling at once in one process, each on its own simulated panel: every instance's host
// thread reads a zone again and again; each exchange's time is compared with a lone instance's.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "floor.h"
#include "kesmzn.h"
#include "plan.h"
#include "probes.h"
#include "rig.h"
#include "tables.h"

namespace kesmzn::bench {

namespace {

constexpr unsigned kZones = 16;
// A zone read's answer on the simulated panel: acknowledgement and point reply.
constexpr std::size_t kAckBytes = 4;
constexpr std::size_t kPointReplyBytes = 23;

std::map<std::string, double> loneMedians;

void RunMany(benchmark::State& state, Line line, int instances, int rounds) {
    const std::vector<Rig*> rigs = PoolRigs({line.baud, line.paced, kZones}, instances);
    for (Rig* rig : rigs) {
        if (!rig->started()) {
            state.SkipWithError("ColdStart failed");
            return;
        }
    }
    std::vector<double> wall, cpu;
    std::mutex samplesLock;
    std::atomic<int> failures{0};
    for (auto _ : state) {
        std::latch start(instances);
        std::vector<std::thread> threads;
        const double floorMs = ExchangeFloorMs(Exchange::ZoneRead, line.paced ? line.baud : 0, kAckBytes, kPointReplyBytes);
        for (std::size_t index = 0; index < rigs.size(); ++index) {
            Rig* rig = rigs[index];
            threads.emplace_back([&, rig, index] {
                std::vector<double> ownWall, ownCpu;
                start.arrive_and_wait();
                // Hosts poll their ports each on its own cycle: the instances start spread over one
                // exchange's time, not all on the same millisecond.
                std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(floorMs * static_cast<double>(index) / static_cast<double>(rigs.size())));
                for (int round = 0; round < rounds; ++round) {
                    std::uint16_t values[2] = {};
                    TagIoData tag{};
                    tag.name = "bench";
                    tag.values = values;
                    tag.kind = 2;
                    tag.number = 7;
                    const ThreadMark begin = Begin(false);
                    const int result = rig->Request(KES_REQUEST_SINGLE_READ, &tag);
                    const ThreadCost cost = Cost(begin, End());
                    if (result != 0) {
                        ++failures;
                        continue;
                    }
                    ownWall.push_back(cost.wallMs);
                    ownCpu.push_back(cost.cpuUs);
                }
                std::lock_guard guard(samplesLock);
                wall.insert(wall.end(), ownWall.begin(), ownWall.end());
                cpu.insert(cpu.end(), ownCpu.begin(), ownCpu.end());
            });
        }
        for (auto& thread : threads) thread.join();
        state.SetIterationTime(Summarize(wall).median / 1000.0);
    }
    ManyRow row;
    row.line = LineName(line);
    row.instances = instances;
    row.exchanges = static_cast<int>(wall.size());
    row.failures = failures.load();
    row.wallMs = Summarize(wall);
    row.cpuUs = Summarize(cpu);
    row.floorMs = ExchangeFloorMs(Exchange::ZoneRead, line.paced ? line.baud : 0, kAckBytes, kPointReplyBytes);
    if (instances == 1) loneMedians[row.line] = row.wallMs.median;
    if (const auto lone = loneMedians.find(row.line); lone != loneMedians.end()) row.loneMedianMs = lone->second;
    AddRow(row);
    state.counters["failed"] = row.failures;
    if (row.loneMedianMs > 0) state.counters["vs_lone_pct"] = (row.wallMs.median / row.loneMedianMs - 1.0) * 100.0;
}

}  // namespace

void RegisterManyBenchmarks(const Plan& plan) {
    for (const Line& line : plan.lines) {
        if (!line.paced) continue;  // the paced lines are the ones a panel has
        for (const int instances : plan.instanceCounts) {
            const std::string name = "instances/" + LineName(line) + "/" + std::to_string(instances);
            benchmark::RegisterBenchmark(name.c_str(), RunMany, line, instances, plan.rounds)
                ->Iterations(1)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
}

}  // namespace kesmzn::bench
