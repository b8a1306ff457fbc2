#include "tags/address.h"

#include <cstring>

#include "protocol/frame_codec.h"

namespace kesmzn::tags {

namespace {

constexpr const char* kDigits = "0123456789";

// S, S1 to S19 (and S with blanks, such as "S 5").
constexpr AddressPattern kModePattern = {"Ss", "01 ", "0123456789 ", " ", " ", " ", " ", " "};
// Exactly three digits.
constexpr AddressPattern kZonePattern = {kDigits, kDigits, kDigits, " ", " ", " ", " ", " "};

int DigitValue(char c) { return c - '0'; }

}  // namespace

bool NormalizeAddress(const char* text, char (&normalized)[kAddressWidth + 1]) {
    std::memset(normalized, ' ', kAddressWidth);
    normalized[kAddressWidth] = '\0';
    std::size_t length = 0;
    while (text[length] != '\0') {
        if (length == kAddressWidth) return false;  // longer than the form: refused, not cut
        normalized[length] = protocol::ToUpperChar(text[length]);
        ++length;
    }
    return true;
}

bool MatchPattern(const char (&normalized)[kAddressWidth + 1], const AddressPattern& pattern) {
    for (std::size_t i = 0; i < kAddressWidth; ++i) {
        // strchr finds the terminator of any set, so a NUL must never count as a match.
        if (normalized[i] == '\0' || std::strchr(pattern[i], normalized[i]) == nullptr) return false;
    }
    return true;
}

int CheckAddress(RequestBlock* request) {
    auto* data = static_cast<AddressCheckData*>(request->data);
    if (data == nullptr) return KES_FAILED;

    // The fixed out fields are set for every address, valid or not.
    data->outZero = 0;
    data->outSlotBits = 16;
    data->outMaxValue = 255;

    char address[kAddressWidth + 1];
    if (data->text == nullptr || !NormalizeAddress(data->text, address)) return KES_FAILED;
    if (!MatchPattern(address, kModePattern) && !MatchPattern(address, kZonePattern)) return KES_FAILED;

    if (address[0] == 'S') {
        if (address[1] == ' ') {
            data->kind = kModeOfTag;
            return KES_OK;
        }
        data->kind = kNumberedMode;
        int number = DigitValue(address[1]);
        if (address[2] != ' ') number = number * 10 + DigitValue(address[2]);
        data->number = number;
        return (number >= 1 && number <= 19) ? KES_OK : KES_FAILED;
    }

    data->kind = kZone;
    data->number = DigitValue(address[0]) * 100 + DigitValue(address[1]) * 10 + DigitValue(address[2]);
    return KES_OK;
}

int CheckBlockAddress(RequestBlock* request) {
    const int result = CheckAddress(request);
    if (result != KES_OK) return result;
    const auto* data = static_cast<const AddressCheckData*>(request->data);
    // A block holds 1 to 256 values; a count of zero or less is a host error as much as 257.
    if (data->count < 1 || data->count > kMaxBlockValues) return KES_FAILED;
    return (data->kind == kZone && data->number == 1) ? KES_OK : KES_FAILED;
}

}  // namespace kesmzn::tags
