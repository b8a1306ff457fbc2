// Idle instances: silent panels, every listener woken by the host every 500 ms. Each pass waits its
// 100 ms for bytes that never come; the cost is the CPU time of the listener threads alone, read from
// the kernel's per-thread accounting, and their system calls.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "plan.h"
#include "probes.h"
#include "rig.h"
#include "tables.h"
#include "zubpro.h"

namespace kesmzn::bench {

namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kTickMs = 500;

void RunIdle(benchmark::State& state, int instances, double seconds) {
    // Nobody else's listener is left to tick once the host's period is set.
    ReleaseRigs();
    ZubSetTickMs(kTickMs);
    std::vector<std::unique_ptr<Rig>> rigs;
    std::vector<int> listeners;
    for (int i = 0; i < instances; ++i) {
        rigs.push_back(std::make_unique<Rig>(RigConfig{4800, true, 16}));
        if (!rigs.back()->started() || rigs.back()->driverThreads().size() != 1) {
            state.SkipWithError("ColdStart failed, or did not start exactly one thread");
            ZubSetTickMs(0);
            return;
        }
        listeners.push_back(rigs.back()->driverThreads().front());
    }
    // The listener waits a second before its first wait for the host.
    std::this_thread::sleep_for(1500ms);

    double cpuPercent = 0;
    double callsPerSecond = -1;
    for (auto _ : state) {
        std::vector<std::int64_t> cpuBefore;
        std::vector<int> counters;
        std::vector<std::int64_t> callsBefore;
        for (const int tid : listeners) {
            cpuBefore.push_back(TaskCpuNs(tid));
            counters.push_back(OpenTaskSyscallCounter(tid));
            callsBefore.push_back(ReadCounter(counters.back()));
        }
        const auto started = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::int64_t cpuNs = 0;
        std::int64_t calls = 0;
        bool counted = true;
        for (std::size_t i = 0; i < listeners.size(); ++i) {
            const std::int64_t after = ReadCounter(counters[i]);
            counted = counted && after >= 0 && callsBefore[i] >= 0;
            calls += after - callsBefore[i];
            if (counters[i] >= 0) close(counters[i]);
            cpuNs += TaskCpuNs(listeners[i]) - cpuBefore[i];
        }
        state.SetIterationTime(elapsed);
        cpuPercent = static_cast<double>(cpuNs) / 1e9 / elapsed / instances * 100.0;
        if (counted) callsPerSecond = static_cast<double>(calls) / elapsed / instances;
    }
    ZubSetTickMs(0);
    rigs.clear();
    AddRow(IdleRow{instances, seconds, cpuPercent, callsPerSecond});
    state.counters["cpu_pct_per_instance"] = cpuPercent;
}

}  // namespace

void RegisterIdleBenchmark(const Plan& plan) {
    benchmark::RegisterBenchmark("idle/500ms_ticks", RunIdle, plan.idleInstances, plan.idleSeconds)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

}  // namespace kesmzn::bench
