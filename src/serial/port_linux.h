// Linux ports: the pieces of the Linux backend that tests reach directly.
#pragma once

#include <termios.h>

#include <cstdint>

#include "serial/port_types.h"

namespace kesmzn::serial {

// Builds the line settings of a terminal from its current ones: raw bytes both ways, no software flow
// control, no hang-up on close, the requested speed and framing (low 8 bits of each code). A speed
// without a B-constant is left at a placeholder with customSpeed set, for termios2 to apply. False for
// a value the platform cannot do: speed 0, data bits outside 5..8, parity code above 4, and stop-bits
// code 1 (one and a half, which termios has no setting for).
bool MakeLineSettings(const termios& current, const PortParams& params, termios* settings, bool* customSpeed);

}  // namespace kesmzn::serial
