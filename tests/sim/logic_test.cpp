// The simulator's parts that need no line: state, events, input bounds, pacing arithmetic, fault dice,
// log escaping and the program's option values.
#include "behaviour.h"
#include "escape.h"
#include "events.h"
#include "faults.h"
#include "kesmzn_sim/frame.h"
#include "line_assembler.h"
#include "options.h"
#include "wire.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace kesmzn::sim {
namespace {

using namespace std::chrono_literals;

Command commandOf(const std::string& data) { return classify(parseFrame(buildFrame(data)).frame).command; }

TEST(SimBehaviour, JudgesPasswordAndRanges) {
    PanelConfig config;
    config.zones = 16;
    const PanelState state = initialState(config);
    const std::optional<std::string> any;
    const std::optional<std::string> only1234 = std::string("1234");
    struct Case {
        const char* data;
        const std::optional<std::string>& password;
        Verdict verdict;
    } cases[] = {
        {"091234660070", any, Verdict::Answer},
        {"094321660070", any, Verdict::Answer},
        {"091234660070", only1234, Verdict::Answer},
        {"094321660070", only1234, Verdict::WrongPassword},
        {"091234660160", any, Verdict::Answer},        // zone 16, the last
        {"091234660170", any, Verdict::OutOfRange},    // zone 17 of 16
        {"091234660000", any, Verdict::OutOfRange},    // zone 0
        {"091234720170", any, Verdict::OutOfRange},
        {"0812346819", any, Verdict::Answer},          // mode 19
        {"0812346820", any, Verdict::OutOfRange},      // mode 20
        {"0812346800", any, Verdict::OutOfRange},
        {"0712343200", any, Verdict::OutOfRange},      // mode set of mode 20
        {"06123466", any, Verdict::Answer},
    };
    for (const auto& c : cases) EXPECT_EQ(judge(state, commandOf(c.data), c.password), c.verdict) << c.data;
}

TEST(SimBehaviour, SetCommandsChangeTheStateThatQueriesReport) {
    PanelConfig config;
    config.zones = 8;
    config.zoneStates = {5, 6};
    config.modes[5] = 9;
    PanelState state = initialState(config);
    EXPECT_EQ(state.zones, (std::vector<std::uint8_t>{5, 6, 1, 1, 1, 1, 1, 1}));

    perform(state, commandOf("091234720070"), false, false);  // zone 7 to state 2
    EXPECT_EQ(state.zones[6], 2);
    EXPECT_EQ(perform(state, commandOf("091234660070"), false, false).substr(15, 2), "02");

    EXPECT_EQ(perform(state, commandOf("0812346805"), false, false).substr(13, 2), "09");
    perform(state, commandOf("0712343050"), false, false);  // mode 5 to 3
    EXPECT_EQ(state.modes[5], 3);
    EXPECT_EQ(perform(state, commandOf("0812346805"), false, false).substr(13, 2), "03");
}

TEST(SimEvents, AnEventIsSentAgainUntilItsAcknowledgementArrives) {
    EventSource source;
    source.zones = 16;
    EventCounts counts;
    const auto t0 = Clock::now();
    auto lines = eventTick(source, true, t0, 50ms, counts);
    ASSERT_EQ(lines.size(), 1u);
    const std::string code = lines[0].substr(3, 2);

    for (int i = 1; i <= 3; ++i) {
        lines = eventTick(source, true, t0 + i * 100ms, 50ms, counts);
        ASSERT_EQ(lines.size(), 1u);  // the window of one is full: only the same line again
        EXPECT_EQ(lines[0].substr(3, 2), code);
    }
    EXPECT_EQ(counts.emitted, 1u);
    EXPECT_EQ(counts.repeats, 3u);

    EXPECT_FALSE(acknowledgeEvent(source, "5F", counts));
    EXPECT_TRUE(acknowledgeEvent(source, code, counts));
    EXPECT_FALSE(acknowledgeEvent(source, code, counts));  // a second acknowledgement is stray
    EXPECT_EQ(counts.acknowledged, 1u);
    EXPECT_EQ(counts.stray, 2u);

    lines = eventTick(source, true, t0 + 400ms, 50ms, counts);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].substr(3, 2), code);  // the next event, with another code
    EXPECT_EQ(counts.emitted, 2u);
}

