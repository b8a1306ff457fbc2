// Port names on Windows: the host's names are the system's own device names (COM1, NUL), used as they
// stand. Only COM10 and above need the device namespace prefix: the system resolves the bare names
// COM1 to COM9 alone.
#include <cstring>

#include "serial/port_name.h"

namespace kesmzn::serial {
namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// COMn in any case with n above 9, written without leading zeros.
bool IsHighComName(const char* name) {
    if (Upper(name[0]) != 'C' || Upper(name[1]) != 'O' || Upper(name[2]) != 'M') return false;
    const char* digit = name + 3;
    if (*digit < '1' || *digit > '9') return false;
    std::size_t digits = 0;
    for (; *digit >= '0' && *digit <= '9'; ++digit) ++digits;
    return *digit == '\0' && digits >= 2;
}

}  // namespace

bool ResolvePortName(const char* name, char* path, std::size_t size) {
    if (name == nullptr || path == nullptr || size == 0 || name[0] == '\0') return false;
    const std::size_t length = std::strlen(name);
    const std::size_t prefix = IsHighComName(name) ? sizeof kDevicePrefix - 1 : 0;
    if (prefix + length >= size) return false;
    std::memcpy(path, kDevicePrefix, prefix);
    std::memcpy(path + prefix, name, length + 1);
    return true;
}

}  // namespace kesmzn::serial
