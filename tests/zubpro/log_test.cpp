// The logger: line shape, escaping, level filtering, destinations, long and concurrent lines.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "support.h"
#include "zubpro.h"

namespace zubpro::testing {
namespace {

// Logs into a temporary file for the test's duration; the destination and mask are process-wide, so
// both are put back afterwards.
class LogToFile : public ::testing::Test {
protected:
    void SetUp() override {
        previousMask_ = ZubGetLogMask();
        ASSERT_EQ(ZubSetLogFile(file_.path().c_str()), 0);
        ZubSetLogMask(ZUB_LEVEL_TRACE | ZUB_LEVEL_EVENT | ZUB_LEVEL_VERSION);
    }
    void TearDown() override {
        ZubSetLogFile(nullptr);
        ZubSetLogMask(previousMask_);
    }
    std::vector<std::string> Bodies() const { return LoggedBodies(file_.path()); }

    TempFile file_;
    std::uint32_t previousMask_ = 0;
};

struct EscapeCase {
    const char* name;
    std::string text;
    std::string logged;
};

class Escaping : public LogToFile, public ::testing::WithParamInterface<EscapeCase> {};

TEST_P(Escaping, KeepsTheTextOnOneLine) {
    err(ZUB_LEVEL_EVENT, "%s", GetParam().text.c_str());
    EXPECT_EQ(Bodies(), std::vector<std::string>{"[32] " + GetParam().logged});
}

INSTANTIATE_TEST_SUITE_P(Logger, Escaping,
                         ::testing::Values(EscapeCase{"Plain", "KesMZN: GetPoint() 007 = 1", "KesMZN: GetPoint() 007 = 1"},
                                           EscapeCase{"ReceivedFrame", ":0A0912\r\n", ":0A0912\\r\\n"},
                                           EscapeCase{"LoneLineFeed", "one\ntwo", "one\\ntwo"},
                                           EscapeCase{"Tab", "a\tb", "a\\tb"},
                                           EscapeCase{"OtherControl", "\x01x\x1B", "\\x01x\\x1B"},
                                           EscapeCase{"Delete", "\x7F", "\\x7F"},
                                           EscapeCase{"HighBytes", "\xB0\xFF", "\\xB0\\xFF"},
                                           EscapeCase{"PrintableEdges", " ~", " ~"},
                                           EscapeCase{"Empty", "", ""}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(LogToFile, WritesStampLevelAndTextInLocalTime) {
    const auto secondsOfDay = [] {
        const time_t now = time(nullptr);
        tm local{};
        localtime_r(&now, &local);
        return local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    };
    const int before = secondsOfDay();
    // Control characters in the format are escaped as well as those in the values.
    err(ZUB_LEVEL_VERSION, "KesMZN: line %d\r\n", 7);
    const int after = secondsOfDay();

    const std::string content = ReadAll(file_.path());
    ASSERT_FALSE(content.empty());
    EXPECT_EQ(content.back(), '\n');
    const auto lines = SplitLines(content);
    ASSERT_EQ(lines.size(), 1u) << content;
    const LogLine line = ParseLogLine(lines[0]);
    ASSERT_TRUE(line.whole) << lines[0];
    EXPECT_EQ(line.level, 64);
    EXPECT_EQ(line.text, "KesMZN: line 7\\r\\n");
    if (after >= before) {  // not across midnight
        EXPECT_GE(line.seconds, before);
        EXPECT_LE(line.seconds, after);
    }
}

TEST_F(LogToFile, MaskSelectsTheLevels) {
    struct Case {
        std::uint32_t mask;
        int level;
        bool written;
    };
    const Case cases[] = {
        {96, ZUB_LEVEL_TRACE, false}, {104, ZUB_LEVEL_TRACE, true}, {96, ZUB_LEVEL_EVENT, true},
        {96, ZUB_LEVEL_VERSION, true}, {32, ZUB_LEVEL_VERSION, false}, {0, ZUB_LEVEL_EVENT, false},
        {0xFFFFFFFFu, 1, true},
    };
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        ZubSetLogMask(c.mask);
        EXPECT_EQ(ZubGetLogMask(), c.mask);
        const std::string text = "mask " + std::to_string(c.mask) + " level " + std::to_string(c.level);
        err(c.level, "%s", text.c_str());
        if (c.written) expected.push_back("[" + std::to_string(c.level) + "] " + text);
    }
    EXPECT_EQ(Bodies(), expected);
}

TEST_F(LogToFile, AppendsToWhatTheFileHolds) {
    ASSERT_EQ(ZubSetLogFile(nullptr), 0);
    {
        std::ofstream out(file_.path());
        out << "earlier run\n";
    }
    ASSERT_EQ(ZubSetLogFile(file_.path().c_str()), 0);
    err(ZUB_LEVEL_EVENT, "this run");
    const auto lines = SplitLines(ReadAll(file_.path()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "earlier run");
    EXPECT_EQ(ParseLogLine(lines[1]).text, "this run");
}

TEST_F(LogToFile, FileThatCannotBeOpenedLeavesTheLogWhereItWas) {
    EXPECT_NE(ZubSetLogFile("/nonexistent-zubpro-dir/log.txt"), 0);
    err(ZUB_LEVEL_EVENT, "still here");
    EXPECT_EQ(Bodies(), std::vector<std::string>{"[32] still here"});
}

TEST_F(LogToFile, NullSendsTheLogBackToStandardError) {
    TempFile captured;
    fflush(stderr);
    const int savedStderr = dup(STDERR_FILENO);
    ASSERT_GE(savedStderr, 0);
    const int capture = open(captured.path().c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(capture, 0);
    ASSERT_GE(dup2(capture, STDERR_FILENO), 0);
    close(capture);

    err(ZUB_LEVEL_EVENT, "to the file");
    ASSERT_EQ(ZubSetLogFile(nullptr), 0);
    err(ZUB_LEVEL_EVENT, "to standard error");

    dup2(savedStderr, STDERR_FILENO);
    close(savedStderr);
    EXPECT_EQ(Bodies(), std::vector<std::string>{"[32] to the file"});
    EXPECT_EQ(LoggedBodies(captured.path()), std::vector<std::string>{"[32] to standard error"});
}

TEST_F(LogToFile, LongMessageIsWrittenWhole) {
    const std::string text = std::string(100000, 'x') + "\r\n";
    err(ZUB_LEVEL_TRACE, "KesMZN: RecvBuf -> %s", text.c_str());
    EXPECT_EQ(Bodies(), std::vector<std::string>{"[8] KesMZN: RecvBuf -> " + std::string(100000, 'x') + "\\r\\n"});
}

TEST_F(LogToFile, LinesOfSeveralThreadsNeverInterleave) {
    // Many lines, from a hundred characters to beyond what a pipe writes in one piece.
    constexpr int kThreads = 8;
    constexpr int kLines = 600;
    const auto payload = [](int thread) {
        return std::string(static_cast<std::size_t>(100 + 600 * thread), static_cast<char>('a' + thread)) + "\r\n";
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &payload] {
            const std::string text = payload(t);
            for (int i = 0; i < kLines; ++i) err(ZUB_LEVEL_EVENT, "T%d %s", t, text.c_str());
        });
    for (auto& thread : threads) thread.join();

    int counts[kThreads] = {};
    int foreign = 0;
    for (const auto& body : Bodies()) {
        bool matched = false;
        for (int t = 0; t < kThreads && !matched; ++t) {
            std::string expected = "[32] T" + std::to_string(t) + " " + payload(t);
            expected.replace(expected.size() - 2, 2, "\\r\\n");
            if (body == expected) {
                ++counts[t];
                matched = true;
            }
        }
        if (!matched) ++foreign;
    }
    EXPECT_EQ(foreign, 0) << "lines cut or mixed";
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(counts[t], kLines) << "thread " << t;
}

}  // namespace
}  // namespace zubpro::testing
