// The port operations, the same on every platform: handle checks, the time-out bookkeeping, the drain
// of the receive queue and the read loop, over the primitives of the port's backend.
#include "serial/port.h"

#include <cerrno>
#include <cstdint>

#include "serial/port_backend.h"
#include "serial/port_table.h"

namespace kesmzn::serial {
namespace {

constexpr int kFlushTimeoutUnits = 5;
constexpr std::uint32_t kFlushChunk = 512;

std::uint32_t UnitsToMs(int units) {
    if (units <= 0) return 0;
    const auto wide = static_cast<std::uint64_t>(units) * 10u;
    return wide > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(wide);
}

int SetReadTimeoutOn(PortRecord& port, int units) {
    PortTimeouts timeouts{};
    if (!port.backend->getTimeouts(port, &timeouts)) return 0;
    const std::uint32_t previous = timeouts.readTotalConstant;
    const std::uint32_t wanted = UnitsToMs(units);
    // Unchanged time-outs are not written again: the line transfer sets the same value around every
    // line, and on the host platform each write is a call into the device driver.
    if (previous != wanted) {
        timeouts.readTotalConstant = wanted;
        if (!port.backend->setTimeouts(port, timeouts)) return 0;
    }
    return static_cast<int>(previous / 10);
}

int FlushInputOn(PortRecord& port) {
    std::uint32_t waiting = 0;
    bool lastCallOk = port.backend->queueStatus(port, &waiting);
    if (!lastCallOk || waiting > 0) {
        const int previous = SetReadTimeoutOn(port, kFlushTimeoutUnits);
        unsigned char scratch[kFlushChunk];
        std::uint32_t received = 0;
        do {
            received = 0;
            lastCallOk = port.backend->read(port, scratch, kFlushChunk, &received);
        } while (lastCallOk && received == kFlushChunk);
        if (previous != 0) SetReadTimeoutOn(port, previous);
    }
    return lastCallOk ? 0 : 1;
}

int ReadCommOn(PortRecord& port, unsigned char* buffer, std::uint32_t count, std::uint32_t* received) {
    std::uint32_t total = 0;
    while (total < count) {
        std::uint32_t got = 0;
        if (!port.backend->read(port, buffer + total, count - total, &got)) return kPortIoFailed;
        if (got == 0) return kPortIoFailed;  // the total time-out passed with nothing
        total += got < count - total ? got : count - total;
        if (received != nullptr) *received = total;
    }
    return kPortOk;
}

}  // namespace

int OpenComm(const char* name, const PortParams* params, std::uint16_t controlFlags, PortHandle* handle,
             int* osError) {
    if (osError != nullptr) *osError = 0;
    if (handle == nullptr) {
        if (osError != nullptr) *osError = EINVAL;
        return kPortNotOpened;
    }
    *handle = kNoPort;
    if (name == nullptr || params == nullptr) {
        if (osError != nullptr) *osError = EINVAL;
        return kPortNotOpened;
    }
    std::uint32_t slot = 0;
    PortRecord* record = ReservePort(&slot);
    if (record == nullptr) {
        if (osError != nullptr) *osError = EMFILE;
        return kPortNotOpened;
    }
    *record = PortRecord{};
    const int result = PlatformOpen(name, *params, controlFlags, *record);
    if (result != kPortOk) {
        if (osError != nullptr) *osError = record->lastError;
        CancelReservation(slot);
        return result;
    }
    *handle = PublishPort(slot);
    return kPortOk;
}

int OpenCommOn(const PortBackend& backend, void* context, PortHandle* handle) {
    if (handle == nullptr) return kPortNotOpened;
    *handle = kNoPort;
    std::uint32_t slot = 0;
    PortRecord* record = ReservePort(&slot);
    if (record == nullptr) return kPortNotOpened;
    *record = PortRecord{};
    record->backend = &backend;
    record->context = context;
    *handle = PublishPort(slot);
    return kPortOk;
}

int CloseComm(PortHandle handle) {
    PortRecord* port = AcquirePort(handle);
    if (port == nullptr) return kPortIoFailed;
    const bool closed = port->backend->close(*port);
    RetirePort(handle);
    return closed ? kPortOk : kPortIoFailed;
}

int SetReadTimeout(PortHandle handle, int units) {
    PortRecord* port = AcquirePort(handle);
    if (port == nullptr) return 0;
    const int previous = SetReadTimeoutOn(*port, units);
    ReleasePort(handle);
    return previous;
}

int FlushInput(PortHandle handle) {
    PortRecord* port = AcquirePort(handle);
    if (port == nullptr) return 1;
    const int result = FlushInputOn(*port);
    ReleasePort(handle);
    return result;
}

int WriteComm(PortHandle handle, const void* data, std::uint32_t count, std::uint32_t* written) {
    if (written != nullptr) *written = 0;
    if (data == nullptr && count > 0) return kPortIoFailed;
    PortRecord* port = AcquirePort(handle);
    if (port == nullptr) return kPortIoFailed;
    std::uint32_t sent = 0;
    const bool ok = port->backend->write(*port, data, count, &sent);
    ReleasePort(handle);
    if (!ok) return kPortIoFailed;
    if (sent > count) sent = count;
    if (written != nullptr) *written = sent;
    return sent == count ? kPortOk : kPortShortWrite;
}

int ReadComm(PortHandle handle, void* buffer, std::uint32_t count, std::uint32_t* received) {
    if (received != nullptr) *received = 0;
    if (buffer == nullptr && count > 0) return kPortIoFailed;
    PortRecord* port = AcquirePort(handle);
    if (port == nullptr) return kPortIoFailed;
    const int result = ReadCommOn(*port, static_cast<unsigned char*>(buffer), count, received);
    ReleasePort(handle);
    return result;
}

bool SetRts(PortHandle handle, bool asserted) {
    PortRecord* port = AcquirePort(handle);
    if (port == nullptr) return false;
    const bool ok = port->backend->setRts(*port, asserted);
    ReleasePort(handle);
    return ok;
}

bool GetCts(PortHandle handle, bool* asserted) {
    bool state = false;
    PortRecord* port = AcquirePort(handle);
    if (port == nullptr) {
        if (asserted != nullptr) *asserted = false;
        return false;
    }
    const bool ok = port->backend->getCts(*port, &state);
    ReleasePort(handle);
    if (asserted != nullptr) *asserted = ok && state;
    return ok;
}

int LastPortError(PortHandle handle) {
    PortRecord* port = AcquirePort(handle);
    if (port == nullptr) return 0;
    const int error = port->lastError;
    ReleasePort(handle);
    return error;
}

}  // namespace kesmzn::serial
