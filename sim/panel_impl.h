// The running panel: what its thread owns and what it shares with the threads that hold the handle.
#pragma once

#include "behaviour.h"
#include "events.h"
#include "faults.h"
#include "kesmzn_sim/panel.h"
#include "line_assembler.h"
#include "wire.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace kesmzn::sim {

// An answer kept back until the driver has acknowledged the event line that went out before it:
// the driver's acknowledgement flushes its input, which would throw the answer away.
struct HeldAnswer {
    std::string ack;
    std::string reply;
    Clock::time_point deadline{};
    std::optional<std::string> awaitCode;  // the event line sent on purpose before this answer
};

struct Panel::Impl {
    PanelConfig config;
    std::optional<std::string> password;  // the four characters accepted; none: any

    // The line. ioFd is what the panel reads and writes; slaveFd is the slave of its own
    // pseudo-terminal, kept open so that a driver closing and reopening the port does not hang the
    // line up, and so that the bytes the driver has not read yet can be counted.
    int ioFd = -1;
    int slaveFd = -1;
    int wakeFd = -1;
    std::string devicePath;
    std::string linkPath;
    bool reopenDevice = false;  // the line is a device path: open it again after a hang-up

    std::thread thread;
    bool stopped = false;  // guarded by stopMutex
    std::mutex stopMutex;

    // Shared with the handle's threads.
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    PanelState state;
    Stats stats;
    std::deque<LogEntry> log;
    FaultDice dice;
    std::string rawOut;
    bool generateEvents = true;
    bool stopping = false;

    Impl() = default;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    ~Impl();  // closes whatever descriptors are still open; the thread must have ended

    void wake() const;
};

// The panel's thread.
void runPanel(Panel::Impl& panel);

}  // namespace kesmzn::sim
