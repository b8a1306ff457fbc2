// How a host port name becomes a device path, by the same rules and in the same order as the driver,
// so that messages, `ports` and `doctor` name the device the driver will open.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kesmzn::tool {

// A host's port name field holds 11 characters and a terminator.
inline constexpr std::size_t kMaxPortNameLength = 11;

enum class PortRule {
    kNullDevice,    // NUL
    kDevicesEntry,  // an entry of the KESMZN_DEVICES folder
    kAbsolutePath,  // a name beginning with "/"
    kComNumber,     // COMn, COMn:, \\.\COMn -> /dev/ttyS(n-1)
    kDevFolder,     // any other name: /dev/NAME
};

struct ResolvedPort {
    std::string path;
    PortRule rule = PortRule::kDevFolder;
};

// The device the driver opens for name, with devicesFolder standing for KESMZN_DEVICES (null or empty:
// unset). Nothing when the name is empty or the path would not fit the driver's room for it.
std::optional<ResolvedPort> ResolvePortName(std::string_view name, const char* devicesFolder);

// The same, with KESMZN_DEVICES from the environment.
std::optional<ResolvedPort> ResolvePortName(std::string_view name);

// The device for messages: a link of KESMZN_DEVICES (or any path) shown as the device it leads to, or
// as "link -> target" when that does not exist.
std::string DeviceText(const ResolvedPort& resolved);

// Which rule applied, in words: "entry of KESMZN_DEVICES=/x", "COMn: the on-board port", ...
std::string DescribeRule(PortRule rule);

}  // namespace kesmzn::tool
