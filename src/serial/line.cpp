// Line transfer: frames go out under the RTS/CTS handshake, bytes and lines come in, and RTS is cleared
// after every transmission and every read.
#include "serial/line.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "serial/port.h"
#include "zubpro.h"

namespace kesmzn::serial {
namespace {

constexpr int kCtsPolls = 29;
constexpr int kLineReadTimeoutUnits = 10;  // 100 ms: a gap this long ends a line

}  // namespace

void RaiseRts(PortHandle handle) {
    if (!SetRts(handle, true)) err(32, " KesMZN: Fail to set RTS to on");
}

void DropRts(PortHandle handle) {
    if (!SetRts(handle, false)) err(32, " KesMZN: Fail to set RTS to off");
}

bool WaitCts(PortHandle handle) {
    for (int poll = 0; poll < kCtsPolls; ++poll) {
        bool cts = false;
        GetCts(handle, &cts);  // a failed status read leaves cts cleared, which is all that counts here
        if (cts) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

int SendStr(host::InstanceData& instance, const char* data, std::uint32_t count) {
    const PortHandle port = instance.port;
    FlushInput(port);  // stale input would be taken for the answer to this frame
    RaiseRts(port);
    int result = kPortIoFailed;
    std::uint32_t written = 0;
    if (WaitCts(port)) {
        result = WriteComm(port, data, count, &written);
    } else {
        err(8, "KesMZN: SendStr -> CTS failed");
    }
    DropRts(port);
    return result == kPortOk && written == count ? 1 : 0;
}

int RecvStr(host::InstanceData& instance, char* buffer, std::uint32_t count) {
    const PortHandle port = instance.port;
    std::uint32_t received = 0;
    const int result = ReadComm(port, buffer, count, &received);
    DropRts(port);
    return result == kPortOk && received == count ? 1 : 0;
}

void RecvLine(host::InstanceData& instance, char (&buffer)[host::kRxBufferSize + 1]) {
    SetReadTimeout(instance.port, kLineReadTimeoutUnits);
    // All of it, the byte past the line included: that one is never written and ends a full line.
    std::memset(buffer, 0, sizeof buffer);
    std::size_t stored = 0;
    while (stored < host::kRxBufferSize) {
        char c = 0;
        if (RecvStr(instance, &c, 1) != 1) break;
        buffer[stored++] = c;
        if (c == '\n') break;
    }
    SetReadTimeout(instance.port, instance.timeout);
}

}  // namespace kesmzn::serial
