// The address checks through KesMain, as the host asks them: input = the address text (up to its
// terminator), then the block count (4 bytes) and the request (1 byte: 3 or 4) at its end. An
// accepted address always yields a kind and number the reads can use.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "kesmzn.h"
#include "quiet_log.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kesmzn::fuzz::LogToNowhere();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool block = input.ConsumeBool();
    const auto count = input.ConsumeIntegral<std::int32_t>();
    const std::string text = input.ConsumeRemainingBytesAsString();

    AddressCheckData check{};
    check.text = text.c_str();
    check.count = count;
    check.kind = -7;
    check.number = -7;
    check.outZero = check.outMaxValue = check.outSlotBits = -7;
    RequestBlock request{};
    request.code = block ? KES_REQUEST_CHECK_BLOCK_ADDRESS : KES_REQUEST_CHECK_ADDRESS;
    request.data = &check;
    const int result = KesMain(&request);

    if (result != 0 && result != 1) std::abort();
    if (check.outZero != 0 || check.outMaxValue != 255 || check.outSlotBits != 16) std::abort();
    if (result != 0) return 0;
    const std::size_t length = std::string(text.c_str()).size();
    switch (check.kind) {
        case 0:  // "S" and blanks
            if (length < 1 || length > 8 || (text[0] != 'S' && text[0] != 's')) std::abort();
            break;
        case 1:
            if (check.number < 1 || check.number > 19) std::abort();
            break;
        case 2:
            if (check.number < 0 || check.number > 999 || length < 3 || length > 8) std::abort();
            break;
        default:
            std::abort();
    }
    if (block && (check.kind != 2 || check.number != 1 || count < 1 || count > 256)) std::abort();
    return 0;
}
