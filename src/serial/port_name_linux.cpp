// Port names on Linux. Hosts give Windows names (COM1, NUL); a folder of links named by KESMZN_DEVICES
// maps them to devices the way Wine's dosdevices folder does, and plain COMn falls back to the
// matching on-board port.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "serial/port_name.h"

namespace kesmzn::serial {
namespace {

constexpr unsigned kMaxComNumber = 9999;

bool Copy(const char* text, char* path, std::size_t size) {
    const std::size_t length = std::strlen(text);
    if (length >= size) return false;
    std::memcpy(path, text, length + 1);
    return true;
}

bool Join(const char* folder, const char* separator, const char* name, char* path, std::size_t size) {
    const int length = std::snprintf(path, size, "%s%s%s", folder, separator, name);
    return length >= 0 && static_cast<std::size_t>(length) < size;
}

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// COMn, COMn: and \\.\COMn in any case, n from 1 without leading zeros.
bool ParseComNumber(const char* name, unsigned* number) {
    if (std::strncmp(name, "\\\\.\\", 4) == 0) name += 4;
    if (Upper(name[0]) != 'C' || Upper(name[1]) != 'O' || Upper(name[2]) != 'M') return false;
    const char* digit = name + 3;
    if (*digit < '1' || *digit > '9') return false;
    unsigned value = 0;
    for (; *digit >= '0' && *digit <= '9'; ++digit) {
        value = value * 10 + static_cast<unsigned>(*digit - '0');
        if (value > kMaxComNumber) return false;
    }
    if (*digit == ':') ++digit;
    if (*digit != '\0') return false;
    *number = value;
    return true;
}

// Only a plain entry of the folder may be looked up: "..", "." or a name with a slash would leave it.
bool IsEntryName(const char* name) {
    return std::strchr(name, '/') == nullptr && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

}  // namespace

bool ResolvePortName(const char* name, char* path, std::size_t size) {
    if (name == nullptr || path == nullptr || size == 0 || name[0] == '\0') return false;
    if (std::strcmp(name, "NUL") == 0) return Copy("/dev/null", path, size);

    const char* folder = std::getenv("KESMZN_DEVICES");
    if (folder != nullptr && folder[0] != '\0' && IsEntryName(name) && Join(folder, "/", name, path, size)) {
        // lstat: a link that points nowhere is still the entry the user made; its open then fails.
        struct stat entry {};
        if (lstat(path, &entry) == 0) return true;
    }

    if (name[0] == '/') return Copy(name, path, size);
    unsigned number = 0;
    if (ParseComNumber(name, &number)) {
        const int length = std::snprintf(path, size, "/dev/ttyS%u", number - 1);
        return length >= 0 && static_cast<std::size_t>(length) < size;
    }
    return Join("/dev", "/", name, path, size);
}

}  // namespace kesmzn::serial
