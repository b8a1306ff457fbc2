#include "protocol/reply.h"

#include "protocol/frame_codec.h"

namespace kesmzn::protocol {

namespace {
constexpr std::size_t kKeyFrom = 5;  // the key starts after ":", the count and the command
}  // namespace

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

bool ReadHexPair(std::string_view line, std::size_t position, std::uint16_t& value) {
    if (position > line.size() || line.size() - position < 2) return false;
    if (!IsHexDigit(line[position]) || !IsHexDigit(line[position + 1])) return false;
    value = HexToNum(line.data() + position, 2);
    return true;
}

bool FieldEquals(std::string_view line, std::size_t position, const char* text) {
    if (position > line.size() || line.size() - position < 2) return false;
    return ToUpperChar(line[position]) == text[0] && ToUpperChar(line[position + 1]) == text[1];
}

bool ReadD5Value(std::string_view reply, const char* frame, std::size_t keyLength, std::uint16_t& value) {
    const std::size_t at = reply.find(std::string_view(frame + kKeyFrom, keyLength));
    if (at == std::string_view::npos) return false;
    return ReadHexPair(reply, at + keyLength + 1, value);
}

}  // namespace kesmzn::protocol
