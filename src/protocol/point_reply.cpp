#include "protocol/point_reply.h"

#include "protocol/frame_codec.h"
#include "protocol/reply.h"

namespace kesmzn::protocol {

namespace {
constexpr std::size_t kPointValueAt = 15;
constexpr std::size_t kPointLrcAt = 19;
constexpr std::size_t kPointLrcFrom = 3;
constexpr int kPointLrcPairs = 8;
constexpr std::size_t kPointKeyLength = 10;  // password, "66", zone number, "0"
}  // namespace

int DecodePointReply(std::string_view reply, const char* frame, std::uint16_t& value, std::uint8_t& rxLrc) {
    if (reply.empty() || reply[0] != ':') return 1;
    std::uint16_t read = 0;
    if (FieldEquals(reply, 3, "D5")) {
        if (!ReadD5Value(reply, frame, kPointKeyLength, read)) return 1;
    } else {
        // The LRC field lies beyond the eight pairs, so reading it proves they are all there.
        std::uint16_t lrc = 0;
        if (!ReadHexPair(reply, kPointLrcAt, lrc) || !ReadHexPair(reply, kPointValueAt, read)) return 1;
        rxLrc = static_cast<std::uint8_t>(lrc);
        if (CalcLrc(reply.data() + kPointLrcFrom, kPointLrcPairs) != rxLrc) return 1;
    }
    value = read;
    return 0;
}

}  // namespace kesmzn::protocol
