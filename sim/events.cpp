#include "events.h"

#include "replies.h"

#include <algorithm>

namespace kesmzn::sim {

namespace {

std::string_view freeCode(EventSource& source) {
    for (std::size_t tries = 0; tries < std::size(kEventCodes); ++tries) {
        const std::string_view code = kEventCodes[source.nextCode];
        source.nextCode = (source.nextCode + 1) % std::size(kEventCodes);
        if (!isPendingCode(source, code)) return code;
    }
    return {};
}

unsigned zoneOf(const EventSource& source) { return 1 + source.made % std::max(source.zones, 1u); }

// Makes one line; a recognised one joins the pending window.
std::string makeLine(EventSource& source, Clock::time_point now, EventCounts& counts,
                     bool allowUnrecognised, std::string& code) {
    ++source.made;
    if (allowUnrecognised && source.unrecognisedEvery > 0 && source.made % source.unrecognisedEvery == 0) {
        ++counts.unrecognised;
        code = kUnrecognisedCode;
        return eventLine(kUnrecognisedCode, source.made, zoneOf(source));
    }
    const std::string_view chosen = freeCode(source);
    if (chosen.empty()) return {};
    PendingEvent event{std::string(chosen), eventLine(chosen, source.made, zoneOf(source)), now};
    ++counts.emitted;
    code = event.code;
    source.pending.push_back(event);
    return event.line;
}

}  // namespace

bool isPendingCode(const EventSource& source, std::string_view code) {
    return std::any_of(source.pending.begin(), source.pending.end(),
                       [&](const PendingEvent& event) { return event.code == code; });
}

std::vector<std::string> eventTick(EventSource& source, bool generate, Clock::time_point now,
                                   Clock::duration minAge, EventCounts& counts) {
    std::vector<std::string> lines;
    for (PendingEvent& event : source.pending) {
        if (now - event.lastSent < minAge) continue;
        event.lastSent = now;
        ++counts.repeats;
        lines.push_back(event.line);
    }
    if (generate && source.pending.size() < source.maxPending) {
        std::string code;
        std::string line = makeLine(source, now, counts, true, code);
        if (!line.empty()) lines.push_back(std::move(line));
    }
    return lines;
}

std::string eventNow(EventSource& source, Clock::time_point now, EventCounts& counts,
                     std::string& code) {
    if (!source.pending.empty()) {
        PendingEvent& event = source.pending.front();
        event.lastSent = now;
        ++counts.repeats;
        code = event.code;
        return event.line;
    }
    return makeLine(source, now, counts, false, code);
}

bool acknowledgeEvent(EventSource& source, std::string_view code, EventCounts& counts) {
    const auto found = std::find_if(source.pending.begin(), source.pending.end(),
                                    [&](const PendingEvent& event) { return event.code == code; });
    if (found == source.pending.end()) {
        ++counts.stray;
        return false;
    }
    source.pending.erase(found);
    ++counts.acknowledged;
    return true;
}

}  // namespace kesmzn::sim
