// The command exchanges: the driver sends a frame, the panel answers with an acknowledgement line
// carrying the frame's LRC (possibly after spontaneous lines of its own), then with the reply line.
// All of them run under the instance lock and use the instance's rxBuf for every line.
#pragma once

#include <cstdint>

#include "host/instance.h"

namespace kesmzn::protocol {

// Logs one line read while the acknowledgement is awaited.
using LineLogger = void (*)(const char* line);

// Waits for the acknowledgement of frame, whose first line is already in rxBuf. Lines that are not
// the acknowledgement go through the unsolicited handling before the next line is read. 0 when
// acknowledged; 1 when a line stayed empty first (logged with op, the exchange's name).
int AwaitAck(host::InstanceData& instance, const char* frame, const char* op, LineLogger logLine);

int GetMode(host::InstanceData& instance, int mode, std::uint16_t* value);
int GetPoint(host::InstanceData& instance, int zone, std::uint16_t* value);
int SetMode(host::InstanceData& instance, int mode, int value);
int SetZone(host::InstanceData& instance, int zone, int state);  // state 1 or 2

}  // namespace kesmzn::protocol
