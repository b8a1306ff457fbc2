#include "kesmzn_sim/frame.h"

#include <cstdio>

namespace kesmzn::sim {

std::string hexByte(std::uint8_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::optional<unsigned> hexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    return std::nullopt;
}

std::optional<std::uint8_t> parseHexByte(std::string_view twoChars) {
    if (twoChars.size() != 2) return std::nullopt;
    const auto high = hexDigit(twoChars[0]);
    const auto low = hexDigit(twoChars[1]);
    if (!high || !low) return std::nullopt;
    return static_cast<std::uint8_t>(*high * 16 + *low);
}

std::optional<unsigned> parseDecimal(std::string_view digits) {
    if (digits.empty() || digits.size() > 9) return std::nullopt;
    unsigned value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

std::optional<std::uint8_t> lrc(std::string_view pairs) {
    if (pairs.size() % 2 != 0) return std::nullopt;
    unsigned sum = 0;
    for (std::size_t i = 0; i < pairs.size(); i += 2) {
        const auto byte = parseHexByte(pairs.substr(i, 2));
        if (!byte) return std::nullopt;
        sum += *byte;
    }
    return static_cast<std::uint8_t>((256 - sum % 256) % 256);
}

std::string buildFrame(std::string_view data, bool corruptLrc) {
    const auto check = lrc(data);
    std::uint8_t value = check.value_or(0);
    if (corruptLrc) value = static_cast<std::uint8_t>(value + 1);
    std::string frame = ":";
    frame += hexByte(static_cast<std::uint8_t>(data.size() / 2));
    frame += data;
    frame += hexByte(value);
    frame += "\r\n";
    return frame;
}

std::string passwordField(unsigned password) {
    char text[16];
    std::snprintf(text, sizeof text, "%04u", password);
    return std::string(text, 4);
}

ParsedFrame parseFrame(std::string_view line) {
    ParsedFrame parsed;
    // ":" count(2) LRC(2) CR LF is the shortest frame.
    if (line.size() < 7 || line.front() != ':' || !line.ends_with("\r\n")) return parsed;
    const std::string_view body = line.substr(1, line.size() - 3);
    for (const char c : body) {
        if (!hexDigit(c)) return parsed;
    }
    const auto count = parseHexByte(body.substr(0, 2));
    const auto received = parseHexByte(body.substr(body.size() - 2));
    const std::string_view data = body.substr(2, body.size() - 4);
    if (!count || !received) return parsed;
    if (data.size() % 2 != 0 || data.size() != 2u * *count) {
        parsed.error = FrameError::Count;
        return parsed;
    }
    parsed.frame.count = *count;
    parsed.frame.data = std::string(data);
    parsed.frame.lrc = *received;
    parsed.error = lrc(data) == received ? FrameError::None : FrameError::Lrc;
    return parsed;
}

namespace {

bool isPassword(std::string_view text) { return text.size() == 4 && parseDecimal(text).has_value(); }

}  // namespace

Classified classify(const Frame& frame) {
    Classified result;
    const std::string_view data = frame.data;
    if (data.size() != 2u * frame.count) return result;
    if (frame.count == 1) {
        result.kind = FrameKind::EventAck;
        result.ackCode = std::string(data);
        return result;
    }
    if (data.size() < 8 || !isPassword(data.substr(2, 4))) return result;
    Command& command = result.command;
    command.password = std::string(data.substr(2, 4));
    command.lrc = frame.lrc;
    const std::string_view code = data.substr(0, 2);
    const std::string_view field = data.substr(6, 2);
    bool known = false;
    if (code == "08" && frame.count == 5 && field == "68") {
        // ":05 08 PPPP 68 MM": the key is what a D5 status reply echoes (password, 68, mode).
        const auto mode = parseDecimal(data.substr(8, 2));
        known = mode.has_value();
        command.kind = CommandKind::ModeQuery;
        command.number = mode.value_or(0);
        command.key = std::string(data.substr(2, 8));
    } else if (code == "09" && frame.count == 6 && data[11] == '0') {
        // Point query and zone set share the code 09; the field 66, 71 or 72 tells them apart.
        const auto zone = parseDecimal(data.substr(8, 3));
        if (zone && field == "66") {
            known = true;
            command.kind = CommandKind::PointQuery;
            command.key = std::string(data.substr(2, 10));
        } else if (zone && (field == "71" || field == "72")) {
            known = true;
            command.kind = CommandKind::ZoneSet;
            command.value = field == "71" ? 1u : 2u;
        }
        command.number = zone.value_or(0);
    } else if (code == "06" && frame.count == 4 && field == "66") {
        known = true;
        command.kind = CommandKind::BlockQuery;
    } else if (code == "07" && frame.count == 5 && data[9] == '0') {
        // ":05 07 PPPP V MM 0": one value digit, then the mode number.
        const auto value = parseDecimal(data.substr(6, 1));
        const auto mode = parseDecimal(data.substr(7, 2));
        known = value && mode;
        command.kind = CommandKind::ModeSet;
        command.value = value.value_or(0);
        command.number = mode.value_or(0);
    }
    if (known) result.kind = FrameKind::Command;
    return result;
}

}  // namespace kesmzn::sim
