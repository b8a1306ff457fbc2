// The protocol's fixed pauses, in milliseconds.
#pragma once

#include <chrono>
#include <thread>

namespace kesmzn::host {

inline void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace kesmzn::host
