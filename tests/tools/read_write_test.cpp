// Reads and writes against a simulated panel reached through --port and KESMZN_DEVICES, and on the
// simulated panel that the program starts itself when no --port is given.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

#include "panel_on_link.h"

namespace kesmzn::tool::testing {
namespace {

using nlohmann::json;

constexpr int kNoAnswer = 4;
constexpr int kInvalidAddress = 5;

TEST(ToolRead, ModesZonesAndTheWholeBlockThroughAPortName) {
    TestFolder folder;
    sim::PanelConfig config = PanelConfig(12);
    config.zoneStates = {1, 1, 1, 1, 1, 1, 2};
    config.modes[3] = 42;
    const auto panel = StartPanel(folder, config);

    const Result zone = RunProgram(Kesmzn({"read", "007", "--port", "PANEL"}), folder.Env());
    EXPECT_EQ(zone.status, 0) << zone.err;
    EXPECT_EQ(zone.out, "007 = 2\n");
    EXPECT_EQ(zone.err, "");

    const Result mode = RunProgram(Kesmzn({"read", "S03", "--port", "PANEL"}), folder.Env());
    EXPECT_EQ(mode.status, 0) << mode.err;
    EXPECT_EQ(mode.out, "S3 = 42\n");

    const Result modeOfTag = RunProgram(Kesmzn({"read", "S", "--mode", "4", "--port", "PANEL"}), folder.Env());
    EXPECT_EQ(modeOfTag.status, 0) << modeOfTag.err;
    EXPECT_EQ(modeOfTag.out, "S (mode 4) = 14\n");

    const Result block = RunProgram(Kesmzn({"read", "001", "--block", "12", "--port", "PANEL"}), folder.Env());
    EXPECT_EQ(block.status, 0) << block.err;
    const auto rows = Lines(block.out);
    ASSERT_EQ(rows.size(), 3u) << block.out;
    EXPECT_EQ(Words(rows[1]), (std::vector<std::string>{"001", "1", "1", "1", "1", "1", "1", "2", "1", "1", "1"})) << rows[1];
    EXPECT_EQ(Words(rows[2]), (std::vector<std::string>{"011", "1", "1"})) << rows[2];
}

TEST(ToolRead, JsonParsesBackAndMatchesThePanel) {
    TestFolder folder;
    sim::PanelConfig config = PanelConfig(20);
    config.zoneStates = {2, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2};
    const auto panel = StartPanel(folder, config);

    const Result single = RunProgram(Kesmzn({"read", "003", "--json", "--port", "PANEL"}), folder.Env());
    ASSERT_EQ(single.status, 0) << single.err;
    const json zone = json::parse(single.out);
    EXPECT_EQ(zone["port"], "PANEL");
    EXPECT_EQ(zone["device"], panel->devicePath());
    EXPECT_EQ(zone["address"], "003");
    EXPECT_EQ(zone["kind"], 2);
    EXPECT_EQ(zone["number"], 3);
    EXPECT_EQ(zone["value"], 2);

    const Result block = RunProgram(Kesmzn({"read", "001", "--block", "20", "--json", "--port", "PANEL"}), folder.Env());
    ASSERT_EQ(block.status, 0) << block.err;
    const json zones = json::parse(block.out);
    EXPECT_EQ(zones["block"], 20);
    std::vector<int> expected;
    for (const auto state : panel->zoneStates()) expected.push_back(state);
    EXPECT_EQ(zones["values"].get<std::vector<int>>(), expected);
}

TEST(ToolWrite, SetsZonesAndModesOnThePanel) {
    TestFolder folder;
    const auto panel = StartPanel(folder);

    const Result zone = RunProgram(Kesmzn({"write", "005", "2", "--port", "PANEL"}), folder.Env());
    EXPECT_EQ(zone.status, 0) << zone.err;
    EXPECT_EQ(zone.out, "005 = 2 written\n");
    EXPECT_EQ(panel->zoneState(5), 2);

    const Result mode = RunProgram(Kesmzn({"write", "S04", "7", "--port", "PANEL"}), folder.Env());
    EXPECT_EQ(mode.status, 0) << mode.err;
    EXPECT_EQ(mode.out, "S4 = 7 written\n");
    EXPECT_EQ(panel->mode(4), 7);

    const Result modeOfTag = RunProgram(Kesmzn({"write", "S", "3", "--mode", "6", "--port", "PANEL"}), folder.Env());
    EXPECT_EQ(modeOfTag.status, 0) << modeOfTag.err;
    EXPECT_EQ(panel->mode(6), 3);

    // Read back through the driver, not only from the panel's side.
    EXPECT_EQ(RunProgram(Kesmzn({"read", "005", "--port", "PANEL"}), folder.Env()).out, "005 = 2\n");
}

TEST(ToolWrite, ValuesTheAddressCannotTakeAreRefusedBeforeAnythingIsSent) {
    TestFolder folder;
    const auto panel = StartPanel(folder);
    const struct {
        const char* address;
        const char* value;
        const char* reason;
    } cases[] = {
        {"005", "3", "state 1 or 2"},
        {"005", "0", "state 1 or 2"},
        {"S04", "12", "one digit, 0 to 9"},  // the driver would send only its first digit
        {"S04", "-1", "one digit, 0 to 9"},
    };
    for (const auto& each : cases) {
        const Result result = RunProgram(Kesmzn({"write", each.address, each.value, "--port", "PANEL"}), folder.Env());
        EXPECT_EQ(result.status, kInvalidAddress) << each.address << " " << each.value;
        EXPECT_NE(result.err.find(each.reason), std::string::npos) << result.err;
        EXPECT_EQ(LineCount(result.err), 1u) << result.err;
    }
    EXPECT_EQ(panel->stats().bytesReceived, 0u);
    EXPECT_EQ(panel->mode(4), 14);
}

TEST(ToolEmbedded, WithoutAPortASimulatedPanelAnswersAndSaysSoInOneLine) {
    const Environment noDevices = {{"KESMZN_DEVICES", std::nullopt}};
    const Result text = RunProgram(Kesmzn({"read", "007"}), noDevices);
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, "007 = 1\n");
    EXPECT_EQ(LineCount(text.err), 1u) << text.err;
    EXPECT_NE(text.err.find("simulated panel"), std::string::npos) << text.err;

