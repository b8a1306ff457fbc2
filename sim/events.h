// Spontaneous event lines: made at each interval, sent again until acknowledged.
#pragma once

#include "kesmzn_sim/panel.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace kesmzn::sim {

// Codes the driver acknowledges, less D5 (that one is the panel's status reply shape, kept out of
// events so the two never mix). Seventeen codes: pending events always have distinct codes, because
// an acknowledgement names only the code.
inline constexpr std::string_view kEventCodes[] = {"A0", "A1", "A2", "A3", "A4", "A5",
                                                   "A6", "A7", "A8", "27", "AA", "AB",
                                                   "B4", "BE", "BF", "C0", "C1"};
inline constexpr unsigned kMaxPendingEvents = 17;
inline constexpr std::string_view kUnrecognisedCode = "5F";

struct PendingEvent {
    std::string code;
    std::string line;
    Clock::time_point lastSent{};
};

struct EventCounts {
    std::uint64_t emitted = 0;
    std::uint64_t repeats = 0;
    std::uint64_t acknowledged = 0;
    std::uint64_t unrecognised = 0;
    std::uint64_t stray = 0;
};

struct EventSource {
    unsigned maxPending = 1;
    unsigned unrecognisedEvery = 0;
    unsigned zones = 1;
    unsigned made = 0;  // lines made so far, recognised or not
    std::size_t nextCode = 0;
    std::deque<PendingEvent> pending;
};

// One interval: sends again every pending event that went out at least minAge ago, then makes a new
// line when generate is set and the window has room. Returns the lines to send, in order.
std::vector<std::string> eventTick(EventSource& source, bool generate, Clock::time_point now,
                                   Clock::duration minAge, EventCounts& counts);

// A line to send right now, whatever the interval: the oldest pending event again, or a new one.
// Its code is stored in code.
std::string eventNow(EventSource& source, Clock::time_point now, EventCounts& counts,
                     std::string& code);

// An acknowledgement arrived for code; true when it matched a pending event (which is then done).
bool acknowledgeEvent(EventSource& source, std::string_view code, EventCounts& counts);

bool isPendingCode(const EventSource& source, std::string_view code);

}  // namespace kesmzn::sim
