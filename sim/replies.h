// The lines the simulated panel sends: acknowledgements, replies and event lines.
#pragma once

#include "kesmzn_sim/frame.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kesmzn::sim {

// ":" then the command frame's LRC as one raw byte, then CR LF.
std::string ackLine(std::uint8_t commandLrc);

// Plain: the value as two hexadecimal digits at characters 13-14. D5: the request's 8-character key,
// one character, then the value.
std::string modeReply(const Command& command, std::uint8_t value, bool d5, bool corruptLrc);

// Plain: the state at characters 15-16, the LRC over characters 3-18 at 19-20. D5: the request's
// 10-character key, one character, then the state.
std::string pointReply(const Command& command, std::uint8_t state, bool d5, bool corruptLrc);

// Plain: zones - 1 at 1-2, "06" at 3-4, the values from 5, then the LRC of the values alone.
// D5: "D5" at 3-4, zones - 1 at 5-6, "66" at 7-8, the values from 9, then the LRC of the values.
std::string blockReply(std::span<const std::uint8_t> states, bool d5, bool corruptLrc);

// The short status line that follows a mode set or zone set.
std::string setReply(const Command& command, bool corruptLrc);

// A spontaneous line: ":05" code, a 4-digit hexadecimal sequence number, the zone as three decimal
// digits and "0", LRC, CR LF.
std::string eventLine(std::string_view code, unsigned sequence, unsigned zone);

}  // namespace kesmzn::sim
