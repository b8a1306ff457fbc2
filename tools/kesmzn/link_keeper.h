// Keeping the port through a panel or adapter that goes away and comes back: after a failed request
// the port is closed and opened again (requests 12 and 13); while it cannot be opened, it is tried
// again with a growing pause.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "connection.h"

namespace kesmzn::tool {

using SteadyClock = std::chrono::steady_clock;

struct LinkKeeper {
    bool lost = false;
    unsigned attempts = 0;  // reopen attempts since it was lost
    std::chrono::milliseconds pause{0};
    SteadyClock::time_point nextTry{};
    SteadyClock::time_point lostAt{};
};

inline constexpr std::chrono::milliseconds kFirstReopenPause{500};
inline constexpr std::chrono::milliseconds kLongestReopenPause{8000};

// After a request failed: reopens the port at once. When that fails the port counts as lost, the
// listener is paused, and the report says so.
std::optional<std::string> AfterFailure(Connection& connection, LinkKeeper& keeper);

// While lost: when the pause has passed, tries to reopen. The report says when the port is back, or
// when the next try comes.
std::optional<std::string> TryReopen(Connection& connection, LinkKeeper& keeper, SteadyClock::time_point now);

}  // namespace kesmzn::tool
