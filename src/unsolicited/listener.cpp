#include "unsolicited/listener.h"

#include <algorithm>
#include <cstring>

#include "host/pause.h"
#include "serial/line.h"
#include "serial/port.h"
#include "unsolicited/lines.h"
#include "unsolicited/thread.h"
#include "zubpro.h"

namespace kesmzn::unsolicited {

namespace {

constexpr std::size_t kChunkSize = 300;
constexpr int kPassReadTimeoutUnits = 10;  // 100 ms: the pass ends at the first quiet 100 ms

using host::Pause;

}  // namespace

bool StartListener(host::InstanceData& instance) {
    return StartListenerThread(instance, kListenerStackSize);
}

void UnsolicitedListener(host::InstanceData& instance) {
    err(32, "KesMZN : Start Unsoliceted Thread");
    Pause(1000);
    unsigned char message[ZUB_MESSAGE_SIZE];
    while (ZubWaitMsg(instance.clientId, message, 1) != 0) CheckUnsolicetedMessages(instance);
    Pause(1000);
    ZubRmClient(instance.clientId);
    err(32, "KesMZN : ShutDown - End Unsoliceted Thread");
}

void CheckUnsolicetedMessages(host::InstanceData& instance) {
    host::EnterLock(instance.lock);
    err(8, "KesMZN: CheckUnsolicetedMessages() -> Enter to Critical Section ");
    serial::SetReadTimeout(instance.port, kPassReadTimeoutUnits);

    std::memset(instance.rxBuf, 0, sizeof instance.rxBuf);
    std::size_t collected = 0;
    // Collect until the line falls quiet, or until rxBuf is full: a panel that never stops talking
    // must neither overrun the buffer nor keep the pass going for ever.
    while (collected < host::kRxBufferSize) {
        char chunk[kChunkSize + 1] = {};
        serial::RecvStr(instance, chunk, kChunkSize);
        const std::size_t length = std::strlen(chunk);
        if (length == 0) break;
        const std::size_t kept = std::min(length, host::kRxBufferSize - collected);
        std::memcpy(instance.rxBuf + collected, chunk, kept);
        collected += kept;
    }

    serial::SetReadTimeout(instance.port, instance.timeout);
    if (std::strlen(instance.rxBuf) > 2) {
        err(8, "KesMZN: Unsolisted Msg-> %s", instance.rxBuf);
        ProcessUnsolicited(instance, instance.rxBuf);
    }
    err(8, "KesMZN: CheckUnsolicetedMessages() -> Exit from Critical Section ");
    host::LeaveLock(instance.lock);
}

}  // namespace kesmzn::unsolicited
