// Turns the byte stream from the driver into lines ending with LF, within a fixed bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kesmzn::sim {

inline constexpr std::size_t kMaxLine = 600;

struct LineAssembler {
    std::string buffer;
    bool discarding = false;  // inside a line that grew past kMaxLine
    std::uint64_t overlong = 0;
};

// Feeds received bytes; calls onLine for each complete line (LF included). A line that grows past
// kMaxLine is dropped whole; a ":" in the dropped stretch starts a fresh line, so a frame that
// follows a burst of noise without LF is still heard.
void feedBytes(LineAssembler& assembler, std::string_view bytes,
               const std::function<void(std::string_view)>& onLine);

// The frame inside a line: from its last ":" to the end. Bytes before it are noise.
std::string_view frameOf(std::string_view line);

}  // namespace kesmzn::sim
