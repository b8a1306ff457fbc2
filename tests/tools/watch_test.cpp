// The live view under tmux, as a person sees it: the grid, a zone set with the keys, the next refresh.
#include <gtest/gtest.h>

#include <fstream>

#include "panel_on_link.h"

namespace kesmzn::tool::testing {
namespace {

constexpr int kUsage = 2;

// A tmux server of the test's own (its own socket), with one detached session that runs a command.
class Tmux {
public:
    Tmux(const TestFolder& folder, const std::string& command) : socket_((folder.path() / "tmux.socket").string()) {
        const Result started = RunProgram({"/usr/bin/tmux", "-S", socket_, "-f", "/dev/null", "new-session", "-d", "-x", "100",
                                    "-y", "30", "-s", "watch", command});
        ok_ = started.status == 0;
        error_ = started.err;
    }
    ~Tmux() { RunProgram({"/usr/bin/tmux", "-S", socket_, "kill-server"}); }
    Tmux(const Tmux&) = delete;
    Tmux& operator=(const Tmux&) = delete;

    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }

    std::string Screen() const { return RunProgram({"/usr/bin/tmux", "-S", socket_, "capture-pane", "-p", "-t", "watch"}).out; }

    void Keys(const std::vector<std::string>& keys) const {
        std::vector<std::string> command = {"/usr/bin/tmux", "-S", socket_, "send-keys", "-t", "watch"};
        command.insert(command.end(), keys.begin(), keys.end());
        RunProgram(command);
    }

    // Waits until the screen shows text; the last screen is kept for messages.
    bool WaitForScreen(const std::string& text, std::chrono::milliseconds timeout = 15s) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            last_ = Screen();
            if (last_.find(text) != std::string::npos) return true;
            if (Clock::now() >= deadline) return false;
            std::this_thread::sleep_for(100ms);
        }
    }
    const std::string& last() const { return last_; }

private:
    std::string socket_;
    bool ok_ = false;
    std::string error_;
    std::string last_;
};

// The program's exit status, written by the shell that runs it inside tmux.
std::string WatchCommand(const TestFolder& folder, const std::string& arguments) {
    const std::string status = (folder.path() / "status").string();
    return "env KESMZN_DEVICES=" + folder.devices().string() + " " + KESMZN_TOOL_PATH + " watch " + arguments +
           "; echo $? > " + status;
}

std::string ExitStatus(const TestFolder& folder) {
    const auto deadline = Clock::now() + 10s;
    std::string status;
    while (Clock::now() < deadline) {
        std::ifstream file(folder.path() / "status");
        if (std::getline(file, status)) return status;
        std::this_thread::sleep_for(50ms);
    }
    return "none";
}

TEST(ToolWatch, ShowsTheGridAndAZoneSetWithTheKeysOnTheNextRefresh) {
    TestFolder folder;
    const auto panel = StartPanel(folder, PanelConfig(12));
    // No --zones: the view finds the panel's twelve zones by itself.
    Tmux tmux(folder, WatchCommand(folder, "--port PANEL --interval 300"));
    ASSERT_TRUE(tmux.ok()) << tmux.error();
    ASSERT_TRUE(tmux.WaitForScreen("012:1")) << tmux.last();
    EXPECT_NE(tmux.last().find("[001:1]"), std::string::npos) << "the first zone is selected\n" << tmux.last();
    EXPECT_EQ(tmux.last().find("013:"), std::string::npos) << tmux.last();
    EXPECT_NE(tmux.last().find("port PANEL (" + panel->devicePath() + ")"), std::string::npos) << tmux.last();

    tmux.Keys({"Right", "Right", "Down", "Up", "2"});
    ASSERT_TRUE(tmux.WaitForScreen("[003:2]")) << tmux.last();
    EXPECT_EQ(panel->zoneState(3), 2);
    EXPECT_NE(tmux.last().find("zone 003 set to 2"), std::string::npos) << tmux.last();

    tmux.Keys({"1"});
    ASSERT_TRUE(tmux.WaitForScreen("[003:1]")) << tmux.last();
    EXPECT_EQ(panel->zoneState(3), 1);

    // A change on the panel's side shows on a later refresh.
    panel->setZoneState(9, 2);
    ASSERT_TRUE(tmux.WaitForScreen(" 009:2 ")) << tmux.last();

    tmux.Keys({"q"});
    EXPECT_EQ(ExitStatus(folder), "0");
}

TEST(ToolWatch, SurvivesThePanelGoingAwayAndComingBack) {
    TestFolder folder;
    auto panel = StartPanel(folder, PanelConfig(12));
    Tmux tmux(folder, WatchCommand(folder, "--port PANEL --zones 12 --interval 200"));
    ASSERT_TRUE(tmux.ok()) << tmux.error();
    ASSERT_TRUE(tmux.WaitForScreen("012:1")) << tmux.last();

    panel->stop();
    ASSERT_TRUE(tmux.WaitForScreen("lost")) << tmux.last();
    sim::PanelConfig config = PanelConfig(12);
    config.zoneStates = {2};
    panel = StartPanel(folder, config);
    ASSERT_TRUE(tmux.WaitForScreen("back after", 20s)) << tmux.last();
    ASSERT_TRUE(tmux.WaitForScreen("[001:2]")) << tmux.last();

    tmux.Keys({"q"});
    EXPECT_EQ(ExitStatus(folder), "0");
}

TEST(ToolWatch, RunsOnTheSimulatedPanelWithoutAPortAndEndsOnCtrlC) {
    TestFolder folder;
    Tmux tmux(folder, WatchCommand(folder, "--interval 200"));
    ASSERT_TRUE(tmux.ok()) << tmux.error();
    ASSERT_TRUE(tmux.WaitForScreen("016:1")) << tmux.last();
    EXPECT_NE(tmux.last().find("simulated panel"), std::string::npos) << tmux.last();
    tmux.Keys({"End", "2"});
    ASSERT_TRUE(tmux.WaitForScreen("[016:2]")) << tmux.last();
    tmux.Keys({"C-c"});
    EXPECT_EQ(ExitStatus(folder), "0");
}

TEST(ToolWatch, NeedsATerminal) {
    const Result result = RunProgram(Kesmzn({"watch"}));
    EXPECT_EQ(result.status, kUsage);
    EXPECT_NE(result.err.find("needs a terminal"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace kesmzn::tool::testing
