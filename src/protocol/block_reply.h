// The reply to a block query, decoded apart from the line so that any text can be tried on it.
#pragma once

#include <cstdint>
#include <string_view>

namespace kesmzn::protocol {

// reply: the line read after the acknowledgement; blockSize: the block tag's size, compared by its
// low 8 bits with the panel's zone count; crcOn: 1 to check the LRC over the zone values. 0 when the
// reply is a "01E5" status (nothing stored) or a block whose values were all stored, values[0] on,
// one slot per zone (at most blockSize & 0xFF slots). 1 otherwise, with the slots untouched; a count
// mismatch and a bad LRC are logged. rxLrc receives the block's LRC once every value pair and the LRC
// were found.
int DecodeBlockReply(std::string_view reply, std::int32_t blockSize, std::int32_t crcOn, std::uint16_t* values,
                     std::uint8_t& rxLrc);

}  // namespace kesmzn::protocol
