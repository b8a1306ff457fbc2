#include "protocol/block_query.h"

#include "host/instance.h"
#include "host/pause.h"
#include "protocol/block_reply.h"
#include "protocol/exchange.h"
#include "protocol/frame_codec.h"
#include "protocol/reply.h"
#include "serial/line.h"
#include "zubpro.h"

namespace kesmzn::protocol {

namespace {

constexpr std::size_t kLongLine = 30;  // longer lines are announced, not logged whole

using host::Pause;

void LogBlockLine(const char* line, const char* emptyMessage) {
    const std::size_t length = std::strlen(line);
    if (length == 0) {
        err(8, "%s", emptyMessage);
    } else if (length > kLongLine) {
        err(8, "KesMZN: GetBlock() - There is a block data");
    } else {
        err(8, "KesMZN: GetBlock(), RecvBuf -> %s", line);
    }
}

void LogLineBeforeAck(const char* line) { LogBlockLine(line, "KesMZN: GetBlock() - NO UNSOLICITED DATA !!!"); }

}  // namespace

int GetBlock(RequestBlock* request, std::uint16_t* values) {
    host::InstanceData& instance = host::InstanceOf(*request);
    const auto& tag = *static_cast<const TagIoData*>(request->data);

    const std::size_t length = BuildBlockQuery(instance.txFrame, instance.password);
    err(8, "KesMZN: GetBlock(), Send Buf -> %s", instance.txFrame);
    Pause(100);
    serial::SendStr(instance, instance.txFrame, static_cast<std::uint32_t>(length));
    Pause(50);
    serial::RecvLine(instance, instance.rxBuf);
    err(8, "KesMZN: GetBlock(), RecvBuf -> %s", instance.rxBuf);
    if (AwaitAck(instance, instance.txFrame, "GetBlock", LogLineBeforeAck) != 0) return 1;

    Pause(50);
    serial::RecvLine(instance, instance.rxBuf);
    LogBlockLine(instance.rxBuf, "KesMZN: GetBlock() - NO BLOCK DATA !!!");

    return DecodeBlockReply(LineText(instance.rxBuf), tag.blockSize, instance.crcOn, values, instance.rxLrc);
}

}  // namespace kesmzn::protocol
