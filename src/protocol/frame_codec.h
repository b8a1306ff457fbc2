// The text encoding of the panel protocol: hexadecimal conversion, the longitudinal redundancy check
// and the six frames the driver sends. Every frame is ":", a two-digit count, the data bytes as
// character pairs, a two-digit LRC over those pairs, CR, LF. Decimal fields are written as digits
// but still enter the LRC read as hexadecimal pairs.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kesmzn::protocol {

inline constexpr std::size_t kFrameCapacity = 20;  // the longest frame (19) and the terminator

inline constexpr std::size_t kModeQueryLength = 17;
inline constexpr std::size_t kPointQueryLength = 19;
inline constexpr std::size_t kBlockQueryLength = 15;
inline constexpr std::size_t kModeSetLength = 17;
inline constexpr std::size_t kZoneSetLength = 19;
inline constexpr std::size_t kAckLength = 9;

using FrameText = char[kFrameCapacity];

// Characters from 'a' upward, taken as signed 8-bit values, lose 32; bytes 0x80 and above stay.
char ToUpperChar(char c);

// n characters (n taken as 8 bits) read as hexadecimal, modulo 65536. Characters are not validated:
// each contributes its computed digit. The caller guarantees n readable characters.
std::uint16_t HexToNum(const char* text, int n);

// The LRC over n character pairs: (256 - sum of the pairs' low bytes) modulo 256.
std::uint8_t CalcLrc(const char* text, int n);

// Each builder writes the frame with CR, LF and a terminator and returns its length (the count of
// characters to send).
std::size_t BuildModeQuery(FrameText& frame, std::uint16_t password, int mode);
std::size_t BuildPointQuery(FrameText& frame, std::uint16_t password, int zone);
std::size_t BuildBlockQuery(FrameText& frame, std::uint16_t password);
std::size_t BuildModeSet(FrameText& frame, std::uint16_t password, int mode, int value);
std::size_t BuildZoneSet(FrameText& frame, std::uint16_t password, int zone, int state);
// The acknowledgement of a received command code (two characters, copied as received).
std::size_t BuildAck(FrameText& frame, const char* code);

}  // namespace kesmzn::protocol
