// The input/output requests of the host: each picks the exchange that fits the tag's address kind and
// repeats it up to ten times until it succeeds.
#pragma once

#include "kesmzn.h"

namespace kesmzn::tags {

inline constexpr int kAttempts = 10;

int SingleRead(RequestBlock* request);   // request 5: 0 read, else the last exchange's failure
int BlockRead(RequestBlock* request);    // request 6
int SingleWrite(RequestBlock* request);  // request 7

}  // namespace kesmzn::tags
