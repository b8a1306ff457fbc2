// The block reply decoder: input = the reply as received, then the CRC switch (1 byte) and the tag's
// block size (2 bytes, signed) at its end. The value area has exactly the slots the tag's size promises, so a
// store past them is caught.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/block_reply.h"
#include "quiet_log.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kesmzn::fuzz::LogToNowhere();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kesmzn::protocol;
    FuzzedDataProvider input(data, size);
    const std::int32_t blockSize = input.ConsumeIntegral<std::int16_t>();
    const std::int32_t crcOn = input.ConsumeIntegralInRange<std::int32_t>(-1, 2);
    const std::string reply = input.ConsumeRemainingBytesAsString();

    const auto slots = static_cast<std::size_t>(blockSize & 0xFF);
    std::vector<std::uint16_t> values(slots == 0 ? 1 : slots, 0xBEEF);
    std::uint8_t rxLrc = 0;
    const int result = DecodeBlockReply(std::string_view(reply), blockSize, crcOn, values.data(), rxLrc);
    if (result != 0 && result != 1) std::abort();
    const bool status = reply.find("01E5") != std::string::npos;
    for (const std::uint16_t value : values) {
        // Stored values are bytes; slots stay untouched unless a whole block was taken.
        if (value != 0xBEEF && (result != 0 || status || value > 0xFF)) std::abort();
    }
    if (slots == 0 && values[0] != 0xBEEF) std::abort();  // no block of 0 zones exists
    return 0;
}
