#include "port_options.h"

#include <array>
#include <cctype>
#include <string_view>

namespace kesmzn::tool {
namespace {

constexpr std::array<std::string_view, 5> kParityNames = {"none", "odd", "even", "mark", "space"};
constexpr std::array<std::string_view, 3> kStopBitNames = {"1", "1.5", "2"};

template <std::size_t N>
std::uint16_t CodeOf(const std::array<std::string_view, N>& names, std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (std::size_t code = 0; code < N; ++code) {
        if (names[code] == text) return static_cast<std::uint16_t>(code);
    }
    return 0;
}

}  // namespace

void AddPortOptions(CLI::App& command, PortOptions& options) {
    command.add_option("--port", options.portName,
                       "the port as a host names it: COM1, ttyUSB0, /dev/ttyS0, NUL, or a name in the folder "
                       "KESMZN_DEVICES (at most 11 characters); without it a simulated panel runs in-process")
        ->type_name("NAME");
    command.add_option("--baud", options.baud, "line speed (default: the driver's, 4800)")->check(CLI::Range(1u, 65535u));
    command.add_option("--data-bits", options.dataBits, "data bits, 5 to 8 (default 8)")->check(CLI::Range(5u, 8u));
    command.add_option("--parity", options.parity, "none, odd, even, mark or space (default none)")
        ->check(CLI::IsMember({"none", "odd", "even", "mark", "space"}, CLI::ignore_case));
    command.add_option("--stop-bits", options.stopBits, "1, 1.5 or 2 (default 1)")->check(CLI::IsMember({"1", "1.5", "2"}));
    command.add_option("--timeout", options.timeoutMs, "the port's normal read time-out in milliseconds")
        ->check(CLI::Range(10u, 600000u))
        ->capture_default_str()
        ->type_name("MS");
    command.add_option("--station", options.station,
                       "station number, 0 to 99: selects KESMZNnn.int (password, CRC) in the current folder")
        ->check(CLI::Range(0, 99))
        ->capture_default_str();
    command.add_flag("--trace", options.trace, "copy the driver's log with the exchange trace to standard error");
    command.add_option("--log", options.logFile, "append the driver's log to FILE")->type_name("FILE");
}

LineSettings SettingsFrom(const PortOptions& options, const DriverInfoData& defaults) {
    LineSettings settings;
    settings.baud = static_cast<std::uint16_t>(options.baud.value_or(defaults.baud));
    settings.dataBits = static_cast<std::uint16_t>(options.dataBits.value_or(defaults.dataBits));
    settings.parity = options.parity.empty() ? defaults.parity : CodeOf(kParityNames, options.parity);
    settings.stopBits = options.stopBits.empty() ? defaults.stopBits : CodeOf(kStopBitNames, options.stopBits);
    settings.timeoutUnits = static_cast<std::int32_t>((options.timeoutMs + 9) / 10);
    return settings;
}

}  // namespace kesmzn::tool
