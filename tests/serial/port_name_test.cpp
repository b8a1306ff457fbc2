// Host port names to device paths, with and without a KESMZN_DEVICES folder of links.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>

#include "pty_pair.h"
#include "serial/port.h"
#include "serial/port_name.h"

namespace kesmzn::serial {
namespace {

namespace fs = std::filesystem;

std::string Resolve(const char* name) {
    char path[kPortPathCapacity] = {};
    if (!ResolvePortName(name, path, sizeof path)) return "<none>";
    return path;
}

// Sets KESMZN_DEVICES to a fresh folder for the test's lifetime.
class DeviceFolder : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kesmzn-devices-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        const char* previous = std::getenv("KESMZN_DEVICES");
        if (previous != nullptr) previous_ = previous;
        hadPrevious_ = previous != nullptr;
        setenv("KESMZN_DEVICES", folder_.c_str(), 1);
    }
    void TearDown() override {
        if (hadPrevious_) {
            setenv("KESMZN_DEVICES", previous_.c_str(), 1);
        } else {
            unsetenv("KESMZN_DEVICES");
        }
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    void Link(const std::string& entry, const std::string& target) {
        ASSERT_EQ(symlink(target.c_str(), (folder_ + "/" + entry).c_str()), 0);
    }

    std::string folder_;
    std::string previous_;
    bool hadPrevious_ = false;
};

struct NameCase {
    const char* name;
    const char* path;
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << '"' << c.name << '"'; }

class PortNameWithoutFolder : public ::testing::TestWithParam<NameCase> {
protected:
    void SetUp() override { unsetenv("KESMZN_DEVICES"); }
};

TEST_P(PortNameWithoutFolder, Resolves) {
    EXPECT_EQ(Resolve(GetParam().name), GetParam().path) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Names, PortNameWithoutFolder, ::testing::Values(
    NameCase{"NUL", "/dev/null"},
    NameCase{"COM1", "/dev/ttyS0"},
    NameCase{"com12", "/dev/ttyS11"},
    NameCase{"Com3:", "/dev/ttyS2"},
    NameCase{"\\\\.\\COM4", "/dev/ttyS3"},
    NameCase{"\\\\.\\com10:", "/dev/ttyS9"},
    NameCase{"COM0", "/dev/COM0"},      // no COM0 on the host platform: an ordinary name
    NameCase{"COM01", "/dev/COM01"},
    NameCase{"COM", "/dev/COM"},
    NameCase{"COM1x", "/dev/COM1x"},
    NameCase{"COM1::", "/dev/COM1::"},
    NameCase{"ttyUSB0", "/dev/ttyUSB0"},
    NameCase{"/tmp/port", "/tmp/port"},
    NameCase{"nul", "/dev/nul"},        // only the exact name is the null device
    NameCase{"", "<none>"}));

TEST(PortName, FailsWhenThePathDoesNotFit) {
    char path[10] = {};
    EXPECT_FALSE(ResolvePortName("ttyUSB0", path, 10));  // "/dev/ttyUSB0" needs 13
    char exact[13] = {};
    EXPECT_TRUE(ResolvePortName("ttyUSB0", exact, sizeof exact));
    EXPECT_STREQ(exact, "/dev/ttyUSB0");
    EXPECT_FALSE(ResolvePortName(nullptr, exact, sizeof exact));
}

TEST_F(DeviceFolder, AnEntryOfTheFolderWinsOverTheOtherRules) {
    Link("COM3", "/dev/ttyUSB0");
    Link("ttyUSB1", "/dev/ttyACM0");
    EXPECT_EQ(Resolve("COM3"), folder_ + "/COM3");
    EXPECT_EQ(Resolve("ttyUSB1"), folder_ + "/ttyUSB1");
    EXPECT_EQ(Resolve("COM4"), "/dev/ttyS3");       // not in the folder
    EXPECT_EQ(Resolve("com3"), "/dev/ttyS2");       // the entry must match exactly
}

TEST_F(DeviceFolder, NulAndNamesLeavingTheFolderAreNotLookedUp) {
    Link("NUL", "/dev/zero");
    ASSERT_EQ(mkdir((folder_ + "/sub").c_str(), 0700), 0);
    Link("sub/COM5", "/dev/ttyUSB0");
    EXPECT_EQ(Resolve("NUL"), "/dev/null");
    EXPECT_EQ(Resolve(".."), "/dev/..");
    EXPECT_EQ(Resolve("sub/COM5"), "/dev/sub/COM5");
}

TEST_F(DeviceFolder, ADanglingLinkIsStillTheEntryAndFailsToOpen) {
    Link("COM6", folder_ + "/nowhere");
    EXPECT_EQ(Resolve("COM6"), folder_ + "/COM6");
    const PortParams params{9600, 8, 0, 0};
    PortHandle handle = kNoPort;
    int osError = 0;
    EXPECT_EQ(OpenComm("COM6", &params, PORT_RTS_ON, &handle, &osError), kPortNotOpened);
    EXPECT_EQ(osError, ENOENT);
    EXPECT_FALSE(HasPort(handle));
    EXPECT_FALSE(fs::exists(folder_ + "/nowhere"));  // opening never creates a file
}

TEST_F(DeviceFolder, OpensThePseudoTerminalALinkPointsAt) {
    testing::PtyPair pty;
    ASSERT_TRUE(pty.ok());
    Link("COM7", pty.path());
    const PortParams params{9600, 8, 0, 0};
    PortHandle handle = kNoPort;
    ASSERT_EQ(OpenComm("COM7", &params, PORT_RTS_ON, &handle), kPortOk);
    std::uint32_t written = 0;
    EXPECT_EQ(WriteComm(handle, "hello", 5, &written), kPortOk);
    EXPECT_EQ(pty.Receive(5), "hello");
    EXPECT_EQ(CloseComm(handle), kPortOk);
}

}  // namespace
}  // namespace kesmzn::serial
