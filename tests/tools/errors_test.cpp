// What goes wrong most often, each with one clear line on standard error (the port as given, the
// device it resolved to, the cause, a hint) and an exit status of its own.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/file.h>
#include <fcntl.h>

#include <fstream>

#include "panel_on_link.h"

namespace kesmzn::tool::testing {
namespace {

constexpr int kPortNotOpened = 3;
constexpr int kNoAnswer = 4;
constexpr int kInvalidAddress = 5;

TEST(ToolOpenErrors, NameThePortTheDeviceTheCauseAndAHint) {
    TestFolder folder;
    const auto panel = StartPanel(folder);
    fs::create_symlink(folder.path() / "unplugged", folder.devices() / "GONE");
    std::ofstream(folder.path() / "plain.txt") << "not a device\n";
    fs::create_symlink(folder.path() / "plain.txt", folder.devices() / "FILE");
    const struct {
        std::vector<std::string> arguments;
        std::vector<std::string> expected;  // each part must be in the line
    } cases[] = {
        {{"--port", "NOPE"}, {"port NOPE (/dev/NOPE)", "not found", "has no entry NOPE", "kesmzn ports"}},
        {{"--port", "GONE"}, {"port GONE (", "not found", "points to " + (folder.path() / "unplugged").string()}},
        {{"--port", "FILE"}, {"port FILE (" + (folder.path() / "plain.txt").string() + ")", "not a terminal", "regular file"}},
        {{"--port", "/dev/serial/by-id/usb-0403"}, {"/dev/serial/by-id/usb-0403", "at most 11 characters", "KESMZN_DEVICES"}},
        {{"--port", "PANEL", "--stop-bits", "1.5"}, {"port PANEL (" + panel->devicePath() + ")", "line settings refused", "--stop-bits 1 or 2"}},
    };
    for (const auto& each : cases) {
        std::vector<std::string> arguments = {"read", "007"};
        arguments.insert(arguments.end(), each.arguments.begin(), each.arguments.end());
        const Result result = RunProgram(Kesmzn(arguments), folder.Env());
        EXPECT_EQ(result.status, kPortNotOpened) << each.arguments[1] << ": " << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(LineCount(result.err), 1u) << result.err;
        for (const std::string& part : each.expected) EXPECT_NE(result.err.find(part), std::string::npos) << part << "\n" << result.err;
    }
    EXPECT_EQ(panel->stats().bytesReceived, 0u);
}

TEST(ToolOpenErrors, ADeviceHeldByAnotherProgramIsInUseAndTheHolderIsNamed) {
    TestFolder folder;
    const auto panel = StartPanel(folder);
    const int held = open(panel->devicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);

    const Result result = RunProgram(Kesmzn({"read", "007", "--port", "PANEL"}), folder.Env());
    EXPECT_EQ(result.status, kPortNotOpened) << result.err;
    EXPECT_EQ(LineCount(result.err), 1u) << result.err;
    EXPECT_NE(result.err.find("in use"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("pid " + std::to_string(getpid())), std::string::npos) << result.err;
    close(held);

    EXPECT_EQ(RunProgram(Kesmzn({"read", "007", "--port", "PANEL"}), folder.Env()).status, 0) << "free again";
}

std::string GroupName(gid_t gid) {
    const group* entry = getgrgid(gid);
    return entry != nullptr ? entry->gr_name : std::to_string(gid);
}

TEST(ToolOpenErrors, ADeviceThisUserMayNotOpenSaysWhichGroupToJoin) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
    TestFolder folder;
    const auto panel = StartPanel(folder);
    // The device as a real port is set up: owned by root and a group, no access for others.
    ASSERT_EQ(chown(panel->devicePath().c_str(), 0, 20), 0);  // group 20: dialout on Debian
    ASSERT_EQ(chmod(panel->devicePath().c_str(), 0660), 0);
    fs::permissions(folder.path(), fs::perms::all);
    fs::permissions(folder.devices(), fs::perms::all);

    // As nobody, who is in no group: a child that drops root before it runs the program. A build
    // folder that other users may not enter (a checkout in a private temporary folder) cannot show it.
    const std::string asNobody = std::string("exec setpriv --reuid=65534 --regid=65534 --clear-groups ") + KESMZN_TOOL_PATH;
    const Result probe = RunProgram({"/bin/sh", "-c", asNobody + " --version"}, folder.Env());
    if (probe.status != 0) GTEST_SKIP() << "cannot run the program as nobody here: " << probe.err;
    const Result result = RunProgram({"/bin/sh", "-c", asNobody + " read 007 --port PANEL"}, folder.Env());
    EXPECT_EQ(result.status, kPortNotOpened) << result.err;
    EXPECT_EQ(LineCount(result.err), 1u) << result.err;
    EXPECT_NE(result.err.find("no permission"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("is not in group " + GroupName(20)), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("usermod -aG"), std::string::npos) << result.err;
}

TEST(ToolPanelErrors, ASilentPanelIsNoAnswerAfterTenAttempts) {
    TestFolder folder;
    sim::PanelConfig config = PanelConfig();
    config.faults[static_cast<std::size_t>(sim::Fault::Silent)].probability = 1.0;
    const auto panel = StartPanel(folder, config);

    const Result read = RunProgram(Kesmzn({"read", "007", "--port", "PANEL"}), folder.Env());
    EXPECT_EQ(read.status, kNoAnswer) << read.err;
    EXPECT_EQ(read.out, "");
    EXPECT_EQ(LineCount(read.err), 1u) << read.err;
    for (const char* part : {"read 007 on port PANEL (", "did not answer after ten attempts", "nothing came back"}) {
        EXPECT_NE(read.err.find(part), std::string::npos) << part << "\n" << read.err;
    }
    EXPECT_EQ(panel->stats().commandsReceived, 10u) << "ten attempts, each heard once";

    const Result write = RunProgram(Kesmzn({"write", "005", "2", "--port", "PANEL"}), folder.Env());
    EXPECT_EQ(write.status, kNoAnswer) << write.err;
    EXPECT_NE(write.err.find("write 005"), std::string::npos) << write.err;
}

TEST(ToolPanelErrors, AWrongBlockSizeTellsThePanelsZoneCount) {
    TestFolder folder;
    const auto panel = StartPanel(folder, PanelConfig(12));
    const Result result = RunProgram(Kesmzn({"read", "001", "--block", "8", "--port", "PANEL"}), folder.Env());
    EXPECT_EQ(result.status, kInvalidAddress) << result.err;
    EXPECT_EQ(LineCount(result.err), 1u) << result.err;
    EXPECT_NE(result.err.find("the panel has 12 zones: give --block 12"), std::string::npos) << result.err;
}

TEST(ToolPanelErrors, AnInvalidAddressIsRefusedBeforeAnyPortIsOpened) {
    const Result result = RunProgram(Kesmzn({"read", "S20", "--port", "NOPE"}), {{"KESMZN_DEVICES", std::nullopt}});
    EXPECT_EQ(result.status, kInvalidAddress);
    EXPECT_EQ(LineCount(result.err), 1u) << result.err;
    EXPECT_NE(result.err.find("invalid address S20: the mode number is 20: modes are 1 to 19"), std::string::npos) << result.err;
}

TEST(ToolPanelErrors, TheNullDeviceRunsTheDriverButNoPanelAnswers) {
    const Result result = RunProgram(Kesmzn({"read", "S01", "--port", "NUL"}), {{"KESMZN_DEVICES", std::nullopt}});
    EXPECT_EQ(result.status, kNoAnswer);
    EXPECT_NE(result.err.find("NUL is the null device"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace kesmzn::tool::testing
