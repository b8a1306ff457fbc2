// How a host's port name (COM1, NUL, ttyUSB0, ...) becomes the path of a device. Each platform
// provides its own rules.
#pragma once

#include <cstddef>

namespace kesmzn::serial {

// Room for a resolved path: a device folder of a reasonable length and an 11-character name.
inline constexpr std::size_t kPortPathCapacity = 256;

// Writes the device path for name into path (size bytes, terminated). False when the name is empty or
// the path does not fit.
bool ResolvePortName(const char* name, char* path, std::size_t size);

}  // namespace kesmzn::serial
