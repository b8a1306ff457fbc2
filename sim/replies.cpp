#include "replies.h"

#include <cstdio>

namespace kesmzn::sim {

namespace {

std::string decimal(unsigned value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*u", width, value);
    return std::string(text, static_cast<std::size_t>(width));
}

std::string hexValues(std::span<const std::uint8_t> states) {
    std::string values;
    values.reserve(states.size() * 2);
    for (const std::uint8_t state : states) values += hexByte(state);
    return values;
}

}  // namespace

std::string ackLine(std::uint8_t commandLrc) {
    std::string line = ":";
    line += static_cast<char>(commandLrc);
    // An LRC of 0x0A already ends the line at byte 1; a CR LF after it would reach the driver as an
    // empty extra line and be taken for the reply.
    if (commandLrc != '\n') line += "\r\n";
    return line;
}

std::string modeReply(const Command& command, std::uint8_t value, bool d5, bool corruptLrc) {
    if (d5) return buildFrame("D5" + command.key + "0" + hexByte(value) + "0", corruptLrc);
    return buildFrame("08" + command.password + "68" + decimal(command.number, 2) + hexByte(value),
                      corruptLrc);
}

std::string pointReply(const Command& command, std::uint8_t state, bool d5, bool corruptLrc) {
    if (d5) return buildFrame("D5" + command.key + "0" + hexByte(state) + "0", corruptLrc);
    return buildFrame(
        "09" + command.password + "66" + decimal(command.number, 3) + "0" + hexByte(state) + "00",
        corruptLrc);
}

std::string blockReply(std::span<const std::uint8_t> states, bool d5, bool corruptLrc) {
    const std::string values = hexValues(states);
    std::uint8_t check = lrc(values).value_or(0);
    if (corruptLrc) check = static_cast<std::uint8_t>(check + 1);
    const auto last = static_cast<std::uint8_t>(states.empty() ? 0 : states.size() - 1);
    std::string line = ":";
    if (d5) {
        // The count field holds the low byte of the number of data bytes; the driver reads the zone
        // count from characters 5-6 in this shape.
        line += hexByte(static_cast<std::uint8_t>((3 + states.size()) & 0xFF));
        line += "D5" + hexByte(last) + "66";
    } else {
        line += hexByte(last) + "06";
    }
    line += values;
    line += hexByte(check);
    line += "\r\n";
    return line;
}

std::string setReply(const Command& command, bool corruptLrc) {
    const char* code = command.kind == CommandKind::ModeSet ? "07" : "09";
    return buildFrame(std::string(code) + "00", corruptLrc);
}

std::string eventLine(std::string_view code, unsigned sequence, unsigned zone) {
    char fields[16];
    std::snprintf(fields, sizeof fields, "%04X%03u0", sequence & 0xFFFFu, zone % 1000u);
    return buildFrame(std::string(code) + fields);
}

}  // namespace kesmzn::sim
