// Line transfer: the RTS/CTS handshake around a send, RTS cleared after every read, and lines read a
// byte at a time, over an in-memory port and over a pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/log_capture.h"
#include "port_double.h"
#include "pty_pair.h"
#include "serial/line.h"
#include "serial/port.h"

namespace kesmzn::serial {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using testing::LogRecord;

std::int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

// An instance record inside a host-sized block, its port served by a port double.
class LineOnDouble : public ::testing::Test {
protected:
    void SetUp() override {
        instance.port = port.Open();
        ASSERT_TRUE(HasPort(instance.port));
        instance.timeout = 37;
    }
    void TearDown() override { CloseComm(instance.port); }

    std::vector<std::string> CallsWithout(const std::string& skipped) const {
        std::vector<std::string> kept;
        for (const auto& call : port.calls) {
            if (call != skipped) kept.push_back(call);
        }
        return kept;
    }

    testing::PortDouble port;
    alignas(16) unsigned char block[host::kInstanceSize] = {};
    host::InstanceData& instance = *reinterpret_cast<host::InstanceData*>(block);
};

TEST_F(LineOnDouble, SendStrRaisesRtsAroundTheWriteAfterFlushingAndCts) {
    testing::LogCapture log;
    EXPECT_EQ(SendStr(instance, "abc", 3), 1);
    EXPECT_EQ(port.calls, (std::vector<std::string>{"status", "rts on", "cts", "write abc", "rts off"}));
    EXPECT_FALSE(port.rts);
    EXPECT_TRUE(log.Records().empty());
}

TEST_F(LineOnDouble, SendStrDrainsStaleInputBeforeRaisingRts) {
    port.input = "stale\r\n";
    EXPECT_EQ(SendStr(instance, "abc", 3), 1);
    EXPECT_EQ(port.Unread(), "");
    EXPECT_EQ(port.calls, (std::vector<std::string>{"status", "timeouts 50", "read 7", "timeouts 1000", "rts on",
                                                    "cts", "write abc", "rts off"}));
}

TEST_F(LineOnDouble, SendStrWaitsForCtsWithinItsPolls) {
    port.ctsAfterPolls = 5;
    EXPECT_EQ(SendStr(instance, "abc", 3), 1);
    EXPECT_EQ(port.ctsPolls, 6);
    EXPECT_EQ(port.written, "abc");
}

TEST_F(LineOnDouble, SendStrWithoutCtsWritesNothingAndLeavesRtsCleared) {
    testing::LogCapture log;
    port.ctsAfterPolls = -1;
    const auto start = Clock::now();
    EXPECT_EQ(SendStr(instance, "abc", 3), 0);
    EXPECT_GE(MsSince(start), 29);  // 29 polls, 1 ms apart
    EXPECT_EQ(port.ctsPolls, 29);
    EXPECT_EQ(port.written, "");
    EXPECT_FALSE(port.rts);
    EXPECT_EQ(CallsWithout("cts"), (std::vector<std::string>{"status", "rts on", "rts off"}));
    EXPECT_EQ(log.Records(), (std::vector<LogRecord>{{8, "KesMZN: SendStr -> CTS failed"}}));
}

TEST_F(LineOnDouble, SendStrFailsOnAShortOrFailedWrite) {
    port.writeAccepts = 2;
    EXPECT_EQ(SendStr(instance, "abc", 3), 0);
    EXPECT_FALSE(port.rts);
    port.writeAccepts = 100;
    port.writeFails = true;
    EXPECT_EQ(SendStr(instance, "abc", 3), 0);
    EXPECT_FALSE(port.rts);
}

TEST_F(LineOnDouble, AFailingRtsCallIsLoggedAndTheSendGoesOn) {
    testing::LogCapture log;
    port.rtsFails = true;
    EXPECT_EQ(SendStr(instance, "abc", 3), 1);
    EXPECT_EQ(port.written, "abc");
    EXPECT_EQ(log.Records(), (std::vector<LogRecord>{{32, " KesMZN: Fail to set RTS to on"},
                                                     {32, " KesMZN: Fail to set RTS to off"}}));
}

TEST_F(LineOnDouble, RecvStrDropsRtsAfterEveryRead) {
    port.input = "abcd";
    char buffer[4] = {};
    EXPECT_EQ(RecvStr(instance, buffer, 4), 1);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    EXPECT_EQ(RecvStr(instance, buffer, 1), 0);  // nothing more: a time-out
    EXPECT_EQ(port.calls, (std::vector<std::string>{"read 4", "rts off", "read 0", "rts off"}));
}

TEST_F(LineOnDouble, RecvStrFailsWhenFewerBytesArrive) {
    port.input = "ab";
    char buffer[4] = {};
    EXPECT_EQ(RecvStr(instance, buffer, 4), 0);
    EXPECT_EQ(std::string(buffer, 2), "ab");
}

TEST_F(LineOnDouble, RecvLineStopsAtTheLineFeedWithoutAnotherRead) {
    port.input = "ab\r\nX";
    RecvLine(instance, instance.rxBuf);
    EXPECT_STREQ(instance.rxBuf, "ab\r\n");
    EXPECT_EQ(port.Count("read 1"), 4);
    EXPECT_EQ(port.Count("rts off"), 4);
    EXPECT_EQ(port.Unread(), "X");
    // Reads wait 100 ms each; the instance's own time-out is back afterwards.
    EXPECT_EQ(port.readTimeouts, (std::vector<std::uint32_t>(4, 100)));
    EXPECT_EQ(port.timeouts.readTotalConstant, 370u);
}

TEST_F(LineOnDouble, RecvLineClearsTheWholeBufferFirst) {
    std::memset(instance.rxBuf, 'Z', sizeof instance.rxBuf);
    port.input = "ok\n";
    RecvLine(instance, instance.rxBuf);
    EXPECT_STREQ(instance.rxBuf, "ok\n");
    for (std::size_t i = 3; i < sizeof instance.rxBuf; ++i) ASSERT_EQ(instance.rxBuf[i], 0) << i;
}

TEST_F(LineOnDouble, ALineOfSixHundredBytesOrMoreKeepsItsTerminator) {
    port.input = std::string(700, 'a');
    RecvLine(instance, instance.rxBuf);
    EXPECT_EQ(std::strlen(instance.rxBuf), host::kRxBufferSize);
    EXPECT_EQ(instance.rxBuf[host::kRxBufferSize], '\0');
    EXPECT_EQ(port.Unread().size(), 100u);
    // A line whose LF is its 600th byte is whole as well.
    port.input = std::string(599, 'b') + "\n";
    port.readAt = 0;
    RecvLine(instance, instance.rxBuf);
    EXPECT_EQ(std::strlen(instance.rxBuf), host::kRxBufferSize);
    EXPECT_EQ(instance.rxBuf[599], '\n');
}

TEST_F(LineOnDouble, RecvLineOnASilentLineLeavesTheBufferEmpty) {
    RecvLine(instance, instance.rxBuf);
    EXPECT_EQ(instance.rxBuf[0], '\0');
    EXPECT_EQ(port.calls, (std::vector<std::string>{"timeouts 100", "read 0", "rts off", "timeouts 370"}));
}

TEST(LineWithoutPort, EveryCallFailsAndDroppingRtsIsLogged) {
    testing::LogCapture log;
    testing::PortDouble port;
    alignas(16) unsigned char block[host::kInstanceSize] = {};
    auto& instance = *reinterpret_cast<host::InstanceData*>(block);
    instance.port = port.Open();
    ASSERT_EQ(CloseComm(instance.port), kPortOk);

    EXPECT_EQ(SendStr(instance, "abc", 3), 0);
    std::memset(instance.rxBuf, 'Z', sizeof instance.rxBuf);
    RecvLine(instance, instance.rxBuf);
    EXPECT_EQ(instance.rxBuf[0], '\0');
    EXPECT_EQ(log.Records(), (std::vector<LogRecord>{{32, " KesMZN: Fail to set RTS to on"},
                                                     {8, "KesMZN: SendStr -> CTS failed"},
                                                     {32, " KesMZN: Fail to set RTS to off"},
                                                     {32, " KesMZN: Fail to set RTS to off"}}));
}

// The same primitives against a pseudo-terminal, with the far end played by the test.
class LineOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        const PortParams params{4800, 8, 0, 0};
        ASSERT_EQ(OpenComm(pty.path().c_str(), &params, PORT_RTS_ON, &instance.port), kPortOk);
        instance.timeout = 37;
        SetReadTimeout(instance.port, instance.timeout);
    }
    void TearDown() override { CloseComm(instance.port); }

    testing::PtyPair pty;
    alignas(16) unsigned char block[host::kInstanceSize] = {};
    host::InstanceData& instance = *reinterpret_cast<host::InstanceData*>(block);
};