TEST(SimEvents, PendingEventsHaveDistinctCodesAndUnrecognisedOnesAreSentOnce) {
    EventSource source;
    source.maxPending = kMaxPendingEvents;
    source.unrecognisedEvery = 4;
    EventCounts counts;
    const auto t0 = Clock::now();
    std::set<std::string> codes;
    int unrecognised = 0;
    for (int i = 0; i < 40; ++i) {
        // A minimum age no tick reaches: only new lines come out.
        for (const std::string& line : eventTick(source, true, t0, 1h, counts)) {
            const std::string code = line.substr(3, 2);
            if (code == kUnrecognisedCode) {
                ++unrecognised;
                continue;
            }
            EXPECT_TRUE(codes.insert(code).second) << code;
        }
    }
    EXPECT_EQ(codes.size(), kMaxPendingEvents);
    EXPECT_EQ(source.pending.size(), kMaxPendingEvents);
    EXPECT_EQ(counts.unrecognised, static_cast<std::uint64_t>(unrecognised));
    EXPECT_GT(unrecognised, 0);
    for (const std::string& code : codes) EXPECT_TRUE(std::string_view("A0A1A2A3A4A5A6A7A827AAABB4BEBFC0C1").find(code) != std::string_view::npos);
}

TEST(SimEvents, GenerationOffStillSendsPendingAgain) {
    EventSource source;
    EventCounts counts;
    const auto t0 = Clock::now();
    ASSERT_EQ(eventTick(source, true, t0, 10ms, counts).size(), 1u);
    EXPECT_EQ(eventTick(source, false, t0 + 20ms, 10ms, counts).size(), 1u);
    acknowledgeEvent(source, source.pending.front().code, counts);
    EXPECT_TRUE(eventTick(source, false, t0 + 40ms, 10ms, counts).empty());
}

