// Threads, from the platform: the listener runs on a detached thread with a small requested stack.
#pragma once

#include <cstddef>

#include "host/instance.h"

namespace kesmzn::unsolicited {

// Starts UnsolicitedListener(instance) on a detached thread. False when it could not be started.
bool StartListenerThread(host::InstanceData& instance, std::size_t stackSize);

}  // namespace kesmzn::unsolicited
