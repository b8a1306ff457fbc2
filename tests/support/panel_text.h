// Panel lines for tests, written independently of the driver's codec: the LRC of a run of character
// pairs, and a few line shapes.
#pragma once

#include <cstdio>
#include <string>

namespace kesmzn::testing {

// Two upper-case hexadecimal digits: (256 - sum of the pairs read as hexadecimal bytes) modulo 256.
inline std::string LrcOf(const std::string& pairs) {
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) sum += static_cast<unsigned>(std::stoul(pairs.substr(i, 2), nullptr, 16));
    char text[3];
    std::snprintf(text, sizeof text, "%02X", (256 - sum % 256) % 256);
    return text;
}

// A line as the panel sends it: ":" count data LRC CR LF, the LRC over the data pairs.
inline std::string PanelLine(const std::string& data) {
    char count[3];
    std::snprintf(count, sizeof count, "%02X", static_cast<unsigned>(data.size() / 2));
    return ":" + std::string(count) + data + LrcOf(data) + "\r\n";
}

// The acknowledgement line of a command: its second byte is the command frame's LRC, raw.
inline std::string AckLine(unsigned char lrc) { return std::string(":") + static_cast<char>(lrc) + "\r\n"; }

}  // namespace kesmzn::testing
