#include "protocol/exchange.h"

#include "host/pause.h"
#include "protocol/frame_codec.h"
#include "protocol/mode_reply.h"
#include "protocol/point_reply.h"
#include "protocol/reply.h"
#include "serial/line.h"
#include "unsolicited/lines.h"
#include "zubpro.h"

namespace kesmzn::protocol {

namespace {

constexpr int kPauseBeforeSendMs = 100;
constexpr int kPauseBeforeLineMs = 50;

// A panel that keeps talking without ever acknowledging would otherwise hold the instance lock, and
// the host's request, for as long as it talks.
constexpr int kMaxLinesBeforeAck = 50;

using host::Pause;

void LogGetModeLine(const char* line) { err(8, "KesMZN: GetMode(), RecvBuf -> %s", line); }
void LogGetPointLine(const char* line) { err(8, "KesMZN: GetPoint(), RecvBuf -> %s", line); }
void LogSetModeLine(const char* line) { err(8, "KesMZN: SetMode(), RecvBuf -> %s", line); }
void LogSetZoneLine(const char* line) { err(8, "KesMZN: SetZone(), RecvBuf -> %s", line); }

// The acknowledgement carries the frame's LRC as its second byte, compared raw. An empty line is never
// the acknowledgement, also when that LRC is 0 and the empty buffer's second byte happens to match.
bool IsAck(const char* line, std::uint8_t expected) {
    return line[0] != '\0' && static_cast<std::uint8_t>(line[1]) == expected;
}

// Sends a frame and reads the first line after it, with the pauses of the mode and set exchanges.
void SendAndReadFirstLine(host::InstanceData& instance, const char* frame, std::size_t length, LineLogger logLine) {
    Pause(kPauseBeforeSendMs);
    serial::SendStr(instance, frame, static_cast<std::uint32_t>(length));
    Pause(kPauseBeforeLineMs);
    serial::RecvLine(instance, instance.rxBuf);
    logLine(instance.rxBuf);
}

}  // namespace

int AwaitAck(host::InstanceData& instance, const char* frame, const char* op, LineLogger logLine) {
    const std::size_t lrcAt = std::strlen(frame) - 4;  // the LRC stands before CR LF
    const auto expected = static_cast<std::uint8_t>(HexToNum(frame + lrcAt, 2));
    for (int lines = 0; !IsAck(instance.rxBuf, expected); ++lines) {
        if (instance.rxBuf[0] == '\0' || lines == kMaxLinesBeforeAck) {
            err(8, "KesMZN: %s() Failed with Command Ack", op);
            return 1;
        }
        // Whatever came instead of the acknowledgement is the panel's own: acknowledge it, lose nothing.
        unsolicited::ProcessUnsolicited(instance, instance.rxBuf);
        Pause(kPauseBeforeLineMs);
        serial::RecvLine(instance, instance.rxBuf);
        logLine(instance.rxBuf);
    }
    return 0;
}

int GetMode(host::InstanceData& instance, int mode, std::uint16_t* value) {
    FrameText frame;
    const std::size_t length = BuildModeQuery(frame, instance.password, mode);
    err(8, "KesMZN: GetMode(), Send Buf -> %s", frame);
    SendAndReadFirstLine(instance, frame, length, LogGetModeLine);
    if (AwaitAck(instance, frame, "GetMode", LogGetModeLine) != 0) return 1;

    Pause(kPauseBeforeLineMs);
    serial::RecvLine(instance, instance.rxBuf);
    err(8, "KesMZN: GetMode(), Recv Buf -> %s", instance.rxBuf);
    return DecodeModeReply(LineText(instance.rxBuf), frame, *value);
}

int GetPoint(host::InstanceData& instance, int zone, std::uint16_t* value) {
    const std::size_t length = BuildPointQuery(instance.txFrame, instance.password, zone);
    serial::SendStr(instance, instance.txFrame, static_cast<std::uint32_t>(length));
    Pause(kPauseBeforeSendMs);
    serial::RecvLine(instance, instance.rxBuf);
    LogGetPointLine(instance.rxBuf);
    if (AwaitAck(instance, instance.txFrame, "GetPoint", LogGetPointLine) != 0) return 1;

    Pause(kPauseBeforeLineMs);
    serial::RecvLine(instance, instance.rxBuf);
    LogGetPointLine(instance.rxBuf);
    return DecodePointReply(LineText(instance.rxBuf), instance.txFrame, *value, instance.rxLrc);
}

int SetMode(host::InstanceData& instance, int mode, int value) {
    FrameText frame;
    const std::size_t length = BuildModeSet(frame, instance.password, mode, value);
    SendAndReadFirstLine(instance, frame, length, LogSetModeLine);
    if (AwaitAck(instance, frame, "SetMode", LogSetModeLine) != 0) return 1;
    Pause(kPauseBeforeLineMs);
    serial::RecvLine(instance, instance.rxBuf);
    LogSetModeLine(instance.rxBuf);
    return 0;
}

int SetZone(host::InstanceData& instance, int zone, int state) {
    if (state != 1 && state != 2) return 1;
    FrameText frame;
    const std::size_t length = BuildZoneSet(frame, instance.password, zone, state);
    err(8, "KesMZN: SetZone(), Send Buf -> %s", frame);
    SendAndReadFirstLine(instance, frame, length, LogSetZoneLine);
    if (AwaitAck(instance, frame, "SetZone", LogSetZoneLine) != 0) return 1;
    Pause(kPauseBeforeLineMs);
    serial::RecvLine(instance, instance.rxBuf);
    LogSetZoneLine(instance.rxBuf);
    return 0;
}

}  // namespace kesmzn::protocol
