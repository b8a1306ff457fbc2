// The driver's banner is drawn in code page 437; terminals today expect UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace kesmzn::tool {

// Every byte from 0x80 as its code page 437 character in UTF-8; ASCII unchanged.
std::string Cp437ToUtf8(std::string_view text);

}  // namespace kesmzn::tool
