// The per-port record, kept inside the block the host allocates with the size announced by the
// driver information request. The driver allocates nothing of its own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/instance_lock.h"
#include "kesmzn.h"
#include "serial/port_types.h"

namespace kesmzn::host {

inline constexpr std::uint32_t kInstanceSize = 720;
inline constexpr std::size_t kPortNameCapacity = 12;  // 11 characters and the terminator
inline constexpr std::size_t kRxBufferSize = 600;     // bytes of one received line
inline constexpr std::size_t kTxFrameCapacity = 20;   // the longest frame (19) and the terminator

struct PortConfig {
    char name[kPortNameCapacity];
    serial::PortParams params;
    std::uint16_t controlFlags;
};

struct InstanceData {
    std::int32_t timeout;  // normal total read time-out, 10 ms units
    serial::PortHandle port;
    PortConfig portConfig;
    char txFrame[kTxFrameCapacity];
    // One byte beyond the 600 of a line, so a full line keeps its terminator.
    char rxBuf[kRxBufferSize + 1];
    std::uint8_t rxLrc;
    std::uint8_t clientId;
    std::uint16_t password;
    std::int32_t crcOn;  // 1: check the LRC of block replies
    InstanceLock lock;
};

static_assert(sizeof(InstanceData) <= kInstanceSize, "the instance record must fit the announced block size");

inline InstanceData& InstanceOf(const RequestBlock& request) {
    return *static_cast<InstanceData*>(request.instance);
}

}  // namespace kesmzn::host
