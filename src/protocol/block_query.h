// The block query: the states of all zones in one exchange, one value per zone into the block tag's
// value slots.
#pragma once

#include <cstdint>

#include "kesmzn.h"

namespace kesmzn::protocol {

// request is the RequestBlock of a block read (its TagIoData's block size is checked against the
// panel's zone count); values receives one slot per zone from values[0]. 0 on success, 1 on failure.
int GetBlock(RequestBlock* request, std::uint16_t* values);

}  // namespace kesmzn::protocol
