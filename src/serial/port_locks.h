// The locks of the port table, from the platform: one per slot and one for claiming slots. They are
// initialised as constants, so they exist from the moment the library is loaded without any code of
// ours running then, and are never destroyed while a thread might still hold one.
#pragma once

#include <cstdint>

namespace kesmzn::serial {

// index < kMaxPorts.
void LockSlot(std::uint32_t index);
void UnlockSlot(std::uint32_t index);

void LockClaims();
void UnlockClaims();

}  // namespace kesmzn::serial
