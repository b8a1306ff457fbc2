// poll: timestamped reads, statistics at the end, and a panel that goes away and comes back.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>


#include "panel_on_link.h"

namespace kesmzn::tool::testing {
namespace {

using nlohmann::json;

constexpr int kNoAnswer = 4;

TEST(ToolPoll, CountedRoundsPrintOneTimestampedLineEachAndStatistics) {
    TestFolder folder;
    const auto panel = StartPanel(folder);
    const Result result = RunProgram(Kesmzn({"poll", "007", "S02", "--count", "3", "--interval", "50", "--port", "PANEL"}), folder.Env());
    EXPECT_EQ(result.status, 0) << result.err;
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 8u) << result.out;
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_TRUE(Shaped(lines[i].substr(0, 25), "9999-99-99 99:99:99.999  ")) << lines[i];
        EXPECT_EQ(lines[i].substr(25), i % 2 == 0 ? "007 = 1" : "S2 = 12") << lines[i];
    }
    EXPECT_EQ(lines[6], "--- PANEL (" + panel->devicePath() + ") poll statistics ---");
    EXPECT_EQ(lines[7], "6 reads sent, 6 answered, 0 failed (0.0% failed)");
}

TEST(ToolPoll, JsonLinesParseBackWithTheStatisticsLast) {
    TestFolder folder;
    const auto panel = StartPanel(folder);
    const Result result =
        RunProgram(Kesmzn({"poll", "005", "--count", "2", "--interval", "50", "--json", "--port", "PANEL"}), folder.Env());
    EXPECT_EQ(result.status, 0) << result.err;
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 3u) << result.out;
    for (std::size_t i = 0; i < 2; ++i) {
        const json read = json::parse(lines[i]);
        EXPECT_EQ(read["address"], "005");
        EXPECT_EQ(read["kind"], 2);
        EXPECT_EQ(read["value"], 1);
        EXPECT_TRUE(Shaped(read["time"].get<std::string>(), "9999-99-99T99:99:99.999+99:99")) << read["time"];
    }
    const json statistics = json::parse(lines[2])["statistics"];
    EXPECT_EQ(statistics["sent"], 2);
    EXPECT_EQ(statistics["answered"], 2);
    EXPECT_EQ(statistics["failed"], 0);
}

TEST(ToolPoll, CtrlCEndsItWithTheStatistics) {
    TestFolder folder;
    const auto panel = StartPanel(folder);
    Process poll(Kesmzn({"poll", "007", "--interval", "100", "--port", "PANEL"}), folder.Env());
    ASSERT_TRUE(poll.started());
    ASSERT_TRUE(poll.WaitFor([&] { return LineCount(poll.out()) >= 2; }, 10s)) << poll.out() << poll.err();
    poll.Signal(SIGINT);
    EXPECT_EQ(poll.Finish(10s), 0) << poll.err();
    const auto counts = Statistics(poll.out());
    ASSERT_EQ(counts.size(), 3u) << poll.out();
    EXPECT_GE(counts[0], 2);
    EXPECT_EQ(counts[1], counts[0]);
    EXPECT_EQ(counts[2], 0);
}

TEST(ToolPoll, SurvivesThePanelGoingAwayAndComingBack) {
    TestFolder folder;
    auto panel = StartPanel(folder);
    Process poll(Kesmzn({"poll", "007", "--interval", "100", "--port", "PANEL"}), folder.Env());
    ASSERT_TRUE(poll.started());
    ASSERT_TRUE(poll.WaitForOutput("007 = 1")) << poll.err();

    panel->stop();  // the line hangs up and the port name goes with it, as when an adapter is pulled
    ASSERT_TRUE(poll.WaitForError("lost", 15s)) << poll.out() << poll.err();
    EXPECT_NE(poll.err().find("port PANEL ("), std::string::npos) << poll.err();
    EXPECT_NE(poll.out().find("007: no answer after ten attempts"), std::string::npos) << poll.out();

    sim::PanelConfig config = PanelConfig();
    config.zoneStates = {1, 1, 1, 1, 1, 1, 2};
    panel = StartPanel(folder, config);  // back, on another pseudo-terminal behind the same name
    ASSERT_TRUE(poll.WaitForError("back after", 20s)) << poll.err();
    ASSERT_TRUE(poll.WaitForOutput("007 = 2", 10s)) << poll.out() << poll.err();
    EXPECT_NE(poll.err().find("port PANEL (" + panel->devicePath() + ") back after"), std::string::npos) << poll.err();

    poll.Signal(SIGINT);
    EXPECT_EQ(poll.Finish(10s), kNoAnswer) << "a read failed on the way";
    const auto counts = Statistics(poll.out());
    ASSERT_EQ(counts.size(), 3u) << poll.out();
    EXPECT_GE(counts[2], 1);
    EXPECT_EQ(counts[1] + counts[2], counts[0]);
}

}  // namespace
}  // namespace kesmzn::tool::testing
