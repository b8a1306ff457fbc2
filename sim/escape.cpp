#include "escape.h"

namespace kesmzn::sim {

std::string escapeBytes(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            text += "\\r";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\\') {
            text += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7F) {
            text += c;
        } else {
            text += "\\x";
            text += kDigits[byte >> 4];
            text += kDigits[byte & 0x0F];
        }
    }
    return text;
}

}  // namespace kesmzn::sim
