#include "messages.h"

#include <cstdio>

namespace kesmzn::tool {

void PrintError(const std::string& text) {
    const std::string line = "kesmzn: " + text + "\n";
    std::fflush(stdout);
    std::fputs(line.c_str(), stderr);
}

}  // namespace kesmzn::tool
