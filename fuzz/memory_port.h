// A port served from memory, for targets that drive the driver's line handling without a line: reads
// hand out the input a few bytes at a time and then time out empty, writes are kept, CTS is always
// there. Opened once per process; each input resets it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "serial/port.h"
#include "serial/port_backend.h"

namespace kesmzn::fuzz {

struct MemoryPort {
    std::string input;
    std::size_t readAt = 0;
    std::size_t perRead = 1;  // bytes one read hands out at most: how the input trickles in
    std::string written;
    serial::PortTimeouts timeouts{0, 0, 1000, 0, 0};
    serial::PortHandle handle = serial::kNoPort;

    void Reset(std::string bytes, std::size_t bytesPerRead) {
        input = std::move(bytes);
        readAt = 0;
        perRead = std::max<std::size_t>(bytesPerRead, 1);
        written.clear();
    }
};

namespace memory_port {

inline MemoryPort& Of(serial::PortRecord& port) { return *static_cast<MemoryPort*>(port.context); }

inline bool GetTimeouts(serial::PortRecord& port, serial::PortTimeouts* timeouts) {
    *timeouts = Of(port).timeouts;
    return true;
}
inline bool SetTimeouts(serial::PortRecord& port, const serial::PortTimeouts& timeouts) {
    Of(port).timeouts = timeouts;
    return true;
}
inline bool QueueStatus(serial::PortRecord& port, std::uint32_t* waiting) {
    const MemoryPort& memory = Of(port);
    *waiting = static_cast<std::uint32_t>(memory.input.size() - memory.readAt);
    return true;
}
inline bool Read(serial::PortRecord& port, void* buffer, std::uint32_t count, std::uint32_t* received) {
    MemoryPort& memory = Of(port);
    const std::size_t taken = std::min({static_cast<std::size_t>(count), memory.perRead, memory.input.size() - memory.readAt});
    std::memcpy(buffer, memory.input.data() + memory.readAt, taken);
    memory.readAt += taken;
    *received = static_cast<std::uint32_t>(taken);
    return true;
}
inline bool Write(serial::PortRecord& port, const void* data, std::uint32_t count, std::uint32_t* written) {
    Of(port).written.append(static_cast<const char*>(data), count);
    *written = count;
    return true;
}
inline bool SetRts(serial::PortRecord&, bool) { return true; }
inline bool GetCts(serial::PortRecord&, bool* asserted) {
    *asserted = true;
    return true;
}
inline bool Close(serial::PortRecord&) { return true; }

inline constexpr serial::PortBackend kBackend{GetTimeouts, SetTimeouts, QueueStatus, Read, Write, SetRts, GetCts, Close};

}  // namespace memory_port

// Opens the handle the memory port serves; false when the port table refused it.
inline bool Open(MemoryPort& memory) {
    return serial::OpenCommOn(memory_port::kBackend, &memory, &memory.handle) == serial::kPortOk;
}

}  // namespace kesmzn::fuzz
