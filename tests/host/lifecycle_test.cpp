// The lifecycle requests as a host makes them: ColdStart, the port requests, and what each leaves
// behind, against scripted panels reached by port names through KESMZN_DEVICES.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "host/instance.h"
#include "support/host_fixture.h"
#include "support/log_capture.h"
#include "support/panel_text.h"
#include "support/scripted_panel.h"

namespace {

using kesmzn::testing::AckLine;
using kesmzn::testing::LrcOf;
using Instance = kesmzn::testing::HostFixture::Instance;

constexpr const char* kPointQuery7 = ":06091234660070DB\r\n";  // zone 7, password 1234

std::string PointReply(const std::string& state) {
    const std::string data = "0912346600" "70" + state + "00";
    return ":08" + data + LrcOf(data) + "\r\n";
}

kesmzn::host::InstanceData& Data(Instance& instance) {
    return *reinterpret_cast<kesmzn::host::InstanceData*>(instance.block);
}

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class LifecycleTest : public ::testing::Test {
protected:
    kesmzn::testing::HostFixture host;
    kesmzn::testing::ScriptedPanel panel;
    kesmzn::testing::LogCapture log;
    std::uint16_t values[4] = {};
    TagIoData zone7{};

    void SetUp() override {
        host.WriteInitFile(3, "PASSWORD=1234\n");
        host.Link("COM7", panel.path());
        zone7.name = "zone7";
        zone7.kind = 2;
        zone7.number = 7;
        zone7.values = values;
    }

    // One zone read that the panel answers with the given state.
    int ReadAnswered(Instance& instance, const std::string& state) {
        panel.On(kPointQuery7, {AckLine(0xDB), PointReply(state)});
        return host.Request(instance, KES_REQUEST_SINGLE_READ, &zone7);
    }
};

TEST_F(LifecycleTest, ColdStartBringsTheInstanceUp) {
    Instance& instance = host.NewInstance(3);
    EXPECT_EQ(host.ColdStart(instance, "COM7", 1, 150), 0);
    auto& data = Data(instance);
    EXPECT_TRUE(kesmzn::serial::HasPort(data.port));
    EXPECT_STREQ(data.portConfig.name, "COM7");
    EXPECT_EQ(data.portConfig.controlFlags, 0x0202);
    EXPECT_EQ(data.portConfig.params.baud, 4800);
    EXPECT_EQ(data.timeout, 150);
    EXPECT_EQ(data.password, 1234) << "read from KESMZN03.int";
    std::uint8_t id = 0;
    EXPECT_EQ(ZubFindClient("KesMZN No_03", &id), 0);
    EXPECT_EQ(data.clientId, id);
    EXPECT_EQ(ReadAnswered(instance, "02"), 0);
    EXPECT_EQ(values[1], 2);
}

TEST_F(LifecycleTest, ColdStartDisabledRegistersTheClientOnly) {
    Instance& instance = host.NewInstance(3);
    EXPECT_EQ(host.ColdStart(instance, "COM7", 0), 0);
    std::uint8_t id = 0;
    EXPECT_EQ(ZubFindClient("KesMZN No_03", &id), 0);
    EXPECT_FALSE(kesmzn::serial::HasPort(Data(instance).port));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto texts = log.Texts();
    EXPECT_FALSE(Contains(texts, "KesMZN : PassWord is 1234")) << "no initialization file is read";
    EXPECT_FALSE(Contains(texts, "KesMZN : Start Unsoliceted Thread")) << "no listener is started";
    EXPECT_EQ(host.Request(instance, KES_REQUEST_SINGLE_READ, &zone7), 1);
    EXPECT_TRUE(panel.Received().empty());
}

TEST_F(LifecycleTest, APortThatCannotBeOpenedIsNamedInTheMessage) {
    Instance& instance = host.NewInstance(4);
    EXPECT_EQ(host.ColdStart(instance, "COM99"), 2);
    EXPECT_TRUE(Contains(log.Texts(), "KesMZN - MINTZ : Fail to open COM99"));
    std::uint8_t id = 0;
    EXPECT_EQ(ZubFindClient("KesMZN No_04", &id), 0) << "the client stays registered";
}

TEST_F(LifecycleTest, ARefusedClientFailsTheColdStart) {
    std::uint8_t taken = 0;
    ASSERT_EQ(ZubMkClient("KesMZN No_05", 1, 0, &taken), 0);
    Instance& instance = host.NewInstance(5);
    EXPECT_EQ(host.ColdStart(instance, "COM7"), 1);
    EXPECT_FALSE(kesmzn::serial::HasPort(Data(instance).port));
    ZubRmClient(taken);
}

TEST_F(LifecycleTest, PortNamesLongerThanTheFieldAreRefused) {
    Instance& instance = host.NewInstance(6);
    ColdStartData data{};
    std::memcpy(data.name, "COM123456789", 12);  // twelve characters, no terminator
    data.enabled = 1;
    data.timeout = 100;
    data.baud = 4800;
    data.dataBits = 8;
    EXPECT_EQ(host.Request(instance, KES_REQUEST_COLD_START, &data), 2);

    Instance& running = host.NewInstance(3);
    ASSERT_EQ(host.ColdStart(running, "COM7"), 0);
    ChangePortData change{};
    std::strcpy(change.name, "COM123456789");  // twelve characters
    EXPECT_EQ(host.Request(running, KES_REQUEST_CHANGE_PORT, &change), 2);
    EXPECT_STREQ(Data(running).portConfig.name, "COM7");
    EXPECT_EQ(ReadAnswered(running, "01"), 0) << "the old port is kept";
}

TEST_F(LifecycleTest, ClosePortThenReopenPort) {
    Instance& instance = host.NewInstance(3);
    ASSERT_EQ(host.ColdStart(instance, "COM7"), 0);
    EXPECT_EQ(host.Request(instance, KES_REQUEST_CLOSE_PORT, nullptr), 0);
    EXPECT_FALSE(kesmzn::serial::HasPort(Data(instance).port));
    EXPECT_EQ(host.Request(instance, KES_REQUEST_CLOSE_PORT, nullptr), 0) << "closing without a port";
    EXPECT_EQ(host.Request(instance, KES_REQUEST_FLUSH_PORT, nullptr), 0);
    EXPECT_EQ(host.Request(instance, KES_REQUEST_SINGLE_READ, &zone7), 1);
    EXPECT_TRUE(panel.Received().empty());

    // The listener keeps running: a pass reads nothing and logs the failed RTS drop.
    std::uint8_t id = 0;
    ASSERT_EQ(ZubFindClient("KesMZN No_03", &id), 0);
    ZubPostMsg(id);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Contains(log.Texts(), "KesMZN: CheckUnsolicetedMessages() -> Exit from Critical Section ") &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(Contains(log.Texts(), " KesMZN: Fail to set RTS to off"));

    EXPECT_EQ(host.Request(instance, KES_REQUEST_REOPEN_PORT, nullptr), 0);
    EXPECT_EQ(ReadAnswered(instance, "02"), 0);
    EXPECT_EQ(values[1], 2);
}

TEST_F(LifecycleTest, ChangePortMovesTheInstance) {
    kesmzn::testing::ScriptedPanel other;
    host.Link("COM8", other.path());
    Instance& instance = host.NewInstance(3);
    ASSERT_EQ(host.ColdStart(instance, "COM7"), 0);
    const auto before = Data(instance).portConfig.params;

    // Baud 0 keeps speed and framing and only moves the port name.
    ChangePortData change{};
    std::strcpy(change.name, "COM8");
    EXPECT_EQ(host.Request(instance, KES_REQUEST_CHANGE_PORT, &change), 0);
    const auto& config = Data(instance).portConfig;
    EXPECT_STREQ(config.name, "COM8");
    EXPECT_EQ(config.params.baud, before.baud);
    EXPECT_EQ(config.params.dataBits, before.dataBits);
    other.On(kPointQuery7, {AckLine(0xDB), PointReply("01")});
    EXPECT_EQ(host.Request(instance, KES_REQUEST_SINGLE_READ, &zone7), 0);
    EXPECT_EQ(values[1], 1);
    EXPECT_TRUE(panel.Received().empty());

    // With a baud rate the four values replace the settings.
    std::strcpy(change.name, "COM7");
    change.baud = 9600;
    change.dataBits = 7;
    change.parity = 2;
    EXPECT_EQ(host.Request(instance, KES_REQUEST_CHANGE_PORT, &change), 0);
    EXPECT_EQ(config.params.baud, 9600);
    EXPECT_EQ(config.params.dataBits, 7);
    EXPECT_EQ(config.params.parity, 2);
}

TEST_F(LifecycleTest, ChangePortToTheSameOpenNameKeepsTheOldHandle) {
    Instance& instance = host.NewInstance(3);
    ASSERT_EQ(host.ColdStart(instance, "COM7"), 0);
    const auto port = Data(instance).port;
    ChangePortData change{};
    std::strcpy(change.name, "COM7");
    EXPECT_EQ(host.Request(instance, KES_REQUEST_CHANGE_PORT, &change), 2);
    EXPECT_EQ(Data(instance).port.id, port.id);
    EXPECT_EQ(ReadAnswered(instance, "02"), 0);
}

}  // namespace
