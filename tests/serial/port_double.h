// An in-memory port for what a pseudo-terminal cannot show: CTS that never comes, a failing RTS call,
// short writes, scripted reads, and the order of every call the port layer makes.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "serial/port_backend.h"
#include "serial/port_types.h"

namespace kesmzn::testing {

struct PortDouble {
    // Input waiting in the receive queue, consumed from readAt.
    std::string input;
    std::size_t readAt = 0;
    std::size_t maxPerRead = std::numeric_limits<std::size_t>::max();

    bool statusFails = false;
    bool readFails = false;
    int readsBeforeFailure = -1;  // reads that succeed before every further one fails; -1: no limit
    bool writeFails = false;
    bool getTimeoutsFails = false;
    bool setTimeoutsFails = false;
    bool rtsFails = false;
    bool closeFails = false;
    std::uint32_t writeAccepts = std::numeric_limits<std::uint32_t>::max();
    int ctsAfterPolls = 0;  // polls that see CTS cleared before it shows; -1: never

    serial::PortTimeouts timeouts{0, 0, 1000, 0, 0};
    bool rts = false;
    int ctsPolls = 0;
    int timeoutWrites = 0;
    std::string written;
    std::vector<std::uint32_t> readTimeouts;  // the total read constant at each read
    // Every call in order: "status", "timeouts 50", "read 3", "write abc", "rts on", "rts off", "cts",
    // "close". Time-out reads are not listed.
    std::vector<std::string> calls;

    serial::PortHandle handle = serial::kNoPort;

    // Opens a handle served by this double.
    serial::PortHandle Open();
    std::string Unread() const { return input.substr(readAt); }
    int Count(const std::string& call) const;
};

}  // namespace kesmzn::testing
