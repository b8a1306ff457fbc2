// The point reply decoder, on any line after any point query: input = the reply as received, then the
// zone (2 bytes) and the password (2 bytes) at its end.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "protocol/frame_codec.h"
#include "protocol/point_reply.h"
#include "quiet_log.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kesmzn::fuzz::LogToNowhere();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kesmzn::protocol;
    FuzzedDataProvider input(data, size);
    const auto password = input.ConsumeIntegral<std::uint16_t>();
    const auto zone = input.ConsumeIntegral<std::uint16_t>();
    const std::string reply = input.ConsumeRemainingBytesAsString();

    FrameText frame;
    BuildPointQuery(frame, password, zone);
    std::uint16_t value = 0xBEEF;
    std::uint8_t rxLrc = 0;
    const int result = DecodePointReply(std::string_view(reply), frame, value, rxLrc);
    if (result != 0 && result != 1) std::abort();
    if (result == 0 && value > 0xFF) std::abort();
    if (result == 1 && value != 0xBEEF) std::abort();
    // A plain reply is taken only with its own LRC over characters 3-18: summed again here.
    if (result == 0 && !(reply.size() >= 5 && (reply[3] == 'D' || reply[3] == 'd') && (reply[4] == '5'))) {
        unsigned sum = 0;
        for (std::size_t i = 3; i < 19; i += 2) sum += HexToNum(reply.data() + i, 2) & 0xFFu;
        if (static_cast<std::uint8_t>(256 - sum % 256) != HexToNum(reply.data() + 19, 2)) std::abort();
    }
    return 0;
}
