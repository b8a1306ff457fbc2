#include "config/init_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/log_capture.h"

namespace kesmzn::config {
namespace {

namespace fs = std::filesystem;

// Runs each test in a folder of its own: the file is read from the current directory.
class InitFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = fs::current_path();
        folder_ = fs::temp_directory_path() / ("kesmzn-init-" + std::to_string(getpid()));
        fs::create_directories(folder_);
        fs::current_path(folder_);
        std::memset(&instance_, 0, sizeof instance_);
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::remove_all(folder_);
    }
    void Write(const std::string& name, const std::string& content) {
        std::ofstream(folder_ / name, std::ios::binary) << content;
    }

    host::InstanceData instance_;
    fs::path previous_;
    fs::path folder_;
};

struct FileCase {
    const char* name;
    std::string content;
    std::uint16_t password;
    std::int32_t crcOn;
    std::vector<std::string> log;
};

// Each case starts from password 4321 and CRC checking on, so "left unchanged" shows.
const FileCase kFiles[] = {
    {"password and crc", "PASSWORD=1234\nCRC=ON\n", 1234, 1, {"KesMZN : PassWord is 1234"}},
    {"blanks around the separator", "  Password = 77 \r\n", 77, 1, {"KesMZN : PassWord is 77"}},
    {"lower-case crc with no", "crc no\n", 4321, 0, {}},
    {"crc on", "crc = on\n", 4321, 1, {}},
    {"crc no then on: the last wins", "CRC=NO\nCRC=ON\n", 4321, 1, {}},
    {"both keywords: a password line only", "PASSWORD=12 CRC NO\n", 12, 1, {"KesMZN : PassWord is 12"}},
    // Only a blank between keyword and number: the blank is dropped, so the first digit is skipped.
    {"blank as the only separator", "PASSWORD 1234\n", 234, 1, {"KesMZN : PassWord is 234"}},
    {"digits end the number", "PASSWORD=12AB\n", 12, 1, {"KesMZN : PassWord is 12"}},
    {"five digits within 16 bits", "PASSWORD=65535\n", 65535, 1, {"KesMZN : PassWord is 65535"}},
    // Refused, not wrapped to a wrong 16-bit value nor read past the line: the password stays.
    {"number over 65535", "PASSWORD=65536\n", 4321, 1, {"KesMZN : ReadInitFile()-> Bad password line - PASSWORD=65536"}},
    {"no digits", "PASSWORD=\n", 4321, 1, {"KesMZN : ReadInitFile()-> Bad password line - PASSWORD="}},
    {"keyword alone", "PASSWORD\n", 4321, 1, {"KesMZN : ReadInitFile()-> Bad password line - PASSWORD"}},
    {"unknown and empty lines", "hello\n\n", 4321, 1,
     {"KesMZN : ReadInitFile()-> Unknown line - HELLO", "KesMZN : ReadInitFile()-> Unknown line - "}},
    {"control characters and high bytes dropped", "PASS\tWORD=\x01" "5\xB0" "6\n", 56, 1, {"KesMZN : PassWord is 56"}},
    // A last line without LF counts only with ten or more characters after clean-up.
    {"short last line without LF ignored", "PASSWORD=1\nCRC=NO", 1, 1, {"KesMZN : PassWord is 1"}},
    {"long last line without LF used", "CRC=ON\nPASSWORD=99", 99, 1, {"KesMZN : PassWord is 99"}},
    {"empty file", "", 4321, 1, {}},
};

TEST_F(InitFileTest, AppliesEachKindOfLine) {
    for (const auto& c : kFiles) {
        instance_.password = 4321;
        instance_.crcOn = 1;
        Write("KESMZN03.int", c.content);
        testing::LogCapture log;
        EXPECT_EQ(ReadInitFile(instance_, 3), 1) << c.name;
        EXPECT_EQ(instance_.password, c.password) << c.name;
        EXPECT_EQ(instance_.crcOn, c.crcOn) << c.name;
        EXPECT_EQ(log.Texts(), c.log) << c.name;
    }
}

TEST_F(InitFileTest, LogLevelIs32) {
    Write("KESMZN03.int", "PASSWORD=1\nxyz\n");
    testing::LogCapture log;
    ReadInitFile(instance_, 3);
    for (const auto& record : log.Records()) EXPECT_EQ(record.level, 32) << record.text;
}

TEST_F(InitFileTest, MissingFileKeepsTheValuesAndSaysWhichFile) {
    instance_.password = 4321;
    instance_.crcOn = 1;
    Write("KESMZN03.int", "PASSWORD=1\n");  // another station's file
    testing::LogCapture log;
    EXPECT_EQ(ReadInitFile(instance_, 7), 0);
    EXPECT_EQ(instance_.password, 4321);
    EXPECT_EQ(instance_.crcOn, 1);
    EXPECT_EQ(log.Texts(), std::vector<std::string>{"KesMZN : File KESMZN07.int not found !"});
}

TEST_F(InitFileTest, OverlongLineIsCutWithoutSpillingIntoTheNext) {
    // 300 characters of one line, then a line of its own: the cut keeps 135 characters and the
    // remainder of the long line does not turn into a line.
    const std::string longLine = "PASSWORD=42" + std::string(289, 'X');
    Write("KESMZN05.int", longLine + "\nCRC=NO\n");
    instance_.crcOn = 1;
    testing::LogCapture log;
    EXPECT_EQ(ReadInitFile(instance_, 5), 1);
    EXPECT_EQ(instance_.password, 42);
    EXPECT_EQ(instance_.crcOn, 0);
    EXPECT_EQ(log.Texts(), std::vector<std::string>{"KesMZN : PassWord is 42"});

    Write("KESMZN05.int", std::string(500, 'z') + "\n");
    testing::LogCapture unknown;
    ReadInitFile(instance_, 5);
    EXPECT_EQ(unknown.Texts(),
              std::vector<std::string>{"KesMZN : ReadInitFile()-> Unknown line - " + std::string(kInitLineCapacity - 1, 'Z')});
}

TEST_F(InitFileTest, StationNumberFormsTheFileName) {
    Write("KESMZN00.int", "PASSWORD=10\n");
    Write("KESMZN123.int", "PASSWORD=123\n");
    EXPECT_EQ(ReadInitFile(instance_, 0), 1);
    EXPECT_EQ(instance_.password, 10);
    EXPECT_EQ(ReadInitFile(instance_, 123), 1);
    EXPECT_EQ(instance_.password, 123);
}

}  // namespace
}  // namespace kesmzn::config
