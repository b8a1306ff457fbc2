// The reply to a mode query, decoded apart from the line so that any text can be tried on it.
#pragma once

#include <cstdint>
#include <string_view>

namespace kesmzn::protocol {

// reply: the line read after the acknowledgement; frame: the mode query that was sent. 0 with value
// set when the reply carries the mode's value (plain reply at 13-14, or a D5 status reply echoing the
// query); 1 otherwise, with value untouched. No LRC is tested.
int DecodeModeReply(std::string_view reply, const char* frame, std::uint16_t& value);

}  // namespace kesmzn::protocol
