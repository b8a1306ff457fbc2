// The program keeps its own copy of rules the driver applies (port names, address forms): these tests
// hold the two side by side on tables of cases, so they cannot drift apart.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "address_text.h"
#include "json.h"
#include "kesmzn.h"
#include "port_name.h"
#include "serial/port_name.h"

namespace kesmzn::tool {
namespace {

namespace fs = std::filesystem;

struct DriverResolution {
    bool ok = false;
    std::string path;
};

DriverResolution DriverResolve(const std::string& name) {
    char path[serial::kPortPathCapacity];
    DriverResolution result;
    result.ok = serial::ResolvePortName(name.c_str(), path, sizeof path);
    if (result.ok) result.path = path;
    return result;
}

class PortNameAgreement : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("kesmzn-names-" + std::to_string(getpid()));
        fs::create_directories(folder_);
        fs::create_symlink("/dev/ttyUSB0", folder_ / "COM3");
        fs::create_symlink("/dev/pts/77", folder_ / "PANEL");
        fs::create_symlink(folder_ / "nowhere", folder_ / "GONE");  // a link that points nowhere is still an entry
        fs::create_symlink("/dev/ttyACM0", folder_ / "ttyUSB0");   // an entry wins over /dev/NAME
        std::ofstream(folder_ / "plain") << "not a device\n";
    }
    void TearDown() override {
        unsetenv("KESMZN_DEVICES");
        fs::remove_all(folder_);
    }

    void ExpectAgreement(const std::string& folderValue) {
        const std::string names[] = {
            "NUL", "nul", "COM1", "com12", "CoM9999", "COM10000", "COM0", "COM01", "COM1:", "COM1::", "\\\\.\\COM3",
            "\\\\.\\com4:", "COM", "COMX", "COM3", "PANEL", "GONE", "plain", "ttyUSB0", "ttyS4", "/dev/ttyS0", "/x",
            "/", ".", "..", "a/b", "MISSING", std::string(11, 'A'), std::string(240, 'B'), "/" + std::string(254, 'c'),
            "/" + std::string(255, 'c'), "",
        };
        for (const std::string& name : names) {
            const DriverResolution driver = DriverResolve(name);
            const auto tool = ResolvePortName(name);
            EXPECT_EQ(driver.ok, tool.has_value()) << "KESMZN_DEVICES=" << folderValue << " name " << name;
            if (driver.ok && tool) {
                EXPECT_EQ(driver.path, tool->path) << "KESMZN_DEVICES=" << folderValue << " name " << name;
            }
        }
    }

    fs::path folder_;
};

TEST_F(PortNameAgreement, WithoutAFolder) {
    unsetenv("KESMZN_DEVICES");
    ExpectAgreement("(unset)");
    setenv("KESMZN_DEVICES", "", 1);
    ExpectAgreement("(empty)");
}

TEST_F(PortNameAgreement, WithAFolderOfLinks) {
    setenv("KESMZN_DEVICES", folder_.c_str(), 1);
    ExpectAgreement(folder_.string());
    EXPECT_EQ(ResolvePortName("COM3")->rule, PortRule::kDevicesEntry);
    EXPECT_EQ(ResolvePortName("COM4")->path, "/dev/ttyS3");
}

TEST_F(PortNameAgreement, WithAFolderWhosePathsDoNotFit) {
    // An entry path longer than the driver's room falls through to the next rule.
    const fs::path deep = folder_ / std::string(200, 'd') / std::string(40, 'e');
    fs::create_directories(deep);
    fs::create_symlink("/dev/ttyUSB0", deep / "COM3");
    setenv("KESMZN_DEVICES", deep.c_str(), 1);
    ExpectAgreement(deep.string());
}

int DriverVerdict(const std::string& address, std::optional<int> block) {
    AddressCheckData data{};
    data.text = address.c_str();
    data.count = block.value_or(0);
    RequestBlock request{};
    request.code = block ? KES_REQUEST_CHECK_BLOCK_ADDRESS : KES_REQUEST_CHECK_ADDRESS;
    request.data = &data;
    return KesMain(&request);
}

TEST(AddressAgreement, AReasonIsGivenExactlyWhenTheDriverRefuses) {
    const char* addresses[] = {"S", "s", "S ", "S 5", "S1", "s1", "S01", "S07", "S09", "S10", "S19", "S20", "S29", "S00",
                               "S0", "S2", "S9", "S1 ", "S19 ", "S 19", "S123", "S1X", "SX", "SS", "S-1", "000", "001",
                               "007", "999", "7", "07", "0071", "007 ", " 007", "00A", "abc", "", "12345678", "123456789",
                               "S       ", "S        ", "001     "};
    for (const char* address : addresses) {
        for (const std::optional<int> block : {std::optional<int>(), std::optional<int>(0), std::optional<int>(1),
                                               std::optional<int>(16), std::optional<int>(256), std::optional<int>(257)}) {
            const bool refused = DriverVerdict(address, block) != KES_OK;
            const std::string reason = ExplainRejection(address, block);
            EXPECT_EQ(refused, !reason.empty()) << "'" << address << "' block " << (block ? std::to_string(*block) : "none")
                                                << ": " << reason;
        }
    }
}

TEST(JsonText, EveryStringParsesBackAndValidTextSurvives) {
    const std::string cases[] = {"plain", "quote \" and backslash \\", "line\nfeed\r\ttab", std::string("nul\0byte", 8),
                                 "\x01\x1f\x7f", "caf\xc3\xa9 \xe2\x95\x94", "bad \xff\xfe utf-8", "cut \xe2\x95"};
    for (const std::string& text : cases) {
        const auto parsed = nlohmann::json::parse(JsonString(text), nullptr, false);
        ASSERT_FALSE(parsed.is_discarded()) << JsonString(text);
        if (text.find('\xff') == std::string::npos && text.find("cut") == std::string::npos) {
            EXPECT_EQ(parsed.get<std::string>(), text);
        }
    }
}

}  // namespace
}  // namespace kesmzn::tool
