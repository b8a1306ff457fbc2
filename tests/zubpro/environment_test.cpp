// Defaults taken from the environment at first use, each checked in a fresh process.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>

#include "support.h"

namespace zubpro::testing {
namespace {

CommandResult Probe(const std::string& environment, const std::string& arguments) {
    return RunCommand(std::string(kCleanEnvironment) + environment + " " + Quoted(ZUBPRO_ENV_PROBE) + " " + arguments);
}

TEST(Environment, LogMask) {
    struct Case {
        const char* environment;
        const char* mask;
        bool noted;  // a note on standard error says the value was ignored
    };
    const Case cases[] = {
        {"", "96", false},
        {"ZUBPRO_LOG_MASK=104", "104", false},
        {"ZUBPRO_LOG_MASK=0x68", "104", false},
        {"ZUBPRO_LOG_MASK=0104", "104", false},  // a leading zero does not make it octal
        {"ZUBPRO_LOG_MASK=4294967295", "4294967295", false},
        {"ZUBPRO_LOG_MASK=", "96", false},
        {"ZUBPRO_LOG_MASK=104x", "96", true},
        {"ZUBPRO_LOG_MASK=-1", "96", true},
        {"ZUBPRO_LOG_MASK=0x", "96", true},
        {"ZUBPRO_LOG_MASK=1f", "96", true},
        {"ZUBPRO_LOG_MASK=4294967296", "96", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.environment);
        const CommandResult run = Probe(c.environment, "mask");
        EXPECT_EQ(run.status, 0);
        const std::string expected = std::string(c.mask) + "\n";
        if (c.noted) {
            EXPECT_NE(run.output.find("zubpro: ignoring ZUBPRO_LOG_MASK="), std::string::npos) << run.output;
            EXPECT_EQ(run.output.size() >= expected.size() ? run.output.substr(run.output.size() - expected.size()) : "", expected);
        } else {
            EXPECT_EQ(run.output, expected);
        }
    }
}

TEST(Environment, TickPeriodDefaultsToHalfASecond) {
    const CommandResult run = Probe("", "tick 5000");
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_NE(run.output, "none\n");
    const int elapsed = std::stoi(run.output);
    EXPECT_GE(elapsed, 450);
    EXPECT_LT(elapsed, 1900);
}

TEST(Environment, TickPeriodFromTheEnvironment) {
    const CommandResult run = Probe("ZUBPRO_TICK_MS=2000", "tick 8000");
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_NE(run.output, "none\n");
    EXPECT_GE(std::stoi(run.output), 1950);
}

TEST(Environment, TickPeriodZeroMeansNoTicks) {
    const CommandResult run = Probe("ZUBPRO_TICK_MS=0", "tick 1000");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "none\n");
}

TEST(Environment, LogFileThatCannotBeOpenedFallsBackToStandardErrorAndSaysSo) {
    const CommandResult run = Probe("ZUBPRO_LOG=/nonexistent-zubpro-dir/log.txt", "log");
    ASSERT_EQ(run.status, 0);
    const auto lines = SplitLines(run.output);
    ASSERT_EQ(lines.size(), 2u) << run.output;
    EXPECT_NE(lines[0].find("zubpro: cannot open ZUBPRO_LOG=/nonexistent-zubpro-dir/log.txt"), std::string::npos);
    EXPECT_EQ(ParseLogLine(lines[1]).text, "probe line");
}

// "ZZZ-05:30" is a zone half an hour off any whole-hour one: a stamp in UTC or in the machine's zone
// would not match.
TEST(Environment, StampIsInTheLocalTimeOfTheProcess) {
    TempFile log;
    const auto secondsOfDay = [] {
        const std::time_t now = std::time(nullptr);
        std::tm utc{};
        gmtime_r(&now, &utc);
        return (utc.tm_hour * 3600 + utc.tm_min * 60 + utc.tm_sec + 5 * 3600 + 30 * 60) % 86400;
    };
    const int before = secondsOfDay();
    const CommandResult run = Probe("TZ=ZZZ-05:30 ZUBPRO_LOG=" + Quoted(log.path()), "log");
    const int after = secondsOfDay();
    ASSERT_EQ(run.status, 0) << run.output;
    const auto lines = SplitLines(ReadAll(log.path()));
    ASSERT_EQ(lines.size(), 1u);
    const LogLine line = ParseLogLine(lines[0]);
    ASSERT_TRUE(line.whole) << lines[0];
    if (after >= before) {  // not across midnight
        EXPECT_GE(line.seconds, before) << lines[0];
        EXPECT_LE(line.seconds, after) << lines[0];
    }
}

}  // namespace
}  // namespace zubpro::testing
