// The per-instance listener: a background thread that sleeps in the host's message wait and, for
// every message delivered, drains and acknowledges what the panel sent on its own.
#pragma once

#include "host/instance.h"

namespace kesmzn::unsolicited {

inline constexpr unsigned kListenerStackSize = 32768;

// Starts the listener thread on the instance. False when the thread could not be started.
bool StartListener(host::InstanceData& instance);

// The thread body: ends when the host tells the instance's client to stop, and then removes it.
void UnsolicitedListener(host::InstanceData& instance);

// One pass, under the instance lock.
void CheckUnsolicetedMessages(host::InstanceData& instance);

}  // namespace kesmzn::unsolicited