    // The notice stays on standard error: standard output is the JSON alone.
    const Result machine = RunProgram(Kesmzn({"read", "S07", "--json"}), noDevices);
    EXPECT_EQ(machine.status, 0) << machine.err;
    const json mode = json::parse(machine.out);
    EXPECT_EQ(mode["value"], 7);
    EXPECT_EQ(mode["port"], "SIM");

    const Result write = RunProgram(Kesmzn({"write", "002", "2"}), noDevices);
    EXPECT_EQ(write.status, 0) << write.err;
}

TEST(ToolEmbedded, TheDemoRunsEveryStep) {
    const Result demo = RunProgram(Kesmzn({"demo"}), {{"KESMZN_DEVICES", std::nullopt}});
    EXPECT_EQ(demo.status, 0) << demo.err;
    for (const char* text : {"$ kesmzn read 001 --block 16", "S1 = 1", "S3 = 3", "003 = 2 written", "S2 = 5 written",
                             "6 reads sent, 6 answered, 0 failed"}) {
        EXPECT_NE(demo.out.find(text), std::string::npos) << text << "\n" << demo.out;
    }
    EXPECT_EQ(LineCount(demo.err), 1u) << demo.err;
}

TEST(ToolStation, SelectsTheInitializationFileInTheCurrentFolder) {
    TestFolder folder;
    sim::PanelConfig config = PanelConfig();
    config.password = 1234;  // frames with another password go unanswered
    const auto panel = StartPanel(folder, config);
    std::ofstream(folder.path() / "KESMZN07.int") << "PASSWORD=1234\n";

    const Result right = RunProgram(Kesmzn({"read", "007", "--station", "7", "--port", "PANEL"}), folder.Env(), folder.path());
    EXPECT_EQ(right.status, 0) << right.err;
    EXPECT_EQ(right.out, "007 = 1\n");

    const Result wrong = RunProgram(Kesmzn({"read", "007", "--station", "3", "--port", "PANEL"}), folder.Env(), folder.path());
    EXPECT_EQ(wrong.status, kNoAnswer);
    EXPECT_NE(wrong.err.find("KESMZN03.int"), std::string::npos) << wrong.err;
}

TEST(ToolTrace, TheExchangeTraceGoesToStandardErrorAndTheLogToItsFile) {
    TestFolder folder;
    const auto panel = StartPanel(folder);

    const Result traced = RunProgram(Kesmzn({"read", "007", "--trace", "--port", "PANEL"}), folder.Env());
    EXPECT_EQ(traced.status, 0) << traced.err;
    EXPECT_EQ(traced.out, "007 = 1\n");
    EXPECT_NE(traced.err.find("[8] KesMZN: GetPoint(), RecvBuf -> :"), std::string::npos) << traced.err;
    EXPECT_NE(traced.err.find("[64] KesMZN-> ColdStart() version"), std::string::npos) << traced.err;

    const std::string logFile = (folder.path() / "driver.log").string();
    const Result logged = RunProgram(Kesmzn({"read", "007", "--log", logFile, "--port", "PANEL"}), folder.Env());
    EXPECT_EQ(logged.status, 0) << logged.err;
    EXPECT_EQ(logged.err, "");
    std::ifstream file(logFile);
    const std::string log((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("[64] KesMZN-> ColdStart() version"), std::string::npos) << log;
    EXPECT_EQ(log.find("[8] "), std::string::npos) << "the trace only with --trace\n" << log;
}

}  // namespace
}  // namespace kesmzn::tool::testing
