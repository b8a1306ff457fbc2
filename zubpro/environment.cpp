#include "environment.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "output.h"

namespace zubpro {

void Note(const char* text) {
    std::string line = "zubpro: ";
    line += text;
    line += '\n';
    WriteWhole(kStandardError, line.data(), line.size());
}

std::optional<std::uint32_t> EnvironmentNumber(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return std::nullopt;
    // Decimal, or hexadecimal after 0x; never octal, so that 0104 means 104. strtoul would also quietly
    // accept a sign ("-1" as a huge value) or blanks: only digits pass.
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = hex ? text + 2 : text;
    errno = 0;
    char* end = nullptr;
    const unsigned long value = std::isxdigit(static_cast<unsigned char>(*digits)) ? std::strtoul(digits, &end, hex ? 16 : 10) : 0;
    if (end == nullptr || end == digits || *end != '\0' || errno != 0 || value > UINT32_MAX) {
        Note((std::string("ignoring ") + name + "=" + text + ": not a number from 0 to 4294967295").c_str());
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace zubpro
