// A host with one instance on a simulated panel reached by a port name: the requests a host makes,
// each timed, and ways to pull the panel out and bring it back (a new panel on a new pseudo-terminal
// behind the same or another port name).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kesmzn.h"
#include "kesmzn_sim/panel.h"
#include "support/host_fixture.h"
#include "zubpro.h"

namespace kesmzn::testing {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Ten attempts of at most a few hundred milliseconds each, with room for a slow shared machine and
// for sanitizers: a request that takes longer than this hangs.
inline constexpr auto kRequestBound = 60s;

inline constexpr unsigned kZones = 16;
inline constexpr std::uint16_t kPassword = 1234;

// Zone states 1 and 2 in a pattern, so that a value taken from the wrong zone shows.
inline std::uint8_t StateOf(unsigned zone) { return static_cast<std::uint8_t>(zone % 3 == 0 ? 2 : 1); }

inline sim::PanelConfig DefaultPanel() {
    sim::PanelConfig config;
    config.zones = kZones;
    config.password = kPassword;
    for (unsigned zone = 1; zone <= kZones; ++zone) config.zoneStates.push_back(StateOf(zone));
    config.modes[3] = 0x21;
    return config;
}

struct Outcome {
    int result = -1;
    Clock::duration took{};
};

class PanelHost {
public:
    explicit PanelHost(sim::PanelConfig config = DefaultPanel(), int station = 31, std::uint16_t password = kPassword)
        : config_(std::move(config)) {
        host.WriteInitFile(station, "PASSWORD=" + std::to_string(password) + "\nCRC=ON\n");
        panel = StartPanel("COM1");
        instance = &host.NewInstance(station);
    }
    ~PanelHost() {
        HostFixture::StopListener(*instance);
        if (panel) panel->stop();
    }

    // A new panel on its own pseudo-terminal, linked under the port name (an earlier link is replaced).
    std::unique_ptr<sim::Panel> StartPanel(const std::string& portName) {
        return sim::startOnPty(config_, (host.folder() / "devices" / portName).string());
    }

    int ColdStart(const char* portName = "COM1") { return host.ColdStart(*instance, portName); }

    Outcome ReadZone(unsigned zone, std::uint16_t& value) {
        std::uint16_t values[2] = {0, 0xBEEF};
        const Outcome outcome = Tag(KES_REQUEST_SINGLE_READ, 2, zone, 0, values);
        value = values[1];
        return outcome;
    }
    Outcome ReadMode(unsigned mode, std::uint16_t& value) {
        std::uint16_t values[2] = {0, 0xBEEF};
        const Outcome outcome = Tag(KES_REQUEST_SINGLE_READ, 1, mode, 0, values);
        value = values[1];
        return outcome;
    }
    Outcome ReadBlock(std::vector<std::uint16_t>& values) {
        values.assign(kZones, 0xBEEF);
        return Tag(KES_REQUEST_BLOCK_READ, 2, 1, static_cast<std::int32_t>(kZones), values.data());
    }
    Outcome WriteZone(unsigned zone, std::uint16_t state) {
        std::uint16_t values[2] = {0, state};
        return Tag(KES_REQUEST_SINGLE_WRITE, 2, zone, 0, values);
    }
    Outcome WriteMode(unsigned mode, std::uint16_t value) {
        std::uint16_t values[2] = {0, value};
        return Tag(KES_REQUEST_SINGLE_WRITE, 1, mode, 0, values);
    }

    // Port requests without data (flush, close, reopen), and ChangePort to a name with speed kept.
    int PortRequest(std::uint32_t code) { return host.Request(*instance, code, nullptr); }
    int ChangePort(const char* portName) {
        ChangePortData data{};
        std::strncpy(data.name, portName, sizeof data.name - 1);
        return host.Request(*instance, KES_REQUEST_CHANGE_PORT, &data);
    }

    // One listener pass, as a host message triggers it.
    void WakeListener() {
        std::uint8_t id = 0;
        if (ZubFindClient(HostFixture::ClientName(instance->station).c_str(), &id) == 0) ZubPostMsg(id);
    }

    // A zone read that succeeds with the panel's value, and the block as the panel holds it: the
    // instance is fully working.
    ::testing::AssertionResult ReadsAreRight() {
        std::uint16_t value = 0;
        const Outcome zone = ReadZone(3, value);
        if (zone.result != 0) return ::testing::AssertionFailure() << "zone read failed with " << zone.result;
        if (value != StateOf(3)) return ::testing::AssertionFailure() << "zone 3 read as " << value;
        std::vector<std::uint16_t> values;
        const Outcome block = ReadBlock(values);
        if (block.result != 0) return ::testing::AssertionFailure() << "block read failed with " << block.result;
        for (unsigned z = 1; z <= kZones; ++z)
            if (values[z - 1] != StateOf(z)) return ::testing::AssertionFailure() << "zone " << z << " in the block read as " << values[z - 1];
        return ::testing::AssertionSuccess();
    }

    HostFixture host;
    std::unique_ptr<sim::Panel> panel;
    HostFixture::Instance* instance = nullptr;

private:
    Outcome Tag(std::uint32_t code, std::int32_t kind, unsigned number, std::int32_t blockSize, std::uint16_t* values) {
        TagIoData tag{};
        tag.name = "reliability";
        tag.kind = kind;
        tag.number = static_cast<std::uint16_t>(number);
        tag.blockSize = blockSize;
        tag.values = values;
        const auto start = Clock::now();
        Outcome outcome;
        outcome.result = host.Request(*instance, code, &tag);
        outcome.took = Clock::now() - start;
        return outcome;
    }

    sim::PanelConfig config_;
};

inline long long Milliseconds(Clock::duration duration) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

}  // namespace kesmzn::testing
