#include "link_keeper.h"

#include <algorithm>
#include <cstdio>

#include "device_check.h"
#include "port_name.h"

namespace kesmzn::tool {
namespace {

std::string Seconds(std::chrono::milliseconds span) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(span.count()) / 1000.0);
    return text;
}

// A few words on why the device cannot be opened now.
std::string LossCause(const Connection& connection) {
    const auto resolved = ResolvePortName(connection.portName);
    if (!resolved) return "the name resolves to no device";
    for (const Finding& finding : InspectDevice(connection.portName, *resolved, connection.settings)) {
        if (finding.verdict == Verdict::kFailure) return finding.cause + ": " + finding.text;
    }
    return "the driver cannot open it";
}

}  // namespace

std::optional<std::string> AfterFailure(Connection& connection, LinkKeeper& keeper) {
    if (keeper.lost) return std::nullopt;
    ClosePort(connection.instance);
    if (ReopenPort(connection.instance) == KES_OK) return std::nullopt;
    keeper.lost = true;
    keeper.attempts = 0;
    keeper.pause = kFirstReopenPause;
    keeper.lostAt = SteadyClock::now();
    keeper.nextTry = keeper.lostAt + keeper.pause;
    // With the port gone every listener pass would only log that it cannot drive RTS.
    SetListenerTick(0);
    return "port " + PortLabel(connection) + " lost: " + LossCause(connection) + "; reopening it in " + Seconds(keeper.pause) +
           ", then with a growing pause";
}

std::optional<std::string> TryReopen(Connection& connection, LinkKeeper& keeper, SteadyClock::time_point now) {
    if (!keeper.lost || now < keeper.nextTry) return std::nullopt;
    ++keeper.attempts;
    if (ReopenPort(connection.instance) == KES_OK) {
        keeper.lost = false;
        SetListenerTick(DefaultListenerTick());
        const auto away = std::chrono::duration_cast<std::chrono::milliseconds>(now - keeper.lostAt);
        return "port " + PortLabel(connection) + " back after " + std::to_string(keeper.attempts) +
               (keeper.attempts == 1 ? " attempt (" : " attempts (") + Seconds(away) + ")";
    }
    keeper.pause = std::min(keeper.pause * 2, kLongestReopenPause);
    keeper.nextTry = now + keeper.pause;
    return std::nullopt;
}

}  // namespace kesmzn::tool
