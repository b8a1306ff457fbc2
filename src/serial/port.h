// Port access: open and configure a port by name, close it, change its total read time-out, drain
// its receive queue, write and read raw bytes, and drive the modem lines. This layer works with a
// handle alone and never logs; callers above it work with instance records.
//
// Contract (every platform):
// - Each call is synchronous and returns a PortResult code (SetReadTimeout: the previous time-out).
// - A read returns when the count has arrived or when the total read time-out has passed since the
//   call began, with what arrived so far (ReadComm reports the running total even when it fails).
// - A handle that is not open (never opened, closed, or kNoPort) fails every call cleanly.
// - Calls on one port run one after the other; a close waits for the call in progress. Any number of
//   threads may open, use and close different ports at once.
// - A device that goes away (hang-up, adapter pulled out) fails reads, writes and status calls at
//   once; nothing waits past its time-out.
#pragma once

#include <cstdint>

#include "serial/port_types.h"

namespace kesmzn::serial {

// Opens the device by its host name (COM1, NUL, ...) with exclusive access and applies speed,
// framing and control flags; total read time-out 1000 ms, queues 1200 bytes. Any failure after the
// device was opened closes it again, so no handle is left behind: handle is then kNoPort, and osError
// (when given) receives the OS error of the failing step.
int OpenComm(const char* name, const PortParams* params, std::uint16_t controlFlags, PortHandle* handle,
             int* osError = nullptr);

// 0, or kPortIoFailed.
int CloseComm(PortHandle handle);

// Sets the total read time-out to units x 10 ms and returns the previous one in units (truncated);
// 0 when the time-outs could not be read or written (always on the null device). Unchanged time-outs
// are not written. Units of 0 or less: a read returns at once with what has arrived.
int SetReadTimeout(PortHandle handle, int units);

// Discards what waits in the receive queue. 1 when the last status or read call failed, else 0.
int FlushInput(PortHandle handle);

// One write. 0 when all bytes were written, kPortShortWrite with the count written, kPortIoFailed.
// written (when given) receives the count. On a device with modem lines it returns once the bytes have
// left the line.
int WriteComm(PortHandle handle, const void* data, std::uint32_t count, std::uint32_t* written);

// Reads until count bytes have arrived. 0, or kPortIoFailed when a read failed or timed out with no
// byte; received (when given) holds the running total in both cases. A count of 0 reads nothing and
// returns 0.
int ReadComm(PortHandle handle, void* buffer, std::uint32_t count, std::uint32_t* received);

// Modem lines. False when the call failed (the line state is then unknown). On a device without
// modem lines (a pseudo-terminal, the null device) RTS changes succeed without effect and CTS reads as
// asserted.
bool SetRts(PortHandle handle, bool asserted);
bool GetCts(PortHandle handle, bool* asserted);

// The OS error of the port's last failing call; 0 when there was none or the handle is not open.
int LastPortError(PortHandle handle);

}  // namespace kesmzn::serial
