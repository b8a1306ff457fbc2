// The least time an exchange can take on the simulated line: the protocol's own pauses and the time
// the panel's bytes need on the wire, where they overlap as they do on the line.
//
// The driver pauses (pre), sends its frame, pauses again (p1), reads the acknowledgement line, pauses
// 50 ms and reads the reply line. The panel hears the frame as soon as it is written (a
// pseudo-terminal takes no time for it) and answers at once: the acknowledgement (A bytes) is complete
// A x t after the send, the reply (R bytes) (A + R) x t after it, t being one byte's time (10 bits).
// A line read returns as soon as its LF is there, so
//     floor = pre + max(max(p1, A t) + 50, (A + R) t).
// On a real line the frame's own wire time comes on top where it lies on that path.
#pragma once

#include <cstddef>

namespace kesmzn::bench {

enum class Exchange { ModeRead, ZoneRead, ModeWrite, ZoneWrite, BlockRead, ListenerPass };

const char* ExchangeName(Exchange exchange, unsigned zones);

// Milliseconds; ackBytes and replyBytes as the panel sent them; baud 0 for a line without pacing.
double ExchangeFloorMs(Exchange exchange, unsigned baud, std::size_t ackBytes, std::size_t replyBytes);

// A listener pass over lines that are already in: its first read of 300 bytes takes them in and ends
// at its 100 ms time-out, tries once more for the rest (another 100 ms, as a port read does), and the
// pass's second read finds 100 ms of silence.
inline constexpr double kListenerPassFloorMs = 300.0;

}  // namespace kesmzn::bench
