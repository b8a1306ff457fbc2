// The program's own messages: one line each on standard error.
#pragma once

#include <string>

namespace kesmzn::tool {

// Writes "kesmzn: text" as one line on standard error, after what standard output holds so far.
void PrintError(const std::string& text);

}  // namespace kesmzn::tool
