// Bounded access to a received line: every decoder asks here before it reads a field, so a reply
// too short for what it should carry fails instead of yielding the terminator's bytes as a value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kesmzn::protocol {

// The received text up to its terminator.
inline std::string_view LineText(const char* line) { return std::string_view(line, std::strlen(line)); }

bool IsHexDigit(char c);

// HexToNum of the two characters at position, when both exist and are hexadecimal digits.
bool ReadHexPair(std::string_view line, std::size_t position, std::uint16_t& value);

// Two characters at position equal to text, without regard to case.
bool FieldEquals(std::string_view line, std::size_t position, const char* text);

// The value of a D5 status reply, which echoes the request: the two characters one position after the
// key, keyLength characters of the sent frame from position 5. False when the key is not in the reply
// or the value is not there.
bool ReadD5Value(std::string_view reply, const char* frame, std::size_t keyLength, std::uint16_t& value);

}  // namespace kesmzn::protocol
