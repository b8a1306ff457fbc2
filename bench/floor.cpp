#include "floor.h"

#include <algorithm>

namespace kesmzn::bench {

namespace {

struct Pauses {
    double beforeSend;
    double afterSend;
};

// The pauses of each exchange, as the protocol fixes them (the reply always follows 50 ms after the
// acknowledgement).
Pauses PausesOf(Exchange exchange) {
    switch (exchange) {
    case Exchange::ZoneRead: return {0, 100};
    case Exchange::ModeRead:
    case Exchange::ModeWrite:
    case Exchange::ZoneWrite:
    case Exchange::BlockRead: return {100, 50};
    case Exchange::ListenerPass: break;
    }
    return {0, 0};
}

constexpr double kPauseBeforeReplyMs = 50;

}  // namespace

const char* ExchangeName(Exchange exchange, unsigned zones) {
    switch (exchange) {
    case Exchange::ModeRead: return "mode read";
    case Exchange::ZoneRead: return "zone read";
    case Exchange::ModeWrite: return "mode write";
    case Exchange::ZoneWrite: return "zone write";
    case Exchange::BlockRead: return zones > 16 ? "block read 255" : "block read 16";
    case Exchange::ListenerPass: return "listener pass, 2 events";
    }
    return "?";
}

double ExchangeFloorMs(Exchange exchange, unsigned baud, std::size_t ackBytes, std::size_t replyBytes) {
    if (exchange == Exchange::ListenerPass) return kListenerPassFloorMs;
    const double byteMs = baud == 0 ? 0.0 : 10.0 * 1000.0 / static_cast<double>(baud);  // 0: unpaced
    const Pauses pauses = PausesOf(exchange);
    const double ackDone = std::max(pauses.afterSend, static_cast<double>(ackBytes) * byteMs);
    const double replyDone = std::max(ackDone + kPauseBeforeReplyMs, static_cast<double>(ackBytes + replyBytes) * byteMs);
    return pauses.beforeSend + replyDone;
}

}  // namespace kesmzn::bench
