// The races a host brings: its requests against the listener's passes on the same instance, and its
// port requests (flush, close, reopen, change) against those passes and against reads on another
// thread. Run under ThreadSanitizer as well; here the values and the end state are checked.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "panel_host.h"

namespace kesmzn::testing {
namespace {

TEST(Concurrency, ListenerPassesAgainstHostRequestsOnTwoThreads) {
    sim::PanelConfig config = DefaultPanel();
    config.eventIntervalSeconds = 0.3;
    config.maxPendingEvents = 4;
    PanelHost host(config);
    ASSERT_EQ(host.ColdStart(), 0);
    ZubSetTickMs(20);  // a pass wanted nearly all the time

    std::atomic<int> wrong{0};
    std::atomic<int> failed{0};
    // One thread reads zones and blocks; the other writes mode 3 and reads it back (only it touches
    // mode 3, so what it reads must be what it wrote).
    std::thread zones([&] {
        for (int round = 0; round < 6; ++round) {
            std::uint16_t value = 0;
            const unsigned zone = 1 + static_cast<unsigned>(round * 5) % kZones;
            if (host.ReadZone(zone, value).result != 0) ++failed;
            else if (value != StateOf(zone)) ++wrong;
            std::vector<std::uint16_t> values;
            if (host.ReadBlock(values).result != 0) ++failed;
            else
                for (unsigned z = 1; z <= kZones; ++z) wrong += values[z - 1] != StateOf(z) ? 1 : 0;
        }
    });
    std::thread modes([&] {
        for (std::uint16_t value = 1; value <= 6; ++value) {
            if (host.WriteMode(3, value).result != 0) {
                ++failed;
                continue;
            }
            std::uint16_t read = 0;
            if (host.ReadMode(3, read).result != 0) ++failed;
            else if (read != value) ++wrong;
        }
    });
    zones.join();
    modes.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(failed, 0);

    host.panel->setEventGeneration(false);
    EXPECT_TRUE(host.panel->waitFor([](const sim::Stats& s) { return s.eventsAcknowledged == s.eventsEmitted; }, 60s));
}

TEST(Concurrency, PortRequestsAgainstPassesAndReads) {
    PanelHost host;
    // The same panel under two names, so ChangePort can move the instance back and forth.
    host.host.Link("COM2", host.panel->devicePath());
    ASSERT_EQ(host.ColdStart(), 0);
    ZubSetTickMs(20);

    std::atomic<bool> moving{true};
    std::atomic<int> wrong{0};
    std::atomic<int> reads{0};
    std::thread reader([&] {
        while (moving) {
            std::uint16_t value = 0;
            const Outcome outcome = host.ReadZone(3, value);
            EXPECT_LT(outcome.took, kRequestBound);
            if (outcome.result == 0 && value != StateOf(3)) ++wrong;
            ++reads;
            // A host polls; a thread that asks again at once would always win the instance lock back.
            std::this_thread::sleep_for(10ms);
        }
    });
    for (int round = 0; round < 8; ++round) {
        host.PortRequest(KES_REQUEST_FLUSH_PORT);
        host.PortRequest(KES_REQUEST_CLOSE_PORT);
        std::this_thread::sleep_for(30ms);
        host.PortRequest(KES_REQUEST_REOPEN_PORT);
        std::this_thread::sleep_for(30ms);
        host.ChangePort(round % 2 == 0 ? "COM2" : "COM1");
        std::this_thread::sleep_for(30ms);
    }
    moving = false;
    reader.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(reads, 0);

    // Wherever the moves left it, the instance ends on a working port.
    host.PortRequest(KES_REQUEST_CLOSE_PORT);
    ASSERT_EQ(host.ChangePort("COM1"), 0);
    EXPECT_TRUE(host.ReadsAreRight());
}

}  // namespace
}  // namespace kesmzn::testing
