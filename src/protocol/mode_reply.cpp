#include "protocol/mode_reply.h"

#include "protocol/reply.h"

namespace kesmzn::protocol {

namespace {
constexpr std::size_t kModeValueAt = 13;
constexpr std::size_t kModeKeyLength = 8;  // password, "68", mode number
}  // namespace

int DecodeModeReply(std::string_view reply, const char* frame, std::uint16_t& value) {
    if (reply.empty() || reply[0] != ':') return 1;
    std::uint16_t read = 0;
    const bool decoded = FieldEquals(reply, 3, "D5") ? ReadD5Value(reply, frame, kModeKeyLength, read)
                                                     : ReadHexPair(reply, kModeValueAt, read);
    if (!decoded) return 1;
    value = read;
    return 0;
}

}  // namespace kesmzn::protocol
