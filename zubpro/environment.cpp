#include "environment.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace zubpro {

void Note(const char* text) {
    std::string line = "zubpro: ";
    line += text;
    line += '\n';
    const char* cursor = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t written = write(STDERR_FILENO, cursor, left);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        cursor += written;
        left -= static_cast<std::size_t>(written);
    }
}

std::optional<std::uint32_t> EnvironmentNumber(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return std::nullopt;
    errno = 0;
    char* end = nullptr;
    // strtoul would quietly accept "-1" as a huge value: a sign is refused up front.
    const unsigned long value = (*text == '-' || *text == '+') ? 0 : std::strtoul(text, &end, 0);
    if (end == nullptr || end == text || *end != '\0' || errno != 0 || value > UINT32_MAX) {
        Note((std::string("ignoring ") + name + "=" + text + ": not a number from 0 to 4294967295").c_str());
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace zubpro
