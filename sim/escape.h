// One line of text for any bytes: CR, LF and backslash escaped, other unprintable bytes as \xNN.
#pragma once

#include <string>
#include <string_view>

namespace kesmzn::sim {

std::string escapeBytes(std::string_view bytes);

}  // namespace kesmzn::sim
