// Nothing lost: the panel makes events quickly while the host reads without pause and the listener
// runs its passes; the panel sends each event again until it is acknowledged, so in the end every
// event it emitted must have been acknowledged, whether by a pass or inside an exchange.
#include <gtest/gtest.h>

#include <iostream>
#include <vector>

#include "panel_host.h"

namespace kesmzn::testing {
namespace {

TEST(Events, EveryEventEmittedWhileTheHostReadsIsAcknowledged) {
    sim::PanelConfig config = DefaultPanel();
    // An event every 300 ms, repeated every 150 ms while unacknowledged: gaps longer than the 100 ms
    // that end a listener pass, so passes end; up to 17 events wait at once.
    config.eventIntervalSeconds = 0.3;
    config.maxPendingEvents = 17;
    config.unrecognisedEvery = 7;
    PanelHost host(config);
    ASSERT_EQ(host.ColdStart(), 0);
    ZubSetTickMs(200);

    int reads = 0;
    int failed = 0;
    int wrong = 0;
    const auto until = Clock::now() + 10s;
    while (Clock::now() < until) {
        std::uint16_t value = 0;
        std::vector<std::uint16_t> values;
        const unsigned zone = 1 + static_cast<unsigned>(reads) % kZones;
        const bool block = reads % 3 == 2;
        const Outcome outcome = block ? host.ReadBlock(values) : host.ReadZone(zone, value);
        ++reads;
        if (outcome.result != 0) {
            ++failed;
        } else if (block) {
            for (unsigned z = 1; z <= kZones; ++z) wrong += values[z - 1] != StateOf(z) ? 1 : 0;
        } else {
            wrong += value != StateOf(zone) ? 1 : 0;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(failed, 0);

    host.panel->setEventGeneration(false);
    const bool allAcknowledged = host.panel->waitFor(
        [](const sim::Stats& s) { return s.eventsAcknowledged == s.eventsEmitted; }, 60s);
    const auto stats = host.panel->stats();
    std::cout << "[reliability] events: emitted " << stats.eventsEmitted << ", acknowledged " << stats.eventsAcknowledged
              << ", sent again " << stats.eventRepeats << ", unrecognised lines " << stats.unrecognisedEmitted
              << "; host reads " << reads << ", failed " << failed << "\n";
    ::testing::Test::RecordProperty("eventsEmitted", static_cast<int>(stats.eventsEmitted));
    ::testing::Test::RecordProperty("eventsAcknowledged", static_cast<int>(stats.eventsAcknowledged));
    EXPECT_GT(stats.eventsEmitted, 20u);
    EXPECT_TRUE(allAcknowledged) << stats.eventsAcknowledged << " of " << stats.eventsEmitted << " acknowledged";
}

}  // namespace
}  // namespace kesmzn::testing
