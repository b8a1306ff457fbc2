// Types shared by the port layer and the instance record: the handle, the line settings, the
// modem-line control flags and the port result codes.
#pragma once

#include <cstdint>

namespace kesmzn::serial {

// A handle names a slot of the port layer's own table together with the generation of that slot,
// never a bare descriptor: a handle kept after its port was closed fails cleanly instead of reaching
// whatever file the next open was given. The all-zero value is "no port".
struct PortHandle {
    std::uint32_t id;
};

inline constexpr PortHandle kNoPort{0};

constexpr bool HasPort(PortHandle handle) { return handle.id != 0; }

// Speed and framing, in the order the host's records use.
struct PortParams {
    std::uint16_t baud;
    std::uint16_t dataBits;  // low 8 bits used
    std::uint16_t stopBits;  // 0 one, 1 one and a half, 2 two; low 8 bits used
    std::uint16_t parity;    // 0 none, 1 odd, 2 even, 3 mark, 4 space; low 8 bits used
};

// Modem-line control flags, tested in this order; each pair of bits is set by one flag.
inline constexpr std::uint16_t PORT_DTR_ON = 0x0101;
inline constexpr std::uint16_t PORT_DTR_HANDSHAKE = 0x8000;
inline constexpr std::uint16_t PORT_RTS_ON = 0x0202;
inline constexpr std::uint16_t PORT_RTS_HANDSHAKE = 0x1000;
inline constexpr std::uint16_t PORT_RTS_TOGGLE = 0x2000;

// Results of the port operations.
enum PortResult : int {
    kPortOk = 0,
    kPortNotOpened = 1,       // device not opened, or its time-outs not set
    kPortShortWrite = 2,      // fewer bytes written than asked
    kPortNoSettings = 4,      // line settings could not be read
    kPortBadSettings = 5,     // line settings could not be applied
    kPortIoFailed = 7,        // a read, write or close failed, or a read got no byte
};

}  // namespace kesmzn::serial
