// Option values of the kesmzn-panel program that need more than a number.
#pragma once

#include "kesmzn_sim/panel.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kesmzn::sim {

// "P" (a probability from 0 to 1) or "nN" (the next N commands).
std::optional<FaultRate> parseFaultRate(std::string_view text);

// Comma-separated initial values of modes 1, 2, ...: at most 19 values, each 0 to 255.
std::optional<std::array<std::uint8_t, kModeCount + 1>> parseModes(std::string_view text);

}  // namespace kesmzn::sim
