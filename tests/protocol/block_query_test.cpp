// The block query against a scripted panel: both reply shapes, the zone-count check, the optional LRC
// check, and replies too short or too garbled to carry what they announce.
#include "protocol/block_query.h"

#include <gtest/gtest.h>

#include <cstdio>
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

constexpr const char* kBlockQuery = ":04061234664E\r\n";  // password 1234
constexpr unsigned char kBlockQueryLrc = 0x4E;
constexpr std::uint16_t kUntouched = 0xBEEF;

std::string Hex(unsigned value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

// The zone values of a test panel: zone i holds (3i + 1) modulo 256.
std::string ValuePairs(int zones) {
    std::string pairs;
    for (int i = 0; i < zones; ++i) pairs += Hex(static_cast<unsigned>(3 * i + 1));
    return pairs;
}

// Plain block reply: count (zones - 1) at 1-2, two characters, the values from 5, their LRC after them.
std::string PlainBlock(int zones, const std::string& lrc = "") {
    const std::string pairs = ValuePairs(zones);
    return ":" + Hex(static_cast<unsigned>(zones - 1)) + "06" + pairs + (lrc.empty() ? LrcOf(pairs) : lrc) + "\r\n";
}

class BlockQueryTest : public ::testing::Test {
protected:
    testing::ScriptedPanel panel;
    testing::OpenInstance port{panel.path()};
    testing::LogCapture log;
    std::vector<std::uint16_t> values = std::vector<std::uint16_t>(300, kUntouched);
    TagIoData tag{};

    void SetUp() override { ASSERT_EQ(port.openResult, 0); }

    int Read(int blockSize, const std::string& reply) {
        panel.On(kBlockQuery, {AckLine(kBlockQueryLrc), reply});
        tag.blockSize = blockSize;
        tag.values = values.data();
        RequestBlock request = port.Request(KES_REQUEST_BLOCK_READ, &tag);
        return GetBlock(&request, values.data());
    }

    bool SlotsHoldTheValues(int zones) const {
        for (int i = 0; i < zones; ++i)
            if (values[static_cast<std::size_t>(i)] != ((3 * i + 1) & 0xFF)) return false;
        return values[static_cast<std::size_t>(zones)] == kUntouched;
    }
    bool SlotsUntouched() const {
        for (auto v : values)
            if (v != kUntouched) return false;
        return true;
    }
    std::vector<std::string> Level32() const {
        std::vector<std::string> texts;
        for (const auto& record : log.Records())
            if (record.level == 32) texts.push_back(record.text);
        return texts;
    }
};

TEST_F(BlockQueryTest, CountField0FDeliversSixteenValues) {
    EXPECT_EQ(Read(16, PlainBlock(16)), 0);
    EXPECT_TRUE(SlotsHoldTheValues(16));
    EXPECT_EQ(panel.Received(), std::vector<std::string>{kBlockQuery});
}

TEST_F(BlockQueryTest, OneZoneAnd255Zones) {
    EXPECT_EQ(Read(1, PlainBlock(1)), 0);
    EXPECT_TRUE(SlotsHoldTheValues(1));
    EXPECT_EQ(Read(255, PlainBlock(255)), 0);
    EXPECT_TRUE(SlotsHoldTheValues(255));
}

TEST_F(BlockQueryTest, D5RepliesInBothShapes) {
    // "66" right after N: N + 1 values from character 9.
    const std::string pairs = ValuePairs(4);
    EXPECT_EQ(Read(4, ":20D5" "03" "66" + pairs + LrcOf(pairs) + "\r\n"), 0);
    EXPECT_TRUE(SlotsHoldTheValues(4));
    // N = 2 zone groups first: "66" at 2N + 10 = 14, the count at 12, the values from 16.
    std::fill(values.begin(), values.end(), kUntouched);
    EXPECT_EQ(Read(4, ":20d5" "02" "ABCDE" "03" "66" + pairs + LrcOf(pairs) + "\r\n"), 0);
    EXPECT_TRUE(SlotsHoldTheValues(4));
}

TEST_F(BlockQueryTest, ReplyWith01E5SucceedsAndLeavesTheSlots) {
    EXPECT_EQ(Read(16, ":0106" "01E5" "00\r\n"), 0);
    EXPECT_TRUE(SlotsUntouched());
}

TEST_F(BlockQueryTest, TheLrcIsCheckedOnlyWhenSwitchedOn) {
    port.instance.crcOn = 0;
    EXPECT_EQ(Read(16, PlainBlock(16, "00")), 0);
    EXPECT_TRUE(SlotsHoldTheValues(16));

    std::fill(values.begin(), values.end(), kUntouched);
    port.instance.crcOn = 1;
    EXPECT_EQ(Read(16, PlainBlock(16, "00")), 1);
    EXPECT_TRUE(SlotsUntouched());
    EXPECT_EQ(Level32(), std::vector<std::string>{"KesMZN: GetBlock() bad LRC received"});

    EXPECT_EQ(Read(16, PlainBlock(16)), 0);
    EXPECT_TRUE(SlotsHoldTheValues(16));
}

TEST_F(BlockQueryTest, BlockSizeIsComparedByItsLowEightBitsAndPrintedWhole) {
    EXPECT_EQ(Read(300, PlainBlock(16)), 1);
    EXPECT_TRUE(SlotsUntouched());
    EXPECT_EQ(Level32(), (std::vector<std::string>{"KesMZN: GetBlock() No of Zones in MINTZ system is: 16",
                                                   "KesMZN: GetBlock() Block size in Zubrix is: 300",
                                                   "KesMZN: GetBlock() Please set Block size in Zubrix to: 16"}));
    // 300 modulo 256 is 44: a panel of 44 zones matches.
    EXPECT_EQ(Read(300, PlainBlock(44)), 0);
    EXPECT_TRUE(SlotsHoldTheValues(44));
}

TEST_F(BlockQueryTest, RepliesThatCannotCarryWhatTheyAnnounceFailAndStoreNothing) {
    const std::string pairs = ValuePairs(16);
    const std::string cases[] = {
        ":0F06" + pairs + "\r\n",                            // no LRC after the values
        ":0F06" + pairs.substr(0, 20) + "\r\n",              // values cut short
        ":0F06" + pairs.substr(0, 30) + "ZZ" + "00" + "\r\n",  // a value that is not hexadecimal
        ":20D5" "03" "77" + pairs + "\r\n",                  // D5 without "66" at either place
        ":20D5\r\n",                                         // D5 without its N
        ":\r\n",                                             // no count
    };
    for (const auto& reply : cases) {
        EXPECT_EQ(Read(16, reply), 1) << reply;
        EXPECT_TRUE(SlotsUntouched()) << reply;
    }
}

TEST_F(BlockQueryTest, AnEmptyReplyFailsAtOnce) {
    // Acknowledged, then silence: the empty line is not decoded (it would read as 90 zones).
    panel.On(kBlockQuery, {AckLine(kBlockQueryLrc)});
    tag.blockSize = 90;
    RequestBlock request = port.Request(KES_REQUEST_BLOCK_READ, &tag);
    EXPECT_EQ(GetBlock(&request, values.data()), 1);
    EXPECT_TRUE(SlotsUntouched());
    EXPECT_NE(log.Texts().back().find("KesMZN: GetBlock() - NO BLOCK DATA !!!"), std::string::npos);
}

TEST_F(BlockQueryTest, SilenceFailsWithTheAckMessage) {
    tag.blockSize = 16;
    RequestBlock request = port.Request(KES_REQUEST_BLOCK_READ, &tag);
    EXPECT_EQ(GetBlock(&request, values.data()), 1);
    EXPECT_EQ(log.Texts().back(), "KesMZN: GetBlock() Failed with Command Ack");
}

TEST_F(BlockQueryTest, LinesBeforeTheAckAreLoggedByTheirLength) {
    const std::string shortLine = testing::PanelLine("5F");  // unrecognised: nothing sent back
    const std::string longLine = testing::PanelLine("5F" + std::string(40, '0'));
    panel.On(kBlockQuery, {shortLine, longLine, AckLine(kBlockQueryLrc), PlainBlock(16)});
    tag.blockSize = 16;
    tag.values = values.data();
    RequestBlock request = port.Request(KES_REQUEST_BLOCK_READ, &tag);
    EXPECT_EQ(GetBlock(&request, values.data()), 0);
    std::vector<std::string> trace8;
    for (const auto& record : log.Records())
        if (record.level == 8 && record.text.rfind("KesMZN: GetBlock()", 0) == 0) trace8.push_back(record.text);
    EXPECT_EQ(trace8, (std::vector<std::string>{
                          "KesMZN: GetBlock(), Send Buf -> :04061234664E\\r\\n",
                          "KesMZN: GetBlock(), RecvBuf -> " + std::string(":015F") + LrcOf("5F") + "\\r\\n",
                          "KesMZN: GetBlock() - There is a block data",
                          "KesMZN: GetBlock(), RecvBuf -> :N\\r\\n",  // the acknowledgement: 0x4E is N
                          "KesMZN: GetBlock() - There is a block data",
                      }));
}

}  // namespace
}  // namespace kesmzn::protocol
