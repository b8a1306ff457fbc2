// The mode reply decoder, on any line after any mode query: input = the reply as received, then the
// mode number (1 byte) and the password (2 bytes) at its end, where FuzzedDataProvider takes numbers.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "protocol/frame_codec.h"
#include "protocol/mode_reply.h"
#include "quiet_log.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kesmzn::fuzz::LogToNowhere();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kesmzn::protocol;
    FuzzedDataProvider input(data, size);
    const auto password = input.ConsumeIntegral<std::uint16_t>();
    const auto mode = input.ConsumeIntegral<std::uint8_t>();
    // The reply in a buffer of its exact size: a read past its end is caught.
    const std::string reply = input.ConsumeRemainingBytesAsString();

    FrameText frame;
    BuildModeQuery(frame, password, mode);
    std::uint16_t value = 0xBEEF;
    const int result = DecodeModeReply(std::string_view(reply), frame, value);
    if (result != 0 && result != 1) std::abort();
    // A value comes from two hexadecimal digits, and a failure leaves it alone.
    if (result == 0 && value > 0xFF) std::abort();
    if (result == 1 && value != 0xBEEF) std::abort();
    return 0;
}
