#include "probes.h"

#include <linux/perf_event.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

namespace kesmzn::bench {

namespace {

bool countingOff = false;
thread_local int activeCounter = -1;

std::int64_t ClockNs(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::int64_t TracepointId() {
    static const std::int64_t id = [] {
        for (const char* path : {"/sys/kernel/tracing/events/raw_syscalls/sys_enter/id",
                                 "/sys/kernel/debug/tracing/events/raw_syscalls/sys_enter/id"}) {
            std::ifstream in(path);
            std::int64_t value = -1;
            if (in >> value) return value;
        }
        return std::int64_t{-1};
    }();
    return id;
}

int OpenCounter(pid_t tid) {
    const std::int64_t id = TracepointId();
    if (countingOff || id < 0) return -1;
    perf_event_attr attributes{};
    attributes.type = PERF_TYPE_TRACEPOINT;
    attributes.size = sizeof attributes;
    attributes.config = static_cast<std::uint64_t>(id);
    return static_cast<int>(syscall(SYS_perf_event_open, &attributes, tid, -1, -1, 0));
}

void FillUsage(ThreadMark& mark) {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    mark.userUs = static_cast<std::int64_t>(usage.ru_utime.tv_sec) * 1000000 + usage.ru_utime.tv_usec;
    mark.systemUs = static_cast<std::int64_t>(usage.ru_stime.tv_sec) * 1000000 + usage.ru_stime.tv_usec;
    mark.waits = usage.ru_nvcsw;
}

ThreadCost RawCost(const ThreadMark& begin, const ThreadMark& end) {
    ThreadCost cost{};
    cost.wallMs = static_cast<double>(end.wallNs - begin.wallNs) / 1e6;
    cost.cpuUs = static_cast<double>(end.cpuNs - begin.cpuNs) / 1e3;
    cost.userUs = static_cast<double>(end.userUs - begin.userUs);
    cost.systemUs = static_cast<double>(end.systemUs - begin.systemUs);
    cost.waits = static_cast<double>(end.waits - begin.waits);
    cost.syscalls = begin.syscalls < 0 || end.syscalls < 0 ? -1.0 : static_cast<double>(end.syscalls - begin.syscalls);
    return cost;
}

// What the probes themselves cost between Begin and End, from empty stretches (medians).
struct ProbeCost {
    double cpuUs;
    double syscalls;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

ProbeCost EmptyStretch() {
    std::vector<double> cpu;
    std::vector<double> calls;
    for (int i = 0; i < 51; ++i) {
        const ThreadMark begin = Begin(false);
        cpu.push_back(RawCost(begin, End()).cpuUs);
    }
    for (int i = 0; i < 51; ++i) {
        const ThreadMark begin = Begin(true);
        calls.push_back(RawCost(begin, End()).syscalls);
    }
    return {Median(cpu), Median(calls)};
}

}  // namespace

std::int64_t ReadCounter(int fd) {
    if (fd < 0) return -1;
    std::uint64_t value = 0;
    if (read(fd, &value, sizeof value) != static_cast<ssize_t>(sizeof value)) return -1;
    return static_cast<std::int64_t>(value);
}

void DisableSyscallCounting() { countingOff = true; }

bool SyscallCounting() {
    static const bool available = [] {
        const int fd = OpenCounter(0);
        if (fd >= 0) close(fd);
        return fd >= 0;
    }();
    return available;
}

ThreadMark Begin(bool countSyscalls) {
    if (activeCounter >= 0) close(activeCounter);
    activeCounter = countSyscalls ? OpenCounter(0) : -1;
    ThreadMark mark{};
    mark.syscalls = ReadCounter(activeCounter);
    FillUsage(mark);
    mark.cpuNs = ClockNs(CLOCK_THREAD_CPUTIME_ID);
    mark.wallNs = ClockNs(CLOCK_MONOTONIC);
    return mark;
}

ThreadMark End() {
    ThreadMark mark{};
    mark.wallNs = ClockNs(CLOCK_MONOTONIC);
    mark.cpuNs = ClockNs(CLOCK_THREAD_CPUTIME_ID);
    FillUsage(mark);
    mark.syscalls = ReadCounter(activeCounter);
    if (activeCounter >= 0) close(activeCounter);
    activeCounter = -1;
    return mark;
}

ThreadCost Cost(const ThreadMark& begin, const ThreadMark& end) {
    thread_local const ProbeCost probes = EmptyStretch();
    ThreadCost cost = RawCost(begin, end);
    cost.cpuUs = std::max(0.0, cost.cpuUs - probes.cpuUs);
    if (cost.syscalls >= 0) cost.syscalls = std::max(0.0, cost.syscalls - probes.syscalls);
    return cost;
}

double BareWaitCpuUs(double ms) {
    const ThreadMark begin = Begin(false);
    std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
    return Cost(begin, End()).cpuUs;
}

std::int64_t TaskCpuNs(int tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/schedstat");
    std::int64_t ns = -1;
    in >> ns;
    return ns;
}

int OpenTaskSyscallCounter(int tid) { return OpenCounter(tid); }

}  // namespace kesmzn::bench
