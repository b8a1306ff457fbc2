// The per-station initialization file "KESMZN%02d.int": the panel password and the switch for the
// LRC check of block replies.
#pragma once

#include <cstddef>

#include "host/instance.h"

namespace kesmzn::config {

// Longest line kept: the rest of a longer line is dropped up to its LF.
inline constexpr std::size_t kInitLineCapacity = 136;

// 1 when the file was read, 0 when it was not found. Without the file, or without the lines, the
// password and the CRC switch keep their values.
int ReadInitFile(host::InstanceData& instance, int station);

// Applies one cleaned-up, upper-cased line to the instance and logs what it did.
void ApplyInitLine(host::InstanceData& instance, const char* line);

}  // namespace kesmzn::config
