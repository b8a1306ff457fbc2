// The simulated panel end to end on a line, talked to with raw reads and writes (not the driver).
#include "kesmzn_sim/frame.h"
#include "kesmzn_sim/panel.h"
#include "line_client.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <pty.h>
#include <sys/socket.h>
#include <thread>

namespace kesmzn::sim {
namespace {

using namespace std::chrono_literals;
using client::LineClient;
using client::Millis;

// Frames with password 1234, written out by hand (":" count data LRC CR LF).
constexpr std::string_view kPointQuery7 = ":06091234660070DB\r\n";
constexpr std::string_view kModeQuery7 = ":05081234680743\r\n";
constexpr std::string_view kBlockQuery = ":04061234664E\r\n";
constexpr std::string_view kZoneSet7To2 = ":06091234720070CF\r\n";
constexpr std::string_view kModeSet5To3 = ":05071234305033\r\n";
constexpr std::string_view kModeQuery5 = ":05081234680545\r\n";
constexpr std::string_view kAckA0 = ":01A060\r\n";

// The acknowledgement: ":" and the command frame's LRC as one raw byte.
std::string ackOf(std::uint8_t lrc) { return std::string(":") + static_cast<char>(lrc) + "\r\n"; }

std::string sixteenValues() { return "0102030405060708090A0B0C0D0E0F10"; }

class PanelOnLine : public ::testing::Test {
protected:
    void start(PanelConfig config) {
        panel = startOnPty(std::move(config));
        client = std::make_unique<LineClient>(panel->devicePath());
        ASSERT_TRUE(client->ok());
    }

    static PanelConfig sixteenZones() {
        PanelConfig config;
        config.password = 1234;
        config.zones = 16;
        for (std::uint8_t i = 1; i <= 16; ++i) config.zoneStates.push_back(i);
        config.modes[7] = 0x2A;
        return config;
    }

    // The answer to one frame: its acknowledgement line and its reply line.
    std::pair<std::string, std::string> exchange(std::string_view frame) {
        client->flush();
        EXPECT_TRUE(client->send(frame));
        std::string ack = client->readLine();
        std::string reply = client->readLine();
        return {ack, reply};
    }

