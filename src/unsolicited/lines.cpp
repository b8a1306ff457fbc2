#include "unsolicited/lines.h"

#include <algorithm>
#include <cstring>

#include "protocol/frame_codec.h"
#include "serial/line.h"
#include "zubpro.h"

namespace kesmzn::unsolicited {

namespace {
constexpr std::size_t kCodeAt = 3;  // after ":" and the count
}  // namespace

void ProcessUnsolicited(host::InstanceData& instance, const char* text) {
    const char* p = text;
    while (*p != '\0') {
        const char* start = std::strchr(p, ':');
        if (start == nullptr) return;
        const char* end = std::strchr(start, '\n');
        if (end == nullptr) return;
        // The text comes from rxBuf, so a line never exceeds its room; the bound holds regardless.
        char line[host::kRxBufferSize + 1];
        const auto length = std::min(static_cast<std::size_t>(end - start), host::kRxBufferSize);
        std::memcpy(line, start, length);
        line[length] = '\0';
        CheckCommand(instance, line);
        p = end;
    }
}

bool IsAckCode(const char* code) {
    // Whole entries only: a substring test would also take "5," or ",A" as codes.
    for (const char* entry = kAckList; *entry != '\0'; entry += 3) {
        if (entry[0] == code[0] && entry[1] == code[1]) return true;
        if (entry[2] == '\0') break;
    }
    return false;
}

void CheckCommand(host::InstanceData& instance, const char* line) {
    char code[3] = {};
    // A line too short to hold a whole code has none: it is logged, never acknowledged.
    const std::size_t length = std::strlen(line);
    if (length > kCodeAt) code[0] = line[kCodeAt];
    if (length > kCodeAt + 1) code[1] = line[kCodeAt + 1];
    if (code[1] != '\0' && IsAckCode(code)) {
        SendAck(instance, code);
    } else {
        err(32, "KesMZN: CheckCommand(), Unrecognize Command -> %s", code);
    }
}

void SendAck(host::InstanceData& instance, const char* code) {
    protocol::FrameText frame;
    const std::size_t length = protocol::BuildAck(frame, code);
    if (serial::SendStr(instance, frame, static_cast<std::uint32_t>(length)) == 1) {
        err(8, "SendAck() -> %s", frame);
    } else {
        err(8, "SendAck() -> Fail to send Ack");
    }
}

}  // namespace kesmzn::unsolicited
