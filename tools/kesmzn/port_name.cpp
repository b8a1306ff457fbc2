#include "port_name.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace kesmzn::tool {
namespace {

// The driver keeps a resolved path in 256 bytes, terminator included.
constexpr std::size_t kPathCapacity = 256;
constexpr unsigned kMaxComNumber = 9999;

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// COMn, COMn: and \\.\COMn in any case, n from 1 without leading zeros.
std::optional<unsigned> ComNumber(std::string_view name) {
    if (name.substr(0, 4) == "\\\\.\\") name.remove_prefix(4);
    if (name.size() < 4 || Upper(name[0]) != 'C' || Upper(name[1]) != 'O' || Upper(name[2]) != 'M') return std::nullopt;
    std::size_t at = 3;
    if (name[at] < '1' || name[at] > '9') return std::nullopt;
    unsigned value = 0;
    for (; at < name.size() && name[at] >= '0' && name[at] <= '9'; ++at) {
        value = value * 10 + static_cast<unsigned>(name[at] - '0');
        if (value > kMaxComNumber) return std::nullopt;
    }
    if (at < name.size() && name[at] == ':') ++at;
    if (at != name.size()) return std::nullopt;
    return value;
}

// Only a plain entry of the folder is looked up: ".", ".." or a name with a slash would leave it.
bool IsEntryName(std::string_view name) {
    return name.find('/') == std::string_view::npos && name != "." && name != "..";
}

std::optional<ResolvedPort> Fitting(std::string path, PortRule rule) {
    if (path.size() >= kPathCapacity) return std::nullopt;
    return ResolvedPort{std::move(path), rule};
}

}  // namespace

std::optional<ResolvedPort> ResolvePortName(std::string_view name, const char* devicesFolder) {
    // The driver reads the name as terminated text: whatever follows a NUL byte is not part of it.
    name = name.substr(0, name.find('\0'));
    if (name.empty()) return std::nullopt;
    if (name == "NUL") return ResolvedPort{"/dev/null", PortRule::kNullDevice};

    if (devicesFolder != nullptr && devicesFolder[0] != '\0' && IsEntryName(name)) {
        std::string entry = std::string(devicesFolder) + "/" + std::string(name);
        // lstat: a link that points nowhere is still the entry the user made; its open then fails.
        struct stat status {};
        if (entry.size() < kPathCapacity && lstat(entry.c_str(), &status) == 0) {
            return ResolvedPort{std::move(entry), PortRule::kDevicesEntry};
        }
    }
    if (name.front() == '/') return Fitting(std::string(name), PortRule::kAbsolutePath);
    if (const auto number = ComNumber(name)) return Fitting("/dev/ttyS" + std::to_string(*number - 1), PortRule::kComNumber);
    return Fitting("/dev/" + std::string(name), PortRule::kDevFolder);
}

std::optional<ResolvedPort> ResolvePortName(std::string_view name) {
    return ResolvePortName(name, std::getenv("KESMZN_DEVICES"));
}

std::string DeviceText(const ResolvedPort& resolved) {
    std::error_code failure;
    const std::filesystem::path canonical = std::filesystem::canonical(resolved.path, failure);
    if (!failure) return canonical.string();
    const std::filesystem::path target = std::filesystem::read_symlink(resolved.path, failure);
    if (!failure) return resolved.path + " -> " + target.string();
    return resolved.path;
}

std::string DescribeRule(PortRule rule) {
    switch (rule) {
        case PortRule::kNullDevice: return "NUL: the null device, no panel";
        case PortRule::kDevicesEntry: {
            const char* folder = std::getenv("KESMZN_DEVICES");
            return std::string("entry of KESMZN_DEVICES=") + (folder != nullptr ? folder : "");
        }
        case PortRule::kAbsolutePath: return "a path";
        case PortRule::kComNumber: return "COMn: the on-board port n-1";
        case PortRule::kDevFolder: return "a name in /dev";
    }
    return {};
}

}  // namespace kesmzn::tool
