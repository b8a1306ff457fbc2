// The command exchanges against a scripted panel on a pseudo-terminal: the exact frames on the wire,
// the acknowledgement wait, and the decoding of every reply shape.
#include "protocol/exchange.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/open_instance.h"
#include "support/panel_text.h"
#include "support/scripted_panel.h"

namespace kesmzn::protocol {
namespace {

using testing::AckLine;
using testing::LrcOf;
using testing::PanelLine;

constexpr const char* kPointQuery7 = ":06091234660070DB\r\n";  // zone 7, password 1234
constexpr unsigned char kPointQuery7Lrc = 0xDB;
constexpr const char* kModeQuery5 = ":05081234680545\r\n";  // S5, password 1234
constexpr unsigned char kModeQuery5Lrc = 0x45;

// A plain point reply: the state at 15-16 and the LRC over characters 3-18 at 19-20.
std::string PointReply(const std::string& state, bool goodLrc = true) {
    const std::string data = "0912346600" "70" + state + "00";
    std::string lrc = LrcOf(data);
    if (!goodLrc) lrc = lrc == "00" ? "01" : "00";
    return ":08" + data + lrc + "\r\n";
}

class ExchangeTest : public ::testing::Test {
protected:
    testing::ScriptedPanel panel;
    testing::OpenInstance port{panel.path()};
    host::InstanceData& instance = port.instance;
    testing::LogCapture log;

