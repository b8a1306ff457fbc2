#include "protocol/frame_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kesmzn::protocol {
namespace {

TEST(ToUpperChar, MovesEverythingFromLowerAUpwardAndLeavesHighBytes) {
    struct Case {
        char in;
        char out;
    } cases[] = {
        {'a', 'A'}, {'z', 'Z'}, {'f', 'F'}, {'A', 'A'}, {'0', '0'}, {' ', ' '},
        {'{', '['}, {'~', '^'}, {'`', '`'}, {'\x80', '\x80'}, {'\xE1', '\xE1'}, {'\0', '\0'},
    };
    for (const auto& c : cases) EXPECT_EQ(ToUpperChar(c.in), c.out) << "input 0x" << std::hex << (int)(unsigned char)c.in;
}

TEST(HexToNum, ConvertsWithoutValidating) {
    struct Case {
        const char* text;
        int n;
        std::uint16_t value;
    } cases[] = {
        {"a0", 2, 160},     {"A0", 2, 160},   {"1F", 2, 31},    {"1f", 2, 31},      {"01E5", 4, 485},
        {"FFFF", 4, 65535}, {"10000", 5, 0},  {"zz", 0, 0},     {"7", 1, 7},        {"00", 2, 0},
        // Not validated: 'G' gives 16 and ':' gives 3 (10 - 7), as the digit arithmetic computes them.
        {"G", 1, 16},       {":", 1, 3},
        // n is taken as 8 bits: 258 reads two characters.
        {"12", 258, 0x12},
    };
    for (const auto& c : cases) EXPECT_EQ(HexToNum(c.text, c.n), c.value) << c.text << " n=" << c.n;
}

TEST(CalcLrc, IsTheTwosComplementOfTheSumOfThePairs) {
    struct Case {
        const char* text;
        int pairs;
        std::uint8_t lrc;
    } cases[] = {
        {"123456", 3, 0x64}, {"A0", 1, 0x60}, {"00", 1, 0x00}, {"FF", 1, 0x01}, {"", 0, 0x00},
        {"0101", 2, 0xFE},   {"80", 1, 0x80}, {"8080", 2, 0x00},
    };
    for (const auto& c : cases) EXPECT_EQ(CalcLrc(c.text, c.pairs), c.lrc) << c.text;
}

struct FrameCase {
    const char* name;
    std::size_t (*build)(FrameText&);
    const char* expected;
};

// Each frame worked out by hand from the layout: count, command, password, fields, LRC over the data
// pairs after the count, CR LF.
const FrameCase kFrames[] = {
    // 08+12+34+68+07 = 0xBD -> 0x43
    {"mode query S7, password 1234", [](FrameText& f) { return BuildModeQuery(f, 1234, 7); }, ":05081234680743\r\n"},
    // 09+12+34+66+00+70 = 0x125 -> low byte 0x25 -> 0xDB
    {"point query zone 7, password 1234", [](FrameText& f) { return BuildPointQuery(f, 1234, 7); }, ":06091234660070DB\r\n"},
    // 06+00+00+66 = 0x6C -> 0x94
    {"block query, password 0", [](FrameText& f) { return BuildBlockQuery(f, 0); }, ":040600006694\r\n"},
    // 07+12+34+30+50 = 0xCD -> 0x33
    {"mode set S5 to 3", [](FrameText& f) { return BuildModeSet(f, 1234, 5, 3); }, ":05071234305033\r\n"},
    // 09+00+00+72+12+30 = 0xBD -> 0x43
    {"zone set 123 to 2", [](FrameText& f) { return BuildZoneSet(f, 0, 123, 2); }, ":0609000072123043\r\n"},
    {"acknowledgement of A0", [](FrameText& f) { return BuildAck(f, "A0"); }, ":01A060\r\n"},
    // A five-digit password contributes its first four digits: 12345 -> 1234.
    {"password 12345", [](FrameText& f) { return BuildModeQuery(f, 12345, 7); }, ":05081234680743\r\n"},
    // A value too wide for its one-digit field is written shortened, and the LRC covers that form:
    // 07+00+00+11+00 = 0x18 -> 0xE8.
    {"mode set value 12", [](FrameText& f) { return BuildModeSet(f, 0, 10, 12); }, ":050700001100E8\r\n"},
};

TEST(FrameBuilders, WriteTheExactFrame) {
    for (const auto& c : kFrames) {
        FrameText frame;
        std::memset(frame, '#', sizeof frame);
        const std::size_t length = c.build(frame);
        EXPECT_EQ(std::string(frame), c.expected) << c.name;
        EXPECT_EQ(length, std::string(c.expected).size()) << c.name;
        EXPECT_EQ(frame[length], '\0') << c.name;
    }
}

TEST(FrameBuilders, LengthsAreFixedByTheLayout) {
    FrameText frame;
    EXPECT_EQ(BuildModeQuery(frame, 65535, 99), kModeQueryLength);
    EXPECT_EQ(BuildPointQuery(frame, 65535, 999), kPointQueryLength);
    EXPECT_EQ(BuildBlockQuery(frame, 65535), kBlockQueryLength);
    EXPECT_EQ(BuildModeSet(frame, 65535, 19, 9), kModeSetLength);
    EXPECT_EQ(BuildZoneSet(frame, 65535, 999, 1), kZoneSetLength);
    EXPECT_EQ(BuildAck(frame, "C1"), kAckLength);
}

TEST(FrameBuilders, TheLrcOfEveryFrameChecksOut) {
    // Whatever the fields, the data pairs and the LRC pair sum to zero modulo 256.
    for (int password : {0, 1, 999, 1234, 9999, 65535}) {
        for (int zone : {0, 1, 7, 99, 255, 999}) {
            FrameText frame;
            const std::size_t length = BuildPointQuery(frame, static_cast<std::uint16_t>(password), zone);
            const int pairs = static_cast<int>((length - 3 - 2) / 2);  // data pairs and the LRC pair
            EXPECT_EQ(CalcLrc(frame + 3, pairs), 0) << frame;
        }
    }
}

}  // namespace
}  // namespace kesmzn::protocol
