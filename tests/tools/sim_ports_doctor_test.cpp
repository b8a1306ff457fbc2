// The commands around the panel: sim plays one for another process, ports lists what can be opened,
// doctor checks a port step by step.
#include <gtest/gtest.h>

#include "panel_on_link.h"

namespace kesmzn::tool::testing {
namespace {

constexpr int kPortNotOpened = 3;
constexpr int kNoAnswer = 4;

TEST(ToolSim, PlaysThePanelForAnotherProgramUntilStopped) {
    TestFolder folder;
    const fs::path link = folder.devices() / "SIMX";
    Process sim(Kesmzn({"sim", "--link", link.string(), "--zones", "4", "--modes", "9,8", "--quiet"}));
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(sim.WaitFor([&] { return LineCount(sim.out()) >= 1; }, 10s)) << sim.err();
    EXPECT_EQ(sim.out(), fs::read_symlink(link).string() + "\n");

    EXPECT_EQ(RunProgram(Kesmzn({"read", "S01", "--port", "SIMX"}), folder.Env()).out, "S1 = 9\n");
    const Result block = RunProgram(Kesmzn({"read", "001", "--block", "4", "--port", "SIMX"}), folder.Env());
    EXPECT_EQ(block.status, 0) << block.err;

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Finish(10s), 0);
    EXPECT_NE(sim.out().find("commands received 2, answered 2"), std::string::npos) << sim.out();
    EXPECT_FALSE(fs::is_symlink(link)) << "the link goes with the panel";
}

TEST(ToolSim, RefusesBadOptions) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"sim", "--zones", "300"}, {"sim", "--drop-ack", "2"}, {"sim", "--modes", "1,300"}, {"sim", "--password", "70000"}}) {
        EXPECT_EQ(RunProgram(Kesmzn(arguments)).status, 2) << arguments[1] << " " << arguments[2];
    }
    EXPECT_EQ(RunProgram(Kesmzn({"sim", "--device", "/nonexistent/tty", "--quiet"})).status, 1);
}

TEST(ToolPorts, ListsThePortNamesOfKesmznDevicesAndWhatIsMissing) {
    TestFolder folder;
    const auto panel = StartPanel(folder);
    fs::create_symlink("/dev/ttyUSB97", folder.devices() / "GONE");
    fs::create_symlink("/dev/null", folder.devices() / "MUCH-TOO-LONG-NAME");
    const Result result = RunProgram(Kesmzn({"ports"}), folder.Env());
    EXPECT_EQ(result.status, 0) << result.err;
    const auto lines = Lines(result.out);
    auto line = [&](const std::string& start) {
        for (const auto& each : lines) {
            if (each.rfind("  " + start, 0) == 0) return each;
        }
        return std::string();
    };
    EXPECT_NE(line("PANEL").find("-> " + panel->devicePath()), std::string::npos) << result.out;
    EXPECT_EQ(line("PANEL").find("missing"), std::string::npos) << result.out;
    EXPECT_NE(line("GONE").find("-> /dev/ttyUSB97  (missing)"), std::string::npos) << result.out;
    EXPECT_NE(line("MUCH-TOO-LONG-NAME").find("longer than 11 characters"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("serial devices:"), std::string::npos);

    const Result unset = RunProgram(Kesmzn({"ports"}), {{"KESMZN_DEVICES", std::nullopt}});
    EXPECT_NE(unset.out.find("KESMZN_DEVICES is not set"), std::string::npos) << unset.out;
}

TEST(ToolDoctor, EveryCheckPassesOnAWorkingPort) {
    TestFolder folder;
    const auto panel = StartPanel(folder);
    const Result result = RunProgram(Kesmzn({"doctor", "--port", "PANEL"}), folder.Env());
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    for (const std::string& expected :
         {"  ok    name         PANEL -> " + (folder.devices() / "PANEL").string(), std::string("  ok    device "),
          std::string("  ok    access "), std::string("  ok    terminal "), "  note  free         also open in pid " + std::to_string(getpid()) + " (tool_tests)",
          std::string("  note  modem lines  none"), std::string("  ok    panel        the mode query S1 was answered: 11"),
          std::string("all checks passed")}) {
        EXPECT_NE(result.out.find(expected), std::string::npos) << expected << "\n" << result.out;
    }
    EXPECT_EQ(result.out.find("FAIL"), std::string::npos) << result.out;
}

TEST(ToolDoctor, StopsAtTheFirstFailureWithWhatToDo) {
    TestFolder folder;
    sim::PanelConfig config = PanelConfig();
    config.faults[static_cast<std::size_t>(sim::Fault::Silent)].probability = 1.0;
    const auto silent = StartPanel(folder, config, "QUIET");

    const Result missing = RunProgram(Kesmzn({"doctor", "--port", "NOPE"}), folder.Env());
    EXPECT_EQ(missing.status, kPortNotOpened) << missing.out;
    EXPECT_NE(missing.out.find("  FAIL  device       /dev/NOPE does not exist"), std::string::npos) << missing.out;
    EXPECT_NE(missing.out.find("-> is the adapter plugged in?"), std::string::npos) << missing.out;
    EXPECT_EQ(missing.out.find("panel"), std::string::npos) << "nothing after the first failure\n" << missing.out;

    const Result quiet = RunProgram(Kesmzn({"doctor", "--port", "QUIET"}), folder.Env());
    EXPECT_EQ(quiet.status, kNoAnswer) << quiet.out;
    EXPECT_NE(quiet.out.find("  ok    settings "), std::string::npos) << quiet.out;
    EXPECT_NE(quiet.out.find("  FAIL  panel        no answer to the mode query S1 after ten attempts"), std::string::npos)
        << quiet.out;
}

}  // namespace
}  // namespace kesmzn::tool::testing
