#include "options.h"

#include <charconv>
#include <string>

namespace kesmzn::sim {

namespace {

template <typename T>
std::optional<T> number(std::string_view text) {
    T value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

}  // namespace

std::optional<FaultRate> parseFaultRate(std::string_view text) {
    FaultRate rate;
    if (!text.empty() && text.front() == 'n') {
        const auto count = number<unsigned>(text.substr(1));
        if (!count) return std::nullopt;
        rate.nextCommands = *count;
        return rate;
    }
    const auto probability = number<double>(text);
    if (!probability || !(*probability >= 0.0 && *probability <= 1.0)) return std::nullopt;
    rate.probability = *probability;
    return rate;
}

std::optional<std::array<std::uint8_t, kModeCount + 1>> parseModes(std::string_view text) {
    std::array<std::uint8_t, kModeCount + 1> modes{};
    unsigned mode = 1;
    while (true) {
        const std::size_t comma = text.find(',');
        const auto value = number<unsigned>(text.substr(0, comma));
        if (!value || *value > 255 || mode > kModeCount) return std::nullopt;
        modes[mode++] = static_cast<std::uint8_t>(*value);
        if (comma == std::string_view::npos) return modes;
        text.remove_prefix(comma + 1);
    }
}

}  // namespace kesmzn::sim
