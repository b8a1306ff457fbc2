// Many instances in one process, as a host runs them: eight simulated panels, each on its own
// pseudo-terminal and port name, read from several host threads at once while the listeners run and
// the panels send events. Every value must be right and every event acknowledged, without deadlock.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kesmzn_sim/panel.h"
#include "support/host_fixture.h"

namespace {

using namespace std::chrono_literals;

constexpr int kPanels = 8;
constexpr unsigned kZones = 16;
constexpr int kHostThreads = 4;
constexpr int kRoundsPerThread = 4;

std::uint8_t StateOf(int panel, unsigned zone) { return static_cast<std::uint8_t>((static_cast<unsigned>(panel) + zone) % 2 + 1); }

TEST(ManyInstances, ConcurrentReadsListenersAndEvents) {
    kesmzn::testing::HostFixture host;
    // A pass holds the instance lock for at least its 100 ms of quiet: ticks well apart from that leave
    // the host threads their turn.
    ZubSetTickMs(400);

    std::vector<std::unique_ptr<kesmzn::sim::Panel>> panels;
    std::vector<kesmzn::testing::HostFixture::Instance*> instances;
    for (int p = 0; p < kPanels; ++p) {
        kesmzn::sim::PanelConfig config;
        config.zones = kZones;
        config.password = 1200 + p;
        config.eventIntervalSeconds = 1.0;
        config.unrecognisedEvery = 3;
        config.seed = static_cast<std::uint64_t>(p + 1);
        for (unsigned z = 1; z <= kZones; ++z) config.zoneStates.push_back(StateOf(p, z));
        panels.push_back(kesmzn::sim::startOnPty(config));
        const std::string port = "COM" + std::to_string(p + 1);
        host.Link(port, panels.back()->devicePath());
        const int station = 20 + p;
        host.WriteInitFile(station, "PASSWORD=" + std::to_string(1200 + p) + "\nCRC=ON\n");
        auto& instance = host.NewInstance(station);
        ASSERT_EQ(host.ColdStart(instance, port.c_str()), 0) << port;
        instances.push_back(&instance);
    }

    std::atomic<int> wrongValues{0};
    std::atomic<int> failedReads{0};
    std::atomic<int> reads{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kHostThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRoundsPerThread; ++round) {
                for (int p = 0; p < kPanels; ++p) {
                    const int panel = (p + t) % kPanels;
                    std::uint16_t values[kZones + 1] = {};
                    TagIoData tag{};
                    tag.name = "tag";
                    tag.values = values;
                    tag.kind = 2;
                    if ((round + t) % 2 == 0) {
                        const auto zone = 1 + static_cast<unsigned>(round * 5 + t) % kZones;
                        tag.number = static_cast<std::uint16_t>(zone);
                        if (host.Request(*instances[static_cast<std::size_t>(panel)], KES_REQUEST_SINGLE_READ, &tag) != 0) {
                            ++failedReads;
                        } else if (values[1] != StateOf(panel, zone)) {
                            ++wrongValues;
                        }
                    } else {
                        tag.number = 1;
                        tag.blockSize = kZones;
                        if (host.Request(*instances[static_cast<std::size_t>(panel)], KES_REQUEST_BLOCK_READ, &tag) != 0) {
                            ++failedReads;
                        } else {
                            for (unsigned z = 1; z <= kZones; ++z)
                                if (values[z - 1] != StateOf(panel, z)) ++wrongValues;
                        }
                    }
                    ++reads;
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(reads, kHostThreads * kRoundsPerThread * kPanels);
    EXPECT_EQ(wrongValues, 0);
    EXPECT_EQ(failedReads, 0);

    // No new events; the panels repeat the pending ones until the listeners have acknowledged them all.
    for (auto& panel : panels) panel->setEventGeneration(false);
    for (int p = 0; p < kPanels; ++p) {
        auto& panel = *panels[static_cast<std::size_t>(p)];
        const bool allAcknowledged = panel.waitFor(
            [](const kesmzn::sim::Stats& s) { return s.eventsEmitted > 0 && s.eventsAcknowledged == s.eventsEmitted; }, 30s);
        const auto stats = panel.stats();
        EXPECT_TRUE(allAcknowledged) << "panel " << p << ": " << stats.eventsAcknowledged << " of " << stats.eventsEmitted
                                     << " events acknowledged";
    }
    for (auto* instance : instances) EXPECT_TRUE(kesmzn::testing::HostFixture::StopListener(*instance));
    for (auto& panel : panels) panel->stop();
}

}  // namespace
