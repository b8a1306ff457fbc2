// The simulator's own codec against frames written out by hand.
#include "kesmzn_sim/frame.h"
#include "replies.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

namespace kesmzn::sim {
namespace {

TEST(SimLrc, IsTheTwosComplementOfTheHexadecimalPairs) {
    struct Case {
        const char* pairs;
        std::optional<std::uint8_t> lrc;
    } cases[] = {
        {"", 0x00},
        {"00", 0x00},
        {"FF", 0x01},
        {"A0", 0x60},
        {"123456", 0x64},
        // Decimal digits count as hexadecimal pairs: "12" is 0x12, not twelve.
        {"091234660070", 0xDB},
        {"123", std::nullopt},   // odd length
        {"1G", std::nullopt},    // not hexadecimal
        {"a0", std::nullopt},    // lower case is not what a panel writes
    };
    for (const auto& c : cases) EXPECT_EQ(lrc(c.pairs), c.lrc) << c.pairs;
}

TEST(SimFrame, BuildsTheFramesOfTheProtocolByteForByte) {
    struct Case {
        const char* data;
        const char* frame;
    } cases[] = {
        {"091234660070", ":06091234660070DB\r\n"},  // point query, zone 7, password 1234
        {"0812346807", ":05081234680743\r\n"},      // mode query, mode 7
        {"06123466", ":04061234664E\r\n"},          // block query
        {"0712343050", ":05071234305033\r\n"},      // mode set, mode 5 to 3
        {"091234720070", ":06091234720070CF\r\n"},  // zone set, zone 7 to state 2
        {"A0", ":01A060\r\n"},                      // acknowledgement of event A0
    };
    for (const auto& c : cases) EXPECT_EQ(buildFrame(c.data), c.frame) << c.data;
    EXPECT_EQ(buildFrame("A0", true), ":01A061\r\n");
}

TEST(SimFrame, PasswordFieldIsFourCharactersOfTheZeroPaddedNumber) {
    EXPECT_EQ(passwordField(0), "0000");
    EXPECT_EQ(passwordField(7), "0007");
    EXPECT_EQ(passwordField(1234), "1234");
    EXPECT_EQ(passwordField(12345), "1234");
}

TEST(SimFrame, ParseRejectsWhatIsNotAValidFrame) {
    struct Case {
        const char* line;
        FrameError error;
    } cases[] = {
        {":06091234660070DB\r\n", FrameError::None},
        {":06091234660070DC\r\n", FrameError::Lrc},        // LRC off by one
        {":07091234660070DB\r\n", FrameError::Count},      // count says 7 pairs, 6 follow
        {":05091234660070DB\r\n", FrameError::Count},
        {":0609123466007DB\r\n", FrameError::Count},       // a character missing
        {":06091234660070DB\n", FrameError::Malformed},    // no CR
        {"06091234660070DB\r\n", FrameError::Malformed},   // no colon
        {":06091234660070db\r\n", FrameError::Malformed},  // lower-case LRC
        {":0609123466007 DB\r\n", FrameError::Malformed},
        {":\r\n", FrameError::Malformed},
        {":01A060\r\n", FrameError::None},
    };
    for (const auto& c : cases) EXPECT_EQ(parseFrame(c.line).error, c.error) << c.line;
}

TEST(SimFrame, ClassifiesEachCommandAndItsFields) {
    struct Case {
        const char* line;
        FrameKind kind;
        CommandKind command;
        unsigned number;
        unsigned value;
        const char* key;
    } cases[] = {
        {":05081234680743\r\n", FrameKind::Command, CommandKind::ModeQuery, 7, 0, "12346807"},
        {":06091234660070DB\r\n", FrameKind::Command, CommandKind::PointQuery, 7, 0, "1234660070"},
        {":04061234664E\r\n", FrameKind::Command, CommandKind::BlockQuery, 0, 0, ""},
        {":05071234305033\r\n", FrameKind::Command, CommandKind::ModeSet, 5, 3, ""},
        {":06091234720070CF\r\n", FrameKind::Command, CommandKind::ZoneSet, 7, 2, ""},
        {":01A35D\r\n", FrameKind::EventAck, CommandKind::ModeQuery, 0, 0, ""},
    };
    for (const auto& c : cases) {
        const ParsedFrame parsed = parseFrame(c.line);
        ASSERT_EQ(parsed.error, FrameError::None) << c.line;
        const Classified classified = classify(parsed.frame);
        EXPECT_EQ(classified.kind, c.kind) << c.line;
        if (c.kind != FrameKind::Command) continue;
        EXPECT_EQ(classified.command.kind, c.command) << c.line;
        EXPECT_EQ(classified.command.password, "1234") << c.line;
        EXPECT_EQ(classified.command.number, c.number) << c.line;
        EXPECT_EQ(classified.command.value, c.value) << c.line;
        EXPECT_EQ(classified.command.key, c.key) << c.line;
        EXPECT_EQ(classified.command.lrc, parsed.frame.lrc) << c.line;
    }
    EXPECT_EQ(classify(parseFrame(":01A35D\r\n").frame).ackCode, "A3");
}

TEST(SimFrame, WellFormedFramesWithUnknownFieldsAreNotCommands) {
    const char* datas[] = {
        "091234700070",  // zone set to state 0
        "091234730070",  // zone set to state 3
        "091234660071",  // point query without the closing 0
        "0812346907",    // mode query with 69
        "0912A4660070",  // password not decimal
        "0A1234",        // unknown code
        "0612346600",    // block query with a count that does not fit it
    };
    for (const char* data : datas) {
        const ParsedFrame parsed = parseFrame(buildFrame(data));
        ASSERT_EQ(parsed.error, FrameError::None) << data;
        EXPECT_EQ(classify(parsed.frame).kind, FrameKind::Unknown) << data;
    }
}

Command commandOf(const char* line) { return classify(parseFrame(line).frame).command; }

TEST(SimReplies, PlainRepliesPutTheValueWhereTheDriverReadsIt) {
    const std::string mode = modeReply(commandOf(":05081234680743\r\n"), 0x2A, false, false);
    EXPECT_EQ(mode, ":0608123468072A19\r\n");
    EXPECT_EQ(mode.substr(13, 2), "2A");

    const std::string point = pointReply(commandOf(":06091234660070DB\r\n"), 2, false, false);
    EXPECT_EQ(point, ":080912346600700200D9\r\n");
    EXPECT_EQ(point.substr(15, 2), "02");
    EXPECT_EQ(lrc(point.substr(3, 16)), parseHexByte(point.substr(19, 2)));

    EXPECT_EQ(setReply(commandOf(":05071234305033\r\n"), false), ":020700F9\r\n");
    EXPECT_EQ(setReply(commandOf(":06091234720070CF\r\n"), false), ":020900F7\r\n");
}

TEST(SimReplies, D5RepliesEchoTheKeyThenOneCharacterThenTheValue) {
    const std::string mode = modeReply(commandOf(":05081234680743\r\n"), 0x2A, true, false);
    EXPECT_EQ(mode, ":07D51234680702A0D4\r\n");
    EXPECT_EQ(mode.substr(3, 2), "D5");
    const std::size_t modeKey = mode.find("12346807");
    ASSERT_NE(modeKey, std::string::npos);
    EXPECT_EQ(mode.substr(modeKey + 9, 2), "2A");

    const std::string point = pointReply(commandOf(":06091234660070DB\r\n"), 2, true, false);
    EXPECT_EQ(point, ":08D512346600700020EF\r\n");
    const std::size_t pointKey = point.find("1234660070");
    ASSERT_NE(pointKey, std::string::npos);
    EXPECT_EQ(point.substr(pointKey + 11, 2), "02");
}

TEST(SimReplies, BlockRepliesInBothShapes) {
    std::array<std::uint8_t, 16> states{};
    for (std::size_t i = 0; i < states.size(); ++i) states[i] = static_cast<std::uint8_t>(i + 1);
    const std::string values = "0102030405060708090A0B0C0D0E0F10";

    EXPECT_EQ(blockReply(states, false, false), ":0F06" + values + "78\r\n");
    EXPECT_EQ(blockReply(states, true, false), ":13D50F66" + values + "78\r\n");
    // The LRC covers the values alone, and a corrupted one differs from it.
    EXPECT_EQ(blockReply(states, false, true), ":0F06" + values + "79\r\n");

    const std::array<std::uint8_t, 1> one{0xAB};
    EXPECT_EQ(blockReply(one, false, false), ":0006AB55\r\n");
    const std::vector<std::uint8_t> all(256, 2);
    const std::string full = blockReply(all, false, false);
    EXPECT_EQ(full.size(), 5u + 512u + 4u);
    EXPECT_EQ(full.substr(1, 4), "FF06");
}

TEST(SimReplies, AcknowledgementCarriesTheLrcAsOneRawByte) {
    EXPECT_EQ(ackLine(0xDB), std::string(":\xDB\r\n"));
    EXPECT_EQ(ackLine(0x00), std::string(":\0\r\n", 4));
    // 0x0A ends the line by itself; a CR LF after it would read as an empty reply.
    EXPECT_EQ(ackLine(0x0A), std::string(":\n"));
}

TEST(SimReplies, EventLinesAreFramesWithTheirCode) {
    const std::string line = eventLine("A3", 0x12, 7);
    EXPECT_EQ(line, buildFrame("A300120070"));
    EXPECT_EQ(line.substr(3, 2), "A3");
    EXPECT_EQ(parseFrame(line).error, FrameError::None);
}

}  // namespace
}  // namespace kesmzn::sim
