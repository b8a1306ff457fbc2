// kesmzn-bench: the driver's exchanges against simulated panels on paced pseudo-terminals. Google
// Benchmark's own report comes first, then the tables (docs/BENCHMARKS.md reads them).
//   --smoke           two exchanges per row, one round, a one-second idle window: checks that it runs
//   --iterations N    exchanges per row (default 21)
//   --rounds N        exchanges per instance when many poll at once (default 10)
//   --idle-seconds S  idle window (default 10)
//   --no-syscall-count  leave the kernel's system-call counters off
// Every Google Benchmark option works too (--benchmark_filter=exchange/4800 ...).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host_env.h"
#include "plan.h"
#include "probes.h"
#include "rig.h"
#include "tables.h"

namespace {

bool TakeOption(std::vector<char*>& args, const char* name, std::string* value) {
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (std::strcmp(args[i], name) != 0) continue;
        if (value != nullptr) {
            if (i + 1 >= args.size()) {
                std::fprintf(stderr, "kesmzn-bench: %s needs a value\n", name);
                std::exit(2);
            }
            *value = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        } else {
            args.erase(args.begin() + static_cast<long>(i));
        }
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kesmzn::bench;
    std::vector<char*> args(argv, argv + argc);
    Plan plan;
    std::string value;
    if (TakeOption(args, "--smoke", nullptr)) {
        plan.iterations = 2;  // one measures CPU time, the other counts system calls
        plan.rounds = 1;
        plan.idleSeconds = 1;
        plan.idleInstances = 2;
    }
    if (TakeOption(args, "--iterations", &value)) plan.iterations = std::max(1, std::atoi(value.c_str()));
    if (TakeOption(args, "--rounds", &value)) plan.rounds = std::max(1, std::atoi(value.c_str()));
    if (TakeOption(args, "--idle-seconds", &value)) plan.idleSeconds = std::max(0.1, std::atof(value.c_str()));

    const bool counting = !TakeOption(args, "--no-syscall-count", nullptr);
    if (!counting) DisableSyscallCounting();

    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;
    if (counting && !SyscallCounting()) {
        std::fprintf(stderr, "kesmzn-bench: perf_event_open with the raw_syscalls tracepoint is not available here: "
                             "system calls are not counted (run as root, or lower kernel.perf_event_paranoid)\n");
    }

    SetUpHost();
    RegisterExchangeBenchmarks(plan);
    RegisterManyBenchmarks(plan);
    RegisterIdleBenchmark(plan);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ReleaseRigs();
    PrintTables();
    TearDownHost();
    return 0;
}
