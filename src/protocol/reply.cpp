#include "protocol/reply.h"

#include "protocol/frame_codec.h"

namespace kesmzn::protocol {

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

}  // namespace kesmzn::protocol
