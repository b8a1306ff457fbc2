// Defaults that a host sets through the environment, read once by each facility at its first use.
#pragma once

#include <cstdint>
#include <optional>

namespace zubpro {

// The value of a numeric variable (decimal, or hexadecimal after 0x), or nothing when it is unset or
// empty. A value that is not a number is reported on standard error and ignored, so a typo does not
// pass unnoticed.
std::optional<std::uint32_t> EnvironmentNumber(const char* name);

// Writes one note of this library's own to standard error (not through the log: the log may be what
// the note is about).
void Note(const char* text);

}  // namespace zubpro
