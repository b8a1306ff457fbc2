// The table of open ports: fixed slots, no heap. A handle carries its slot and the slot's generation,
// so a handle kept after a close fails cleanly even when the slot serves another port by then.
//
// Each slot has its own lock, held for the whole of one operation: calls on one port run one after
// the other, as on a synchronous handle of the host platform, and a close waits for the call in
// progress instead of pulling the device from under it. Slots are claimed under a table-wide lock.
#pragma once

#include <cstdint>

#include "serial/port_backend.h"
#include "serial/port_types.h"

namespace kesmzn::serial {

inline constexpr std::uint32_t kMaxPorts = 256;

// Claims a free slot for an open in progress; its record is the caller's until it is published or the
// reservation is cancelled. Null when every slot is taken.
PortRecord* ReservePort(std::uint32_t* slot);
void CancelReservation(std::uint32_t slot);
PortHandle PublishPort(std::uint32_t slot);

// The record of an open port with its slot locked, or null (never opened, closed, stale, kNoPort).
// Every successful acquire is followed by ReleasePort, or by RetirePort once the device is closed.
PortRecord* AcquirePort(PortHandle handle);
void ReleasePort(PortHandle handle);
void RetirePort(PortHandle handle);

}  // namespace kesmzn::serial
