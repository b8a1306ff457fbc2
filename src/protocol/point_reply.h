// The reply to a point query, decoded apart from the line so that any text can be tried on it.
#pragma once

#include <cstdint>
#include <string_view>

namespace kesmzn::protocol {

// reply: the line read after the acknowledgement; frame: the point query that was sent. 0 with value
// set when the reply carries the zone's state: a D5 status reply echoing the query, or a plain reply
// whose LRC at 19-20 matches its eight pairs from 3 (the state at 15-16). 1 otherwise, with value
// untouched. rxLrc receives the plain reply's LRC once both its fields were read, match or not.
int DecodePointReply(std::string_view reply, const char* frame, std::uint16_t& value, std::uint8_t& rxLrc);

}  // namespace kesmzn::protocol
