// Reads a terminal's speed through termios2, which the test files cannot include beside <termios.h>.
#pragma once

#include <cstdint>

namespace kesmzn::testing {

struct SpeedProbe {
    bool ok;
    bool custom;  // BOTHER: the speed is given in bits per second
    std::uint32_t outputSpeed;
    std::uint32_t inputSpeed;
};

SpeedProbe ProbeSpeed(int fd);

}  // namespace kesmzn::testing
