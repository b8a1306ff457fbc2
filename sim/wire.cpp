#include "wire.h"

#include <algorithm>

namespace kesmzn::sim {

Clock::duration byteTimeAt(unsigned baud) {
    // Start bit, eight data bits, stop bit.
    const auto nanoseconds = 10'000'000'000LL / static_cast<long long>(std::max(baud, 1u));
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanoseconds));
}

bool enqueue(Wire& wire, std::string_view bytes, Clock::time_point now) {
    if (wire.queue.size() + bytes.size() > kMaxQueued) return false;
    if (wire.queue.empty()) wire.nextRelease = std::max(now, wire.wireFreeAt) + wire.byteTime;
    wire.queue.append(bytes);
    return true;
}

std::size_t dueBytes(const Wire& wire, Clock::time_point now) {
    if (wire.queue.empty()) return 0;
    if (!wire.paced) return wire.queue.size();
    if (now < wire.nextRelease) return 0;
    const auto late = (now - wire.nextRelease) / wire.byteTime;
    return std::min(wire.queue.size(), static_cast<std::size_t>(late) + 1);
}

std::optional<Clock::time_point> nextDue(const Wire& wire) {
    if (wire.queue.empty()) return std::nullopt;
    return wire.nextRelease;
}

void markWritten(Wire& wire, std::size_t n) {
    n = std::min(n, wire.queue.size());
    wire.tail.append(wire.queue, 0, n);
    if (wire.tail.size() > kTailKept) wire.tail.erase(0, wire.tail.size() - kTailKept);
    wire.queue.erase(0, n);
    if (n > 0) {
        const auto count = static_cast<Clock::rep>(n);
        wire.wireFreeAt = wire.nextRelease + wire.byteTime * (count - 1);
        wire.nextRelease += wire.byteTime * count;
    }
}

std::size_t dropQueued(Wire& wire) {
    const std::size_t n = wire.queue.size();
    wire.queue.clear();
    return n;
}

std::string aheadOfReader(const Wire& wire, std::size_t unread) {
    unread = std::min(unread, wire.tail.size());
    std::string ahead = wire.tail.substr(wire.tail.size() - unread);
    ahead += wire.queue;
    return ahead;
}

}  // namespace kesmzn::sim