    std::unique_ptr<Panel> panel;
    std::unique_ptr<LineClient> client;
};

TEST_F(PanelOnLine, ModeQueryGetsTheRawByteAcknowledgementThenTheValueAt13) {
    start(sixteenZones());
    const auto [ack, reply] = exchange(kModeQuery7);
    EXPECT_EQ(ack, ackOf(0x43));
    EXPECT_EQ(reply, ":0608123468072A19\r\n");
    EXPECT_EQ(reply.substr(13, 2), "2A");
}

TEST_F(PanelOnLine, PointQueryReplyCarriesTheStateAndARightLrc) {
    start(sixteenZones());
    const auto [ack, reply] = exchange(kPointQuery7);
    EXPECT_EQ(ack, ackOf(0xDB));
    // State 07 at 15-16; the LRC over 09 12 34 66 00 70 07 00 (sum 0x12C) is 0xD4, at 19-20.
    EXPECT_EQ(reply, ":080912346600700700D4\r\n");
}

TEST_F(PanelOnLine, BlockQueryAnswersAllSixteenZones) {
    start(sixteenZones());
    const auto [ack, reply] = exchange(kBlockQuery);
    EXPECT_EQ(ack, ackOf(0x4E));
    EXPECT_EQ(reply, ":0F06" + sixteenValues() + "78\r\n");
}

TEST_F(PanelOnLine, SetCommandsChangeTheStateAndLaterQueriesShowIt) {
    start(sixteenZones());
    auto [ack, reply] = exchange(kZoneSet7To2);
    EXPECT_EQ(ack, ackOf(0xCF));
    EXPECT_EQ(reply, ":020900F7\r\n");
    EXPECT_EQ(panel->zoneState(7), 2);
    EXPECT_EQ(exchange(kPointQuery7).second.substr(15, 2), "02");

    std::tie(ack, reply) = exchange(kModeSet5To3);
    EXPECT_EQ(ack, ackOf(0x33));
    EXPECT_EQ(reply, ":020700F9\r\n");
    EXPECT_EQ(panel->mode(5), 3);
    EXPECT_EQ(exchange(kModeQuery5).second.substr(13, 2), "03");

    // State set from the test side is what the panel reports.
    panel->setZoneState(7, 0xC4);
    EXPECT_EQ(exchange(kPointQuery7).second.substr(15, 2), "C4");

    const Stats stats = panel->stats();
    EXPECT_EQ(stats.commandsReceived, 5u);
    EXPECT_EQ(stats.commandsAnswered, 5u);
    EXPECT_EQ(stats.perKind[static_cast<std::size_t>(CommandKind::ZoneSet)], 1u);
    EXPECT_EQ(stats.perKind[static_cast<std::size_t>(CommandKind::PointQuery)], 2u);
    EXPECT_EQ(stats.perKind[static_cast<std::size_t>(CommandKind::ModeSet)], 1u);
    EXPECT_EQ(stats.perKind[static_cast<std::size_t>(CommandKind::ModeQuery)], 1u);
}

TEST_F(PanelOnLine, D5ShapesForModePointAndBlock) {
    PanelConfig config = sixteenZones();
    config.d5 = true;
    start(config);
    EXPECT_EQ(exchange(kModeQuery7).second, ":07D51234680702A0D4\r\n");
    EXPECT_EQ(exchange(kPointQuery7).second, ":08D5123466007000709F\r\n");
    EXPECT_EQ(exchange(kBlockQuery).second, ":13D50F66" + sixteenValues() + "78\r\n");
}

TEST_F(PanelOnLine, FramesThatAreWrongGetNoAcknowledgement) {
    start(sixteenZones());
    struct Case {
        const char* frame;
        std::uint64_t Stats::*counter;
    } cases[] = {
        {":06094321660070BD\r\n", &Stats::rejectedPassword},  // right LRC, wrong password
        {":06091234660070DC\r\n", &Stats::rejectedLrc},
        {":07091234660070DB\r\n", &Stats::rejectedMalformed},  // count 7 with 6 pairs
        {":06091234660070db\r\n", &Stats::rejectedMalformed},
        {":06091234660170DA\r\n", &Stats::rejectedUnknown},    // zone 17 of 16
        {":06091234730070CE\r\n", &Stats::rejectedUnknown},    // zone set to state 3
    };
    for (const auto& c : cases) {
        const Stats before = panel->stats();
        client->send(c.frame);
        EXPECT_EQ(client->readUntilQuiet(150ms), "") << c.frame;
        EXPECT_TRUE(panel->waitFor([&](const Stats& s) { return s.*c.counter == before.*c.counter + 1; }, 1s))
            << c.frame;
    }
    EXPECT_EQ(panel->stats().commandsReceived, 0u);
    // The panel is still listening.
    EXPECT_EQ(exchange(kPointQuery7).first, ackOf(0xDB));
}

TEST_F(PanelOnLine, NoiseAndOverlongLinesDoNotStopAFrameAfterThem) {
    start(sixteenZones());
    client->send(std::string("\x01\x02garbage\xFF\r\n", 12));
    client->send(std::string(3000, 'z'));
    const auto [ack, reply] = exchange(kPointQuery7);
    EXPECT_EQ(ack, ackOf(0xDB));
    EXPECT_EQ(reply.substr(15, 2), "07");
    const Stats stats = panel->stats();
    EXPECT_EQ(stats.overlongLines, 1u);
    EXPECT_GE(stats.noiseBytes, 12u);
}

TEST_F(PanelOnLine, AnEventIsRepeatedUntilAcknowledgedAndCounted) {
    PanelConfig config = sixteenZones();
    config.eventIntervalSeconds = 0.05;
    start(config);
    const std::string first = client->readLine();
    ASSERT_EQ(first.substr(0, 5), ":05A0");
    EXPECT_EQ(client->readLine(), first);  // not acknowledged: the same line again
    client->send(kAckA0);
    ASSERT_TRUE(panel->waitFor([](const Stats& s) { return s.eventsAcknowledged == 1; }, 1s));
    client->flush();
    EXPECT_EQ(client->readLine().substr(0, 5), ":05A1");  // the next event
    const Stats stats = panel->stats();
    EXPECT_GE(stats.eventsEmitted, 2u);
    EXPECT_GE(stats.eventRepeats, 1u);
    EXPECT_EQ(stats.strayAcks, 0u);
}

TEST_F(PanelOnLine, UnrecognisedEventLinesAreSentOnce) {
    PanelConfig config = sixteenZones();
    config.eventIntervalSeconds = 0.02;
    config.unrecognisedEvery = 1;
    start(config);
    ASSERT_TRUE(panel->waitFor([](const Stats& s) { return s.unrecognisedEmitted >= 3; }, 2s));
    EXPECT_EQ(client->readLine().substr(0, 5), ":055F");
    const Stats stats = panel->stats();
    EXPECT_EQ(stats.eventsEmitted, 0u);
    EXPECT_EQ(stats.eventRepeats, 0u);
}

TEST_F(PanelOnLine, AnEventLineWaitingBeforeAnAnswerHoldsTheAnswerUntilItsAcknowledgement) {
    PanelConfig config = sixteenZones();
    config.eventIntervalSeconds = 0.3;
    start(config);
    ASSERT_TRUE(panel->waitFor([](const Stats& s) { return s.eventsEmitted == 1; }, 2s));
    ASSERT_TRUE(client->waitReadable(1s));
    // Sent without flushing: the event line is still unread, so the driver would meet it first and
    // its acknowledgement would flush an answer sent at once.
    client->send(kPointQuery7);
    // Like the driver, which sleeps after sending, read only once the panel has taken the command.
    ASSERT_TRUE(panel->waitFor([](const Stats& s) { return s.commandsReceived == 1; }, 1s));
    EXPECT_EQ(client->readLine().substr(0, 5), ":05A0");
    EXPECT_EQ(client->readUntilQuiet(100ms), "");
    client->send(kAckA0);
    EXPECT_EQ(client->readLine(), ackOf(0xDB));
    EXPECT_EQ(client->readLine().substr(15, 2), "07");
    EXPECT_EQ(panel->stats().answersHeld, 1u);
}

TEST_F(PanelOnLine, AnEventLineTheDriverFlushedHoldsNothing) {
    PanelConfig config = sixteenZones();
    config.eventIntervalSeconds = 0.3;
    start(config);
    ASSERT_TRUE(panel->waitFor([](const Stats& s) { return s.eventsEmitted == 1; }, 2s));
    ASSERT_TRUE(client->waitReadable(1s));
    // The panel counts bytes written in the last few milliseconds as not yet handed over by the
    // pseudo-terminal; let that moment pass so the flush below is known to have taken the line.
    std::this_thread::sleep_for(20ms);
    const auto [ack, reply] = exchange(kPointQuery7);  // flushes first
    EXPECT_EQ(ack, ackOf(0xDB));
    EXPECT_EQ(reply.substr(15, 2), "07");
    EXPECT_EQ(panel->stats().answersHeld, 0u);
}

struct FaultCase {
    Fault fault;
    const char* name;
};

void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

class PanelFault : public PanelOnLine, public ::testing::WithParamInterface<FaultCase> {};

// Each fault strikes the next command only; the one after it is answered as usual.
TEST_P(PanelFault, StrikesTheNextCommandOnly) {
    const Fault fault = GetParam().fault;
    start(sixteenZones());
    panel->setFault(fault, FaultRate{0.0, 1});
    client->flush();
    client->send(kPointQuery7);
    const std::string good = ":080912346600700700D4\r\n";
    switch (fault) {
    case Fault::DropAck:
        EXPECT_EQ(client->readLine(), good);
        break;
    case Fault::BadLrc:
        EXPECT_EQ(client->readLine(), ackOf(0xDB));
        EXPECT_EQ(client->readLine(), ":080912346600700700D5\r\n");
        break;
    case Fault::Silent:
        EXPECT_EQ(client->readUntilQuiet(200ms), "");
        break;
    case Fault::UnsolicitedBeforeAck:
        EXPECT_EQ(client->readLine().substr(0, 5), ":05A0");
        EXPECT_EQ(client->readUntilQuiet(100ms), "");  // waiting for the event's acknowledgement
        client->send(kAckA0);
        EXPECT_EQ(client->readLine(), ackOf(0xDB));
        EXPECT_EQ(client->readLine(), good);
        EXPECT_TRUE(panel->waitFor([](const Stats& s) { return s.eventsAcknowledged == 1; }, 1s));
        break;
    }
    EXPECT_EQ(client->readUntilQuiet(50ms), "");
    EXPECT_EQ(panel->stats().faultsApplied[static_cast<std::size_t>(fault)], 1u);
    EXPECT_EQ(panel->fault(fault).nextCommands, 0u);

    const auto [ack, reply] = exchange(kPointQuery7);
    EXPECT_EQ(ack, ackOf(0xDB));
    EXPECT_EQ(reply, good);
}

// With a probability of 1, set while the panel runs, every command is struck.
TEST_P(PanelFault, ProbabilityOneStrikesEveryCommand) {
    const Fault fault = GetParam().fault;
    start(sixteenZones());
    panel->setFault(fault, FaultRate{1.0, 0});
    // Each event line sent before an answer is a new one once the one before was acknowledged.
    const char* eventAcks[] = {":01A060\r\n", ":01A15F\r\n", ":01A25E\r\n"};
    for (const char* eventAck : eventAcks) {
        client->flush();
        client->send(kPointQuery7);
        if (fault == Fault::UnsolicitedBeforeAck) {
            EXPECT_EQ(client->readLine().substr(3, 2), std::string_view(eventAck).substr(3, 2));
            client->send(eventAck);
        }
        client->readUntilQuiet(60ms);
    }
    EXPECT_TRUE(panel->waitFor(
        [&](const Stats& s) { return s.faultsApplied[static_cast<std::size_t>(fault)] == 3; }, 1s));
    panel->setFault(fault, FaultRate{});
    EXPECT_EQ(exchange(kPointQuery7).first, ackOf(0xDB));
}

INSTANTIATE_TEST_SUITE_P(, PanelFault,
                         ::testing::Values(FaultCase{Fault::DropAck, "DropAck"}, FaultCase{Fault::BadLrc, "BadLrc"},
                                           FaultCase{Fault::Silent, "Silent"},
                                           FaultCase{Fault::UnsolicitedBeforeAck, "UnsolicitedBeforeAck"}),
                         [](const ::testing::TestParamInfo<FaultCase>& param) { return param.param.name; });

TEST_F(PanelOnLine, SilentCommandsChangeNothing) {
    PanelConfig config = sixteenZones();
    config.faults[static_cast<std::size_t>(Fault::Silent)] = FaultRate{0.0, 1};
    start(config);
    client->send(kZoneSet7To2);
    EXPECT_EQ(client->readUntilQuiet(150ms), "");
    EXPECT_EQ(panel->zoneState(7), 7);
    EXPECT_EQ(panel->stats().commandsAnswered, 0u);
}

TEST_F(PanelOnLine, PacingHoldsEachByteForItsTimeOnTheWire) {
    PanelConfig config = sixteenZones();
    config.zones = 46;  // a block reply of 5 + 92 + 4 = 101 bytes, after a 4-byte acknowledgement
    config.baud = 4800;
    config.pace = true;
    start(config);
    client->flush();
    const auto sent = std::chrono::steady_clock::now();
    client->send(kBlockQuery);
    const std::string ack = client->readLine();
    const auto ackDone = std::chrono::steady_clock::now();
    const std::string reply = client->readLine();
    const auto replyDone = std::chrono::steady_clock::now();
    ASSERT_EQ(ack, ackOf(0x4E));
    ASSERT_EQ(reply.size(), 101u);
    // 105 bytes at 10 bits each and 4800 baud: 219 ms on the wire. Generous bounds: a shared machine.
    const auto total = std::chrono::duration_cast<Millis>(replyDone - sent);
    const auto replyTime = std::chrono::duration_cast<Millis>(replyDone - ackDone);
    EXPECT_GE(total.count(), 200);
    EXPECT_LE(total.count(), 1500);
    EXPECT_GE(replyTime.count(), 180);  // the reply's bytes did not arrive at once
}

TEST_F(PanelOnLine, StopReturnsPromptlyEvenInTheMiddleOfALongPacedWrite) {
    PanelConfig config = sixteenZones();
    config.baud = 300;
    config.pace = true;
    config.eventIntervalSeconds = 0.01;
    start(config);
    panel->sendRaw(std::string(2000, 'x'));  // over a minute at 300 baud
    client->readLine(100ms);
    const auto before = std::chrono::steady_clock::now();
    panel->stop();
    const auto took = std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now() - before);
    EXPECT_LT(took.count(), 500);
    panel->stop();  // twice is harmless
}

TEST_F(PanelOnLine, RawBytesGoOutAsGivenAndEverythingIsLogged) {
    start(sixteenZones());
    panel->sendRaw(std::string("\x00noise\xFE\n", 8));
    EXPECT_EQ(client->readLine(), std::string("\x00noise\xFE\n", 8));
    exchange(kPointQuery7);
    const std::vector<LogEntry> log = panel->log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].direction, Direction::Sent);
    EXPECT_EQ(log[1].direction, Direction::Received);
    EXPECT_EQ(log[1].bytes, kPointQuery7);
    EXPECT_EQ(log[2].direction, Direction::Sent);
    EXPECT_EQ(log[2].bytes, ackOf(0xDB));
    EXPECT_EQ(log[3].bytes.substr(0, 3), ":08");
    panel->clearLog();
    EXPECT_TRUE(panel->log().empty());
}