std::vector<std::string> feedAll(LineAssembler& assembler, const std::string& bytes) {
    std::vector<std::string> lines;
    feedBytes(assembler, bytes, [&](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

TEST(SimLineAssembler, SplitsAtLfAcrossChunks) {
    LineAssembler assembler;
    EXPECT_TRUE(feedAll(assembler, ":0609").empty());
    const auto lines = feedAll(assembler, "1234660070DB\r\n:01A35D\r\n:06");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], ":06091234660070DB\r\n");
    EXPECT_EQ(lines[1], ":01A35D\r\n");
    EXPECT_EQ(frameOf("\x01\xFFnoise:01A35D\r\n"), ":01A35D\r\n");
    EXPECT_EQ(frameOf("noise only\r\n"), "");
}

TEST(SimLineAssembler, DropsAnOverlongLineAndHearsTheFrameAfterIt) {
    LineAssembler assembler;
    const std::string noise(2000, 'x');
    auto lines = feedAll(assembler, noise);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(assembler.overlong, 1u);
    EXPECT_LE(assembler.buffer.size(), kMaxLine);
    // A frame straight after the noise, without a LF between them, still comes through.
    lines = feedAll(assembler, ":06091234660070DB\r\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], ":06091234660070DB\r\n");
    // The rest of an over-long line up to its LF is dropped with it.
    lines = feedAll(assembler, std::string(kMaxLine + 10, 'y') + "tail\r\n:01A35D\r\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], ":01A35D\r\n");
}

TEST(SimWire, PacedBytesBecomeDueOneByteTimeApart) {
    Wire wire;
    wire.paced = true;
    wire.byteTime = byteTimeAt(4800);
    const double micros = std::chrono::duration<double, std::micro>(wire.byteTime).count();
    EXPECT_NEAR(micros, 2083.3, 0.5);
    const auto t0 = Clock::now();
    ASSERT_TRUE(enqueue(wire, std::string(100, 'a'), t0));
    EXPECT_EQ(dueBytes(wire, t0), 0u);
    EXPECT_EQ(dueBytes(wire, t0 + wire.byteTime), 1u);
    EXPECT_EQ(dueBytes(wire, t0 + wire.byteTime * 10), 10u);
    markWritten(wire, 10);
    EXPECT_EQ(dueBytes(wire, t0 + wire.byteTime * 10), 0u);
    EXPECT_EQ(*nextDue(wire), t0 + wire.byteTime * 11);
    EXPECT_EQ(dueBytes(wire, t0 + wire.byteTime * 1000), 90u);
    markWritten(wire, 90);
    // A line queued after the wire fell idle starts from the moment it is queued.
    const auto later = t0 + 10s;
    ASSERT_TRUE(enqueue(wire, "b", later));
    EXPECT_EQ(*nextDue(wire), later + wire.byteTime);
}

TEST(SimWire, KnowsWhatTheReaderHasStillToRead) {
    Wire wire;
    const auto t0 = Clock::now();
    enqueue(wire, "0123456789", t0);
    markWritten(wire, 6);
    EXPECT_EQ(aheadOfReader(wire, 0), "6789");
    EXPECT_EQ(aheadOfReader(wire, 2), "456789");
    EXPECT_EQ(aheadOfReader(wire, 100), "0123456789");
    EXPECT_FALSE(enqueue(wire, std::string(kMaxQueued, 'x'), t0));
}

TEST(SimFaults, CountersComeFirstThenTheSeededDie) {
    FaultDice dice;
    dice.rates[static_cast<std::size_t>(Fault::Silent)] = FaultRate{0.0, 2};
    dice.rates[static_cast<std::size_t>(Fault::BadLrc)] = FaultRate{1.0, 0};
    for (int i = 0; i < 3; ++i) {
        const FaultSet set = rollFaults(dice);
        EXPECT_EQ(has(set, Fault::Silent), i < 2);
        EXPECT_TRUE(has(set, Fault::BadLrc));
        EXPECT_FALSE(has(set, Fault::DropAck));
    }

    const auto pattern = [](std::uint64_t seed) {
        FaultDice d;
        d.rng.seed(seed);
        d.rates[static_cast<std::size_t>(Fault::DropAck)].probability = 0.5;
        std::string hits;
        for (int i = 0; i < 200; ++i) hits += has(rollFaults(d), Fault::DropAck) ? '1' : '0';
        return hits;
    };
    const std::string first = pattern(42);
    EXPECT_EQ(first, pattern(42));  // reproducible
    EXPECT_NE(first, pattern(43));
    const auto ones = std::count(first.begin(), first.end(), '1');
    EXPECT_GT(ones, 60);
    EXPECT_LT(ones, 140);
}

TEST(SimEscape, KeepsEachLineOnOneLine) {
    EXPECT_EQ(escapeBytes(":01A35D\r\n"), ":01A35D\\r\\n");
    EXPECT_EQ(escapeBytes(std::string(":\xDB\0\\", 4)), ":\\xDB\\x00\\\\");
}

TEST(SimOptions, FaultRatesAndModes) {
    EXPECT_EQ(parseFaultRate("0.25")->probability, 0.25);
    EXPECT_EQ(parseFaultRate("1")->probability, 1.0);
    EXPECT_EQ(parseFaultRate("n3")->nextCommands, 3u);
    EXPECT_EQ(parseFaultRate("n3")->probability, 0.0);
    for (const char* bad : {"", "1.5", "-0.1", "n", "n-1", "x", "0.5x"}) EXPECT_FALSE(parseFaultRate(bad)) << bad;

    const auto modes = parseModes("5,42,255");
    ASSERT_TRUE(modes);
    EXPECT_EQ((*modes)[1], 5);
    EXPECT_EQ((*modes)[2], 42);
    EXPECT_EQ((*modes)[3], 255);
    EXPECT_EQ((*modes)[4], 0);
    EXPECT_TRUE(parseModes("1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1"));
    for (const char* bad : {"", "256", "1,,2", "1,2,", "a", "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1"}) {
        EXPECT_FALSE(parseModes(bad)) << bad;
    }
}

TEST(SimConfig, ValidateNamesWhatIsWrong) {
    EXPECT_EQ(validate(PanelConfig{}), "");
    PanelConfig config;
    config.zones = 0;
    EXPECT_NE(validate(config), "");
    config.zones = 257;
    EXPECT_NE(validate(config), "");
    config.zones = 256;
    EXPECT_EQ(validate(config), "");
    config.maxPendingEvents = 18;
    EXPECT_NE(validate(config), "");
    config.maxPendingEvents = 1;
    config.faults[0].probability = 1.5;
    EXPECT_NE(validate(config), "");
}

}  // namespace
}  // namespace kesmzn::sim
