// What the panel has still to send, released at the pace of a real line.
#pragma once

#include "kesmzn_sim/panel.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kesmzn::sim {

// Bound of the unsent queue: a driver that never reads must not make the panel grow without end.
inline constexpr std::size_t kMaxQueued = 64 * 1024;
// Bytes remembered after they were written: as many as a terminal's input queue can hold.
inline constexpr std::size_t kTailKept = 4096;

struct Wire {
    bool paced = false;
    Clock::duration byteTime{};      // 10 bits at the line's speed
    std::string queue;               // unsent bytes
    Clock::time_point nextRelease{};  // when the first unsent byte has fully crossed the wire
    Clock::time_point wireFreeAt{};   // when the last written byte had fully crossed
    std::string tail;                // the last bytes written, oldest first
};

Clock::duration byteTimeAt(unsigned baud);

// Queues bytes; false (nothing queued) when the queue would exceed its bound.
bool enqueue(Wire& wire, std::string_view bytes, Clock::time_point now);

// How many queued bytes may be written now.
std::size_t dueBytes(const Wire& wire, Clock::time_point now);

// When the next byte becomes due; nullopt with nothing queued.
std::optional<Clock::time_point> nextDue(const Wire& wire);

// Records that the first n queued bytes were written.
void markWritten(Wire& wire, std::size_t n);

// Drops everything queued; returns how many bytes.
std::size_t dropQueued(Wire& wire);

// What the driver still has to read before anything queued from now on: the last unread bytes
// written (unread is how many the other side has not taken yet) and everything queued.
std::string aheadOfReader(const Wire& wire, std::size_t unread);

}  // namespace kesmzn::sim