TEST_F(PanelOnLine, KeepsTheLineRawWhenTheOtherSideCooksIt) {
    start(sixteenZones());
    termios settings{};
    ASSERT_EQ(tcgetattr(client->fd(), &settings), 0);
    // Settings that would turn the panel's CR into LF and echo its lines back to it.
    settings.c_iflag |= ICRNL;
    settings.c_lflag |= ECHO | ICANON;
    ASSERT_EQ(tcsetattr(client->fd(), TCSANOW, &settings), 0);
    const auto [ack, reply] = exchange(kPointQuery7);
    EXPECT_EQ(ack, ackOf(0xDB));
    EXPECT_EQ(reply.substr(reply.size() - 2), "\r\n");
    ASSERT_EQ(tcgetattr(client->fd(), &settings), 0);
    EXPECT_EQ(settings.c_lflag & (ECHO | ICANON), 0u);
    EXPECT_EQ(settings.c_iflag & ICRNL, 0u);
    EXPECT_EQ(panel->stats().rejectedMalformed, 0u);  // no echoes came back to it
}

TEST_F(PanelOnLine, TheDriverMayCloseAndReopenThePort) {
    start(sixteenZones());
    EXPECT_EQ(exchange(kPointQuery7).first, ackOf(0xDB));
    client.reset();
    std::this_thread::sleep_for(20ms);  // the port stays closed a moment, as in a ClosePort
    client = std::make_unique<LineClient>(panel->devicePath());
    ASSERT_TRUE(client->ok());
    EXPECT_EQ(exchange(kPointQuery7).first, ackOf(0xDB));
}

