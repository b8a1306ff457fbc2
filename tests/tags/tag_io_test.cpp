// Tag reads and writes as a host makes them: KesMain with the header's records, the instance started
// by ColdStart on a port name that KESMZN_DEVICES links to a scripted panel.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/host_fixture.h"
#include "support/log_capture.h"
#include "support/panel_text.h"
#include "support/scripted_panel.h"

namespace {

using kesmzn::testing::AckLine;
using kesmzn::testing::LrcOf;
using kesmzn::testing::PanelLine;

constexpr const char* kPointQuery7 = ":06091234660070DB\r\n";  // zone 7, password 1234
constexpr const char* kModeQuery5 = ":05081234680545\r\n";
constexpr const char* kBlockQuery = ":04061234664E\r\n";

std::string PointReply(const std::string& state) {
    const std::string data = "0912346600" "70" + state + "00";
    return ":08" + data + LrcOf(data) + "\r\n";
}

class TagIoTest : public ::testing::Test {
protected:
    kesmzn::testing::HostFixture host;
    kesmzn::testing::ScriptedPanel panel;
    kesmzn::testing::HostFixture::Instance& instance = host.NewInstance(3);
    std::uint16_t values[300] = {};
    TagIoData tag{};

    void SetUp() override {
        host.WriteInitFile(3, "PASSWORD=1234\n");
        host.Link("COM7", panel.path());
        ASSERT_EQ(host.ColdStart(instance, "COM7"), 0);
        tag.name = "tag";
        tag.values = values;
    }

    int Io(std::uint32_t code, int kind, int number, int blockSize = 0) {
        tag.kind = kind;
        tag.number = static_cast<std::uint16_t>(number);
        tag.blockSize = blockSize;
        return host.Request(instance, code, &tag);
    }

    // The requests' own failure lines (the start-up's lines and the listener's are not of interest).
    std::vector<std::string> Level32() const {
        std::vector<std::string> texts;
        for (const auto& record : log.Records()) {
            const bool requestLine = record.text.rfind("KesMZN: SingleRead()", 0) == 0 ||
                                     record.text.rfind("KesMZN: BlockRead()", 0) == 0;
            if (record.level == 32 && requestLine) texts.push_back(record.text);
        }
        return texts;
    }

    kesmzn::testing::LogCapture log;
};

TEST_F(TagIoTest, ZoneReadOfTheOverview) {
    panel.On(kPointQuery7, {AckLine(0xDB), PointReply("02")});
    values[0] = 0xAAAA;
    EXPECT_EQ(Io(KES_REQUEST_SINGLE_READ, 2, 7), 0);
    EXPECT_EQ(values[1], 2);
    EXPECT_EQ(values[0], 0xAAAA) << "single reads use the second slot only";
    EXPECT_EQ(panel.Received(), std::vector<std::string>{kPointQuery7});
}

TEST_F(TagIoTest, ModeReadAndWrite) {
    panel.On(kModeQuery5, {AckLine(0x45), PanelLine("08123468052A")});
    EXPECT_EQ(Io(KES_REQUEST_SINGLE_READ, 1, 5), 0);
    EXPECT_EQ(values[1], 0x2A);

    // Writing 3 to S5: one mode-set frame with the value digit 3 and the mode digits 05.
    values[1] = 3;
    panel.OnNext({AckLine(0x33), PanelLine("07")});
    EXPECT_EQ(Io(KES_REQUEST_SINGLE_WRITE, 1, 5), 0);
    EXPECT_EQ(panel.Received(), (std::vector<std::string>{kModeQuery5, ":05071234305033\r\n"}));
}

TEST_F(TagIoTest, BlockReadFillsFromTheFirstSlot) {
    std::string pairs;
    for (int i = 0; i < 16; ++i) pairs += "0" + std::string(1, "0123456789ABCDEF"[i]);
    panel.On(kBlockQuery, {AckLine(0x4E), ":0F06" + pairs + LrcOf(pairs) + "\r\n"});
    EXPECT_EQ(Io(KES_REQUEST_BLOCK_READ, 2, 1, 16), 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(values[i], i) << "zone " << i + 1;
    EXPECT_EQ(values[16], 0);
}

TEST_F(TagIoTest, APanelAnsweringTheThirdAttemptIsARead) {
    panel.OnNext({});
    panel.OnNext({});
    panel.On(kPointQuery7, {AckLine(0xDB), PointReply("01")});
    EXPECT_EQ(Io(KES_REQUEST_SINGLE_READ, 2, 7), 0);
    EXPECT_EQ(values[1], 1);
    EXPECT_EQ(panel.Received().size(), 3u);
    EXPECT_TRUE(Level32().empty()) << Level32().front();
}

TEST_F(TagIoTest, TenFailedAttemptsAndTheFailureLine) {
    EXPECT_EQ(Io(KES_REQUEST_SINGLE_READ, 2, 7), 1);
    EXPECT_EQ(panel.Received(), std::vector<std::string>(10, kPointQuery7));
    EXPECT_EQ(Level32(), std::vector<std::string>{"KesMZN: SingleRead() failed. Tag 'tag'. rc = 1"});

    EXPECT_EQ(Io(KES_REQUEST_BLOCK_READ, 2, 1, 16), 1);
    EXPECT_EQ(Level32().back(), "KesMZN: BlockRead() failed. Tag 'tag'. rc = 1");
}

TEST_F(TagIoTest, RequestsThatCannotBeMadeFailWithoutTraffic) {
    // A block read of a mode tag: at once, no message.
    EXPECT_EQ(Io(KES_REQUEST_BLOCK_READ, 1, 5, 16), 1);
    EXPECT_EQ(Io(KES_REQUEST_BLOCK_READ, 0, 5, 16), 1);
    EXPECT_TRUE(Level32().empty());
    // A read of an unknown kind: ten attempts with no exchange, then the failure line.
    EXPECT_EQ(Io(KES_REQUEST_SINGLE_READ, 7, 5), 1);
    EXPECT_EQ(Level32(), std::vector<std::string>{"KesMZN: SingleRead() failed. Tag 'tag'. rc = 1"});
    // A zone write of a state other than 1 or 2: no traffic and, for writes, no message.
    values[1] = 3;
    EXPECT_EQ(Io(KES_REQUEST_SINGLE_WRITE, 2, 7), 1);
    EXPECT_EQ(Level32().size(), 1u);
    EXPECT_TRUE(panel.Received().empty());
}

TEST_F(TagIoTest, ARecordWithoutValueAreaIsRefused) {
    tag.values = nullptr;
    for (std::uint32_t code : {KES_REQUEST_SINGLE_READ, KES_REQUEST_BLOCK_READ, KES_REQUEST_SINGLE_WRITE})
        EXPECT_EQ(Io(code, 2, 7, 16), 1) << code;
    EXPECT_EQ(host.Request(instance, KES_REQUEST_SINGLE_READ, nullptr), 1);
    EXPECT_TRUE(panel.Received().empty());
}

}  // namespace
