// What one thread spent over a stretch of code: wall time, its own CPU time (user and system), the
// times it blocked (voluntary context switches), and the system calls it made, counted by the kernel
// (the raw_syscalls:sys_enter tracepoint through perf_event_open, for this thread only: the simulated
// panels' threads are never counted).
//
// A counter attached to a thread makes each of its context switches dearer, and while any counter of
// the tracepoint is open every system call takes the kernel's slower traced path: so a stretch either
// counts system calls or measures CPU time, never both (the benchmarks alternate), and the counter is
// opened before and closed after the stretch.
#pragma once

#include <cstdint>

namespace kesmzn::bench {

struct ThreadMark {
    std::int64_t wallNs;
    std::int64_t cpuNs;  // CLOCK_THREAD_CPUTIME_ID
    std::int64_t userUs;  // getrusage(RUSAGE_THREAD)
    std::int64_t systemUs;
    std::int64_t waits;     // voluntary context switches
    std::int64_t syscalls;  // -1 when not counted
};

struct ThreadCost {
    double wallMs;
    double cpuUs;
    double userUs;
    double systemUs;
    double waits;
    double syscalls;  // negative when not counted
};

// Marks taken around the measured code (End's order mirrors Begin's). With countSyscalls, Begin opens
// a counter on the calling thread and End closes it again. Cost subtracts what an empty stretch
// measures (the probes' own calls).
ThreadMark Begin(bool countSyscalls);
ThreadMark End();
ThreadCost Cost(const ThreadMark& begin, const ThreadMark& end);

// The CPU time (microseconds) the calling thread spends on one bare sleep of the given length: what a
// wait costs on this machine by itself (waking up, coming back to a cold cache), without the driver.
double BareWaitCpuUs(double ms);

// Whether this machine lets a thread count its own system calls (perf_event_open with tracepoints).
bool SyscallCounting();
// Leaves the counters off.
void DisableSyscallCounting();

// CPU time (ns) a thread of this process has used so far, from /proc/self/task/TID/schedstat.
std::int64_t TaskCpuNs(int tid);
// Opens a system-call counter on another thread of this process; -1 when not available.
int OpenTaskSyscallCounter(int tid);
std::int64_t ReadCounter(int fd);

}  // namespace kesmzn::bench