TEST(PanelLink, PointsAtTheSlaveAndGoesAwayWithThePanel) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("kesmzn-sim-link-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string link = (dir / "panel").string();
    auto first = startOnPty(PanelConfig{}, link);
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), first->devicePath());
    // A second panel takes the name over; the first one's stop leaves it alone.
    auto second = startOnPty(PanelConfig{}, link);
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), second->devicePath());
    first->stop();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    LineClient client(link);
    ASSERT_TRUE(client.ok());
    client.send(":05081234680743\r\n");
    EXPECT_EQ(client.readLine(), ackOf(0x43));
    second->stop();
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    std::filesystem::remove_all(dir);
}

TEST(PanelOnDescriptor, AnswersOnASocketAndSurvivesThePeerLeaving) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    PanelConfig config;
    config.eventIntervalSeconds = 0.01;  // it keeps trying to talk after the peer has gone
    auto panel = startOnFd(pair[0], config);
    {
        LineClient client(pair[1]);
        client.send(":06091234660070DB\r\n");
        std::string line;
        for (int i = 0; i < 10 && line != ackOf(0xDB); ++i) line = client.readLine();
        EXPECT_EQ(line, ackOf(0xDB));
    }
    EXPECT_TRUE(panel->waitFor([](const Stats& s) { return s.hangups >= 1; }, 1s));
    std::this_thread::sleep_for(200ms);
    // Tried again every so often, but counted once.
    EXPECT_EQ(panel->stats().hangups, 1u);
    const auto before = std::chrono::steady_clock::now();
    panel->stop();
    EXPECT_LT(std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now() - before).count(), 500);
}

