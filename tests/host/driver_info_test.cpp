#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/instance.h"
#include "kesmzn.h"

namespace {

DriverInfoData RequestDriverInfo() {
    DriverInfoData info;
    std::memset(&info, 0xEE, sizeof info);
    RequestBlock request{};
    request.code = KES_REQUEST_DRIVER_INFO;
    request.data = &info;
    EXPECT_EQ(KesMain(&request), 0);
    return info;
}

TEST(DriverInfo, FillsTheRecord) {
    const DriverInfoData info = RequestDriverInfo();
    EXPECT_EQ(info.fixed70, 70u);
    EXPECT_EQ(info.instanceSize, 720u);
    EXPECT_GE(info.instanceSize, sizeof(kesmzn::host::InstanceData));
    EXPECT_EQ(info.fixed4, 4u);
    EXPECT_EQ(info.baud, 4800);
    EXPECT_EQ(info.dataBits, 8);
    EXPECT_EQ(info.stopBits, 0);
    EXPECT_EQ(info.parity, 0);
    EXPECT_EQ(info.fixed1, 1u);
    EXPECT_NE(info.names, nullptr);
    EXPECT_NE(info.banner, nullptr);
}

TEST(DriverInfo, NameRecordHoldsTwoTextsBackToBack) {
    const auto* names = static_cast<const char*>(RequestDriverInfo().names);
    // The host reads the title at the fourteenth byte.
    EXPECT_EQ(std::memcmp(names, "MZN - MINTZ \0", 13), 0);
    EXPECT_STREQ(names + 13, "MINTZ - EAGEL system");
}


TEST(DriverInfo, BannerIsFiveLinesOfBoxDrawing61ColumnsWide) {
    const std::string banner = RequestDriverInfo().banner;
    ASSERT_FALSE(banner.empty());
    EXPECT_EQ(banner.front(), '\n');
    std::vector<std::string> lines;
    for (std::size_t at = 1; at < banner.size();) {
        const std::size_t end = banner.find('\n', at);
        ASSERT_NE(end, std::string::npos) << "every line ends with a line feed";
        lines.push_back(banner.substr(at, end - at));
        at = end + 1;
    }
    ASSERT_EQ(lines.size(), 5u);
    for (const auto& line : lines) {
        EXPECT_EQ(line.size(), 62u) << "a blank and 61 columns: " << line;
        EXPECT_EQ(line[0], ' ');
    }
    // Code page 437: 0xC9 top-left, 0xCD double horizontal, 0xBB top-right, 0xBA double vertical,
    // 0xC8 bottom-left, 0xBC bottom-right, 0xDB full block, 0xB2/0xB1/0xB0 shades.
    EXPECT_EQ(lines[0], " \xC9" + std::string(59, '\xCD') + "\xBB");
    EXPECT_EQ(lines[1], " \xBA " + std::string(5, '\xDB') + std::string(6, '\xB2') + std::string(6, '\xB1') +
                            std::string(6, '\xB0') + " K E S M Z " + std::string(6, '\xB0') + std::string(6, '\xB1') +
                            std::string(6, '\xB2') + std::string(5, '\xDB') + " \xBA");
    EXPECT_EQ(lines[2], " \xBA" + std::string(11, ' ') + "MINTZ - EAGEL system, driver Installed." + std::string(9, ' ') + "\xBA");
    // The version line is centred: the blanks on its two sides differ by at most one.
    const std::string& version = lines[3];
    EXPECT_EQ(version.substr(0, 2), " \xBA");
    EXPECT_EQ(version.back(), '\xBA');
    const std::string inner = version.substr(2, 59);
    const auto left = inner.find_first_not_of(' ');
    const auto right = 58 - inner.find_last_not_of(' ');
    ASSERT_NE(left, std::string::npos);
    EXPECT_LE(left > right ? left - right : right - left, 1u) << inner;
    EXPECT_NE(inner.find("1."), std::string::npos) << "the line names the version: " << inner;
    EXPECT_EQ(lines[4], " \xC8" + std::string(59, '\xCD') + "\xBC");
}

TEST(DriverInfo, ARequestWithoutRecordFailsCleanly) {
    RequestBlock request{};
    request.code = KES_REQUEST_DRIVER_INFO;
    EXPECT_EQ(KesMain(&request), 1);
}

}  // namespace
