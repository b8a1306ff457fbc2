// Line transfer: the instance-level send and receive primitives of every exchange. RTS is asserted
// only while a frame is sent, after CTS from the panel side; it is cleared after every transmission
// and after every read.
#pragma once

#include <cstdint>

#include "host/instance.h"

namespace kesmzn::serial {

void RaiseRts(PortHandle handle);
void DropRts(PortHandle handle);

// True as soon as CTS is seen asserted, within 29 polls 1 ms apart.
bool WaitCts(PortHandle handle);

// 1 when all count bytes were written, else 0. Flushes stale input first.
int SendStr(host::InstanceData& instance, const char* data, std::uint32_t count);

// 1 when exactly count bytes arrived, else 0.
int RecvStr(host::InstanceData& instance, char* buffer, std::uint32_t count);

// Reads one line into buffer (kRxBufferSize bytes and a terminator): up to and including its LF, or
// what arrived before the first 100 ms gap. An empty buffer means nothing arrived.
void RecvLine(host::InstanceData& instance, char (&buffer)[host::kRxBufferSize + 1]);

}  // namespace kesmzn::serial
