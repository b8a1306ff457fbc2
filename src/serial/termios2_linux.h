// Arbitrary line speeds through the kernel's termios2 interface.
#pragma once

#include <cstdint>

namespace kesmzn::serial {

// Sets input and output speed of the terminal to baud bits per second (BOTHER). False with errno set
// when the device refuses it.
bool SetCustomSpeed(int fd, std::uint32_t baud);

}  // namespace kesmzn::serial
