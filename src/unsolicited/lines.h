// The panel's spontaneous lines: split received text into lines, acknowledge those whose command code
// is a known event code, log the others. Their contents are not passed to the host.
#pragma once

#include "host/instance.h"

namespace kesmzn::unsolicited {

// The event codes the driver acknowledges.
inline constexpr const char* kAckList = "D5,A0,A1,A2,A3,A4,A5,A6,A7,A8,27,AA,AB,B4,BE,BF,C0,C1";

// Handles every complete line (from ":" to LF) in text; an incomplete last line is dropped.
void ProcessUnsolicited(host::InstanceData& instance, const char* text);

// Acknowledges or logs one line.
void CheckCommand(host::InstanceData& instance, const char* line);

// True when code (two characters) is one of the list's entries.
bool IsAckCode(const char* code);

// Sends the acknowledgement of a two-character code.
void SendAck(host::InstanceData& instance, const char* code);

}  // namespace kesmzn::unsolicited