TEST_F(LineOnPty, SendStrWritesTheFrame) {
    EXPECT_EQ(SendStr(instance, ":0312AB\r\n", 9), 1);
    EXPECT_EQ(pty.Receive(9), ":0312AB\r\n");
}

TEST_F(LineOnPty, SendStrDiscardsStaleInput) {
    pty.Send("stale\r\n");
    ASSERT_TRUE(pty.WaitQueued(7));
    EXPECT_EQ(SendStr(instance, "x", 1), 1);
    pty.Send("fresh\r\n");
    RecvLine(instance, instance.rxBuf);
    EXPECT_STREQ(instance.rxBuf, "fresh\r\n");
}

TEST_F(LineOnPty, RecvLineTakesOneLineAtATime) {
    pty.Send("ab\r\ncd\r\n");
    RecvLine(instance, instance.rxBuf);
    EXPECT_STREQ(instance.rxBuf, "ab\r\n");
    RecvLine(instance, instance.rxBuf);
    EXPECT_STREQ(instance.rxBuf, "cd\r\n");
}

TEST_F(LineOnPty, RecvLineReturnsWhenTheLineFeedArrives) {
    std::thread far([&] {
        pty.Send("ab");
        std::this_thread::sleep_for(milliseconds(40));
        pty.Send("c\r\n");
    });
    const auto start = Clock::now();
    RecvLine(instance, instance.rxBuf);
    const auto elapsed = MsSince(start);
    far.join();
    EXPECT_STREQ(instance.rxBuf, "abc\r\n");
    EXPECT_LT(elapsed, 1000);
}

TEST_F(LineOnPty, AGapOfAHundredMillisecondsEndsALine) {
    pty.Send("abc");
    const auto start = Clock::now();
    RecvLine(instance, instance.rxBuf);
    const auto elapsed = MsSince(start);
    EXPECT_STREQ(instance.rxBuf, "abc");
    EXPECT_GE(elapsed, 95);
    EXPECT_LT(elapsed, 1000);
}

TEST_F(LineOnPty, RecvLineOnASilentPanelReturnsEmptyAfterAboutAHundredMilliseconds) {
    const auto start = Clock::now();
    RecvLine(instance, instance.rxBuf);
    const auto elapsed = MsSince(start);
    EXPECT_EQ(instance.rxBuf[0], '\0');
    EXPECT_GE(elapsed, 95);
    EXPECT_LT(elapsed, 1000);
    EXPECT_EQ(SetReadTimeout(instance.port, 1), 37);  // the instance's own time-out is back
}

}  // namespace
}  // namespace kesmzn::serial
