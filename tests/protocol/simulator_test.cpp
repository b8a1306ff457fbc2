// The exchanges against the simulated panel, whose frame codec shares nothing with the driver's: both
// reply shapes, the writes as the panel's state sees them, and the panel's faults.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "kesmzn_sim/panel.h"
#include "protocol/block_query.h"
#include "protocol/exchange.h"
#include "support/log_capture.h"
#include "support/open_instance.h"

namespace kesmzn::protocol {
namespace {

using namespace std::chrono_literals;

struct Shape {
    const char* name;
    bool d5;
};

std::string ShapeName(const ::testing::TestParamInfo<Shape>& shape) { return shape.param.name; }

class SimulatorTest : public ::testing::TestWithParam<Shape> {
protected:
    std::unique_ptr<sim::Panel> panel;
    std::unique_ptr<testing::OpenInstance> port;

    void SetUp() override {
        sim::PanelConfig config;
        config.zones = 16;
        config.password = 1234;
        config.d5 = GetParam().d5;
        for (unsigned z = 1; z <= 16; ++z) config.zoneStates.push_back(static_cast<std::uint8_t>(z % 2 + 1));
        config.modes[5] = 0x2A;
        panel = sim::startOnPty(config);
        port = std::make_unique<testing::OpenInstance>(panel->devicePath());
        ASSERT_EQ(port->openResult, 0);
    }
    void TearDown() override {
        port.reset();
        panel->stop();
    }
    host::InstanceData& instance() { return port->instance; }

    int ReadBlock(std::uint16_t* values, int blockSize) {
        TagIoData tag{};
        tag.blockSize = blockSize;
        tag.values = values;
        RequestBlock request = port->Request(KES_REQUEST_BLOCK_READ, &tag);
        return GetBlock(&request, values);
    }
};

TEST_P(SimulatorTest, ReadsWhatThePanelHolds) {
    std::uint16_t value = 0;
    EXPECT_EQ(GetMode(instance(), 5, &value), 0);
    EXPECT_EQ(value, 0x2A);
    EXPECT_EQ(GetPoint(instance(), 7, &value), 0);
    EXPECT_EQ(value, 2);
    std::uint16_t values[17] = {};
    EXPECT_EQ(ReadBlock(values, 16), 0);
    for (unsigned z = 1; z <= 16; ++z) EXPECT_EQ(values[z - 1], z % 2 + 1) << "zone " << z;
}

TEST_P(SimulatorTest, WritesChangeThePanel) {
    EXPECT_EQ(SetMode(instance(), 5, 3), 0);
    EXPECT_EQ(panel->mode(5), 3);
    EXPECT_EQ(SetZone(instance(), 12, 1), 0);
    EXPECT_EQ(panel->zoneState(12), 1);
    std::uint16_t value = 0;
    EXPECT_EQ(GetPoint(instance(), 12, &value), 0);
    EXPECT_EQ(value, 1);
}

INSTANTIATE_TEST_SUITE_P(ReplyShapes, SimulatorTest, ::testing::Values(Shape{"plain", false}, Shape{"d5", true}),
                         ShapeName);

class SimulatorFaultTest : public SimulatorTest {};

TEST_P(SimulatorFaultTest, FaultsFailTheAttemptAndTheNextOneSucceeds) {
    struct Case {
        sim::Fault fault;
        const char* name;
    } cases[] = {
        {sim::Fault::BadLrc, "bad LRC"},
        {sim::Fault::DropAck, "dropped acknowledgement"},
        {sim::Fault::Silent, "silence"},
    };
    for (const auto& c : cases) {
        // A D5 status reply is found by its echoed key; its LRC is not part of the decoding.
        if (GetParam().d5 && c.fault == sim::Fault::BadLrc) continue;
        panel->setFault(c.fault, {0.0, 1});
        std::uint16_t value = 0;
        EXPECT_EQ(GetPoint(instance(), 7, &value), 1) << c.name;
        EXPECT_EQ(GetPoint(instance(), 7, &value), 0) << c.name;
        EXPECT_EQ(value, 2) << c.name;
    }
}

TEST_P(SimulatorFaultTest, AnEventBeforeTheAcknowledgementIsAcknowledgedAndTheReadCompletes) {
    panel->setFault(sim::Fault::UnsolicitedBeforeAck, {0.0, 1});
    std::uint16_t value = 0;
    EXPECT_EQ(GetMode(instance(), 5, &value), 0);
    EXPECT_EQ(value, 0x2A);
    EXPECT_TRUE(panel->waitFor([](const sim::Stats& s) { return s.eventsAcknowledged == 1; }, 2s));
}

TEST_P(SimulatorFaultTest, AWrongPasswordIsNotAnswered) {
    instance().password = 4321;
    std::uint16_t value = 0;
    testing::LogCapture log;
    EXPECT_EQ(GetMode(instance(), 5, &value), 1);
    EXPECT_EQ(panel->stats().rejectedPassword, 1u);
}

INSTANTIATE_TEST_SUITE_P(ReplyShapes, SimulatorFaultTest, ::testing::Values(Shape{"plain", false}, Shape{"d5", true}),
                         ShapeName);

}  // namespace
}  // namespace kesmzn::protocol
