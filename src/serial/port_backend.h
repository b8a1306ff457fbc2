// The seam between the port operations and a platform. Each open port is a record that names its
// backend: the few primitives the port operations are built on, one for one with the host platform's
// own serial calls (time-outs, queue status, read, write, RTS, CTS, close). A platform provides one
// backend and the open that fills a record with it; a test provides a port double the same way.
#pragma once

#include <cstddef>
#include <cstdint>

#include "serial/port_types.h"

namespace kesmzn::serial {

// The five time-out values a port keeps, in milliseconds. A read lasts at most
// readTotalConstant + readTotalMultiplier x count from its start; zero write values mean a write is
// not timed. The interval value is kept but never set by this layer.
struct PortTimeouts {
    std::uint32_t readInterval;
    std::uint32_t readTotalMultiplier;
    std::uint32_t readTotalConstant;
    std::uint32_t writeTotalMultiplier;
    std::uint32_t writeTotalConstant;
};

// Room for a platform's own per-port state; each platform checks at compile time that its state fits.
inline constexpr std::size_t kPlatformStateSize = 768;

struct PortBackend;

struct PortRecord {
    const PortBackend* backend;
    void* context;  // a port double's own state; platform backends leave it alone
    int lastError;  // OS error of the last call that failed, taken at that call
    alignas(8) unsigned char platform[kPlatformStateSize];
};

// Every primitive returns false when its call failed, after storing the OS error in lastError.
struct PortBackend {
    // Read and replace the time-outs; both fail on a device without them (the null device).
    bool (*getTimeouts)(PortRecord& port, PortTimeouts* timeouts);
    bool (*setTimeouts)(PortRecord& port, const PortTimeouts& timeouts);
    // Clears the error state and reports how many bytes wait in the receive queue.
    bool (*queueStatus)(PortRecord& port, std::uint32_t* waiting);
    // One read: returns when count bytes have arrived or when the total read time-out has passed since
    // the call began, with what arrived; a time-out with nothing is a success with received 0.
    bool (*read)(PortRecord& port, void* buffer, std::uint32_t count, std::uint32_t* received);
    // One write; written may fall short of count.
    bool (*write)(PortRecord& port, const void* data, std::uint32_t count, std::uint32_t* written);
    bool (*setRts)(PortRecord& port, bool asserted);
    bool (*getCts)(PortRecord& port, bool* asserted);
    // Releases the device; the record is not used again, whatever the result.
    bool (*close)(PortRecord& port);
};

// Provided by each platform: the steps of OpenComm on the named device. Fills the record, backend
// included, and returns a port result; on failure everything taken is released again and lastError
// holds the OS error.
int PlatformOpen(const char* name, const PortParams& params, std::uint16_t controlFlags, PortRecord& record);

// Opens a handle on a port served by the given backend, with a zeroed record carrying context: how a
// test puts an in-memory port in place of a device. 0, or kPortNotOpened when the table is full.
int OpenCommOn(const PortBackend& backend, void* context, PortHandle* handle);

}  // namespace kesmzn::serial