    void SetUp() override { ASSERT_EQ(port.openResult, 0) << panel.path(); }
};

TEST_F(ExchangeTest, PointQueryOfTheOverview) {
    panel.On(kPointQuery7, {AckLine(kPointQuery7Lrc), PointReply("02")});
    std::uint16_t value = 0;
    EXPECT_EQ(GetPoint(instance, 7, &value), 0);
    EXPECT_EQ(value, 2);
    EXPECT_EQ(panel.Received(), std::vector<std::string>{kPointQuery7});
}

TEST_F(ExchangeTest, PointQueryWithAWrongLrcFails) {
    panel.On(kPointQuery7, {AckLine(kPointQuery7Lrc), PointReply("02", false)});
    std::uint16_t value = 99;
    EXPECT_EQ(GetPoint(instance, 7, &value), 1);
    EXPECT_EQ(value, 99);
}

TEST_F(ExchangeTest, ModeQueryReadsTheValueAt13) {
    panel.On(kModeQuery5, {AckLine(kModeQuery5Lrc), PanelLine("08123468052A")});
    std::uint16_t value = 0;
    EXPECT_EQ(GetMode(instance, 5, &value), 0);
    EXPECT_EQ(value, 0x2A);
    EXPECT_EQ(panel.Received(), std::vector<std::string>{kModeQuery5});
}

TEST_F(ExchangeTest, D5StatusRepliesAreFoundByTheEchoedKeyInEitherCase) {
    struct Case {
        const char* name;
        std::string reply;
        std::uint16_t value;
    } cases[] = {
        {"D5", ":10D5" "12346805" "0" "1F" "99\r\n", 0x1F},
        {"d5 in lower case", ":10d5" "AA" "12346805" "0" "3c" "99\r\n", 0x3C},
    };
    for (const auto& c : cases) {
        panel.On(kModeQuery5, {AckLine(kModeQuery5Lrc), c.reply});
        std::uint16_t value = 0;
        EXPECT_EQ(GetMode(instance, 5, &value), 0) << c.name;
        EXPECT_EQ(value, c.value) << c.name;
    }
    panel.On(kPointQuery7, {AckLine(kPointQuery7Lrc), ":10D5" "1234660070" "0" "02" "\r\n"});
    std::uint16_t state = 0;
    EXPECT_EQ(GetPoint(instance, 7, &state), 0);
    EXPECT_EQ(state, 2);
}

TEST_F(ExchangeTest, RepliesThatDoNotCarryTheirValueFail) {
    const std::string cases[] = {
        "0508123468052A\r\n",            // no ":"
        ":0508123468\r\n",               // too short for the value at 13-14
        ":05081234680\r\n",              // one character of the value
        ":050812346805ZZ\r\n",           // not hexadecimal
        ":10D5" "12346806" "0" "1F\r\n",  // D5 echo of another mode
        ":10D5" "12346805" "0" "1\r\n",   // D5 value cut short
        "\r\n",
    };
    for (const auto& reply : cases) {
        panel.On(kModeQuery5, {AckLine(kModeQuery5Lrc), reply});
        std::uint16_t value = 77;
        EXPECT_EQ(GetMode(instance, 5, &value), 1) << reply;
        EXPECT_EQ(value, 77) << reply;
    }
}

TEST_F(ExchangeTest, SilenceFailsWithTheAckMessage) {
    std::uint16_t value = 0;
    EXPECT_EQ(GetPoint(instance, 7, &value), 1);
    EXPECT_EQ(GetMode(instance, 5, &value), 1);
    EXPECT_EQ(SetMode(instance, 5, 3), 1);
    EXPECT_EQ(SetZone(instance, 7, 1), 1);
    std::vector<std::string> failures;
    for (const auto& record : log.Records())
        if (record.text.find("Failed with Command Ack") != std::string::npos) failures.push_back(record.text);
    EXPECT_EQ(failures, (std::vector<std::string>{"KesMZN: GetPoint() Failed with Command Ack",
                                                  "KesMZN: GetMode() Failed with Command Ack",
                                                  "KesMZN: SetMode() Failed with Command Ack",
                                                  "KesMZN: SetZone() Failed with Command Ack"}));
}

TEST_F(ExchangeTest, AnEmptyLineIsNeverTheAcknowledgementOfAFrameWhoseLrcIsZero) {
    // Mode set of S19 to 6 with password 8: its data pairs sum to 0x100, so its LRC is 00 and a
    // buffer left empty by a silent panel has a zero second byte too.
    instance.password = 8;
    EXPECT_EQ(SetMode(instance, 19, 6), 1);
    EXPECT_EQ(panel.Received(), std::vector<std::string>{":050700086190" "00\r\n"});
    // A real acknowledgement of it carries the raw byte 0.
    panel.OnNext({AckLine(0x00), PanelLine("07")});
    EXPECT_EQ(SetMode(instance, 19, 6), 0);
}

TEST_F(ExchangeTest, ASpontaneousLineBeforeTheAckIsAcknowledgedAndTheExchangeCompletes) {
    const std::string event = PanelLine("A3" "0102");
    const std::string eventAck = ":01A35D\r\n";
    panel.On(kPointQuery7, {event});
    panel.On(eventAck, {AckLine(kPointQuery7Lrc), PointReply("01")});
    std::uint16_t value = 0;
    EXPECT_EQ(GetPoint(instance, 7, &value), 0);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(panel.Received(), (std::vector<std::string>{kPointQuery7, eventAck}));
}

TEST_F(ExchangeTest, WritesSendOneFrameAndSucceedAfterTheReply) {
    panel.OnNext({AckLine(0x33), PanelLine("07")});
    EXPECT_EQ(SetMode(instance, 5, 3), 0);
    // Zone 12 to state 2: 09+12+34+72+01+20 = 0xE2 -> 1E.
    panel.OnNext({AckLine(0x1E), PanelLine("09")});
    EXPECT_EQ(SetZone(instance, 12, 2), 0);
    EXPECT_EQ(panel.Received(), (std::vector<std::string>{":05071234305033\r\n", ":060912347201201E\r\n"}));
}

TEST_F(ExchangeTest, ZoneSetWithAStateOtherThanOneOrTwoSendsNothing) {
    for (int state : {0, 3, -1, 255}) EXPECT_EQ(SetZone(instance, 7, state), 1) << state;
    EXPECT_TRUE(panel.Received().empty());
}

TEST_F(ExchangeTest, APanelThatNeverAcknowledgesCannotHoldTheExchangeForEver) {
    // Unrecognised lines, far more than the exchange waits through.
    std::string flood;
    for (int i = 0; i < 200; ++i) flood += PanelLine("5F" "00");
    panel.On(kPointQuery7, {flood});
    const auto start = std::chrono::steady_clock::now();
    std::uint16_t value = 0;
    EXPECT_EQ(GetPoint(instance, 7, &value), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

}  // namespace
}  // namespace kesmzn::protocol
