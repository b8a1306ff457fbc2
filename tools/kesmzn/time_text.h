// Timestamps for poll lines and the live view.
#pragma once

#include <string>

namespace kesmzn::tool {

// Local time now: "2024-05-01 08:12:01.234", or with iso "2024-05-01T08:12:01.234+02:00".
std::string NowText(bool iso = false);

// "08:12:01"
std::string ClockText();

}  // namespace kesmzn::tool
