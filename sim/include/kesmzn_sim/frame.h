// The simulated panel's own frame codec. It shares nothing with the driver's codec on purpose: a
// fault there must show up as a disagreement on the wire, not hide behind common code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kesmzn::sim {

// Two upper-case hexadecimal digits.
std::string hexByte(std::uint8_t value);

// 0-9 and A-F only: the panel is strict, so a driver writing lower-case hexadecimal is caught.
std::optional<unsigned> hexDigit(char c);
std::optional<std::uint8_t> parseHexByte(std::string_view twoChars);

// Value of decimal digits; nullopt when text is empty or holds anything but 0-9.
std::optional<unsigned> parseDecimal(std::string_view digits);

// LRC over character pairs read as hexadecimal bytes (decimal digits count as hexadecimal pairs, so
// "12" is 0x12): (256 - sum) mod 256. nullopt for an odd length or a non-hexadecimal character.
std::optional<std::uint8_t> lrc(std::string_view pairs);

// ":" + count of pairs + data + LRC + CR LF. data must be an even number of hexadecimal characters
// (at most 255 pairs); corruptLrc writes a wrong LRC on purpose.
std::string buildFrame(std::string_view data, bool corruptLrc = false);

// The four password characters of a frame: the zero-padded decimal, cut to its first four
// characters (a five-digit password contributes its first four digits).
std::string passwordField(unsigned password);

struct Frame {
    std::uint8_t count = 0;
    std::string data;  // the data characters between the count and the LRC
    std::uint8_t lrc = 0;
};

enum class FrameError : std::uint8_t {
    None,
    Malformed,  // no ":" start or CR LF end, a non-hexadecimal character, or too short
    Count,      // the count does not match the number of data pairs
    Lrc,        // the LRC does not match the data
};

struct ParsedFrame {
    FrameError error = FrameError::Malformed;
    Frame frame;
};

// line: from ":" to LF inclusive.
ParsedFrame parseFrame(std::string_view line);

// What a frame asks of the panel.
enum class CommandKind : std::uint8_t { ModeQuery, PointQuery, BlockQuery, ModeSet, ZoneSet };
inline constexpr std::size_t kCommandKinds = 5;

struct Command {
    CommandKind kind = CommandKind::ModeQuery;
    std::string password;  // the four password characters
    unsigned number = 0;   // mode or zone number (0 for the block query)
    unsigned value = 0;    // mode-set value digit, or zone-set state 1 or 2
    std::uint8_t lrc = 0;  // the frame's LRC: what the acknowledgement carries
    std::string key;       // the request's echo key for D5 replies (mode and point queries)
};

enum class FrameKind : std::uint8_t { Command, EventAck, Unknown };

struct Classified {
    FrameKind kind = FrameKind::Unknown;
    Command command;      // kind Command
    std::string ackCode;  // kind EventAck: the acknowledged event code
};

Classified classify(const Frame& frame);

}  // namespace kesmzn::sim
