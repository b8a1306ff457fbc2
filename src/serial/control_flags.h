// The modem-line control flags of an open, decoded in the order they are tested: a pair of bits that
// is set wins over the handshake and toggle flags after it.
#pragma once

#include <cstdint>

#include "serial/port_types.h"

namespace kesmzn::serial {

enum class DtrControl : std::uint8_t { kOff, kOn, kHandshake };
enum class RtsControl : std::uint8_t { kOff, kOn, kHandshake, kToggle };

struct LineControl {
    DtrControl dtr;
    RtsControl rts;
};

constexpr LineControl DecodeControlFlags(std::uint16_t flags) {
    LineControl control{DtrControl::kOff, RtsControl::kOff};
    if ((flags & PORT_DTR_ON) != 0) {
        control.dtr = DtrControl::kOn;
    } else if ((flags & PORT_DTR_HANDSHAKE) != 0) {
        control.dtr = DtrControl::kHandshake;
    }
    if ((flags & PORT_RTS_ON) != 0) {
        control.rts = RtsControl::kOn;
    } else if ((flags & PORT_RTS_HANDSHAKE) != 0) {
        control.rts = RtsControl::kHandshake;
    } else if ((flags & PORT_RTS_TOGGLE) != 0) {
        control.rts = RtsControl::kToggle;
    }
    return control;
}

}  // namespace kesmzn::serial