TEST(PanelOnDevice, PlaysThePanelOnAGivenTerminal) {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    auto panel = startOnDevice(name, PanelConfig{});
    close(slave);
    EXPECT_EQ(panel->devicePath(), name);
    LineClient driverSide(master);
    termios settings{};
    tcgetattr(master, &settings);
    cfmakeraw(&settings);
    tcsetattr(master, TCSANOW, &settings);
    driverSide.send(":06091234660070DB\r\n");
    EXPECT_EQ(driverSide.readLine(), ackOf(0xDB));
    EXPECT_EQ(driverSide.readLine().substr(15, 2), "01");
    panel->stop();
}

TEST(ManyPanels, SixtyFourInOneProcessEachAnswerOnItsOwnLine) {
    std::vector<std::unique_ptr<Panel>> panels;
    std::vector<std::unique_ptr<LineClient>> clients;
    for (std::uint8_t i = 0; i < 64; ++i) {
        PanelConfig config;
        config.zoneStates = {0, 0, 0, 0, 0, 0, i};  // zone 7 tells the panels apart
        panels.push_back(startOnPty(config));
        clients.push_back(std::make_unique<LineClient>(panels.back()->devicePath()));
        ASSERT_TRUE(clients.back()->ok());
    }
    for (const auto& client : clients) client->send(":06091234660070DB\r\n");
    for (std::size_t i = 0; i < clients.size(); ++i) {
        EXPECT_EQ(clients[i]->readLine(), ackOf(0xDB)) << i;
        char state[3];
        std::snprintf(state, sizeof state, "%02X", static_cast<unsigned>(i));
        EXPECT_EQ(clients[i]->readLine().substr(15, 2), state) << i;
    }
    const auto before = std::chrono::steady_clock::now();
    panels.clear();
    EXPECT_LT(std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now() - before).count(), 2000);
}

TEST(PanelStart, RefusesABadConfiguration) {
    PanelConfig config;
    config.zones = 0;
    EXPECT_THROW(startOnPty(config), std::invalid_argument);
    EXPECT_THROW(startOnDevice("/nonexistent/tty", PanelConfig{}), std::system_error);
}

}  // namespace
}  // namespace kesmzn::sim
