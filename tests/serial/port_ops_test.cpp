// The port operations over an in-memory port: time-out bookkeeping, the drain of the receive queue,
// the read loop, short writes, and handles that are no longer open.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "port_double.h"
#include "serial/port.h"

namespace kesmzn::serial {
namespace {

using testing::PortDouble;

class PortOps : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(HasPort(port.Open())); }
    void TearDown() override { CloseComm(port.handle); }
    PortDouble port;
};

TEST_F(PortOps, SetReadTimeoutReturnsThePreviousUnitsAndWritesOnlyAChange) {
    port.timeouts = {7, 8, 1000, 9, 11};
    EXPECT_EQ(SetReadTimeout(port.handle, 10), 100);
    EXPECT_EQ(port.timeoutWrites, 1);
    EXPECT_EQ(port.timeouts.readTotalConstant, 100u);
    // The other four values are written back as read.
    EXPECT_EQ(port.timeouts.readInterval, 7u);
    EXPECT_EQ(port.timeouts.readTotalMultiplier, 8u);
    EXPECT_EQ(port.timeouts.writeTotalMultiplier, 9u);
    EXPECT_EQ(port.timeouts.writeTotalConstant, 11u);

    EXPECT_EQ(SetReadTimeout(port.handle, 10), 10);
    EXPECT_EQ(port.timeoutWrites, 1);
}

TEST_F(PortOps, SetReadTimeoutTruncatesThePreviousValue) {
    port.timeouts.readTotalConstant = 1009;
    EXPECT_EQ(SetReadTimeout(port.handle, 3), 100);
    EXPECT_EQ(port.timeouts.readTotalConstant, 30u);
}

TEST_F(PortOps, SetReadTimeoutReturnsZeroWhenTheTimeoutsCannotBeReadOrWritten) {
    port.getTimeoutsFails = true;
    EXPECT_EQ(SetReadTimeout(port.handle, 10), 0);
    port.getTimeoutsFails = false;
    port.setTimeoutsFails = true;
    EXPECT_EQ(SetReadTimeout(port.handle, 10), 0);
    EXPECT_EQ(port.timeouts.readTotalConstant, 1000u);
}

struct FlushCase {
    const char* what;
    std::size_t queued;
    bool statusFails;
    bool readFails;
    bool timeoutsUnreadable;
    int result;
    std::vector<std::string> calls;
};

void PrintTo(const FlushCase& c, std::ostream* out) { *out << c.what; }

class FlushInputCases : public ::testing::TestWithParam<FlushCase> {};

TEST_P(FlushInputCases, DrainsAsLongAsFullChunksCome) {
    const FlushCase& c = GetParam();
    PortDouble port;
    port.input.assign(c.queued, 'x');
    port.statusFails = c.statusFails;
    port.readFails = c.readFails;
    port.getTimeoutsFails = c.timeoutsUnreadable;
    ASSERT_TRUE(HasPort(port.Open()));
    EXPECT_EQ(FlushInput(port.handle), c.result) << c.what;
    EXPECT_EQ(port.calls, c.calls) << c.what;
    if (!c.timeoutsUnreadable) {
        for (const std::uint32_t timeout : port.readTimeouts) EXPECT_EQ(timeout, 50u) << c.what;  // drain reads wait 50 ms
    }
    EXPECT_EQ(port.timeouts.readTotalConstant, 1000u) << c.what;  // given back afterwards
    CloseComm(port.handle);
}

INSTANTIATE_TEST_SUITE_P(Queue, FlushInputCases, ::testing::Values(
    FlushCase{"empty queue", 0, false, false, false, 0, {"status"}},
    FlushCase{"1300 bytes", 1300, false, false, false, 0,
              {"status", "timeouts 50", "read 512", "read 512", "read 276", "timeouts 1000"}},
    FlushCase{"exactly two chunks", 1024, false, false, false, 0,
              {"status", "timeouts 50", "read 512", "read 512", "read 0", "timeouts 1000"}},
    FlushCase{"status fails, read works", 0, true, false, false, 0,
              {"status", "timeouts 50", "read 0", "timeouts 1000"}},
    FlushCase{"status and read fail", 0, true, true, false, 1,
              {"status", "timeouts 50", "read failed", "timeouts 1000"}},
    FlushCase{"read fails", 10, false, true, false, 1,
              {"status", "timeouts 50", "read failed", "timeouts 1000"}},
    FlushCase{"time-outs unreadable: nothing to give back", 10, false, false, true, 0,
              {"status", "read 10"}}));

struct ReadCase {
    const char* what;
    std::string input;
    std::size_t maxPerRead;
    bool readFails;
    std::uint32_t count;
    int result;
    std::uint32_t received;
    std::vector<std::string> calls;
};

void PrintTo(const ReadCase& c, std::ostream* out) { *out << c.what; }

class ReadCommCases : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadCommCases, ReadsUntilTheCountOrAnEmptyRead) {
    const ReadCase& c = GetParam();
    PortDouble port;
    port.input = c.input;
    port.maxPerRead = c.maxPerRead;
    port.readFails = c.readFails;
    ASSERT_TRUE(HasPort(port.Open()));
    char buffer[32] = {};
    std::uint32_t received = 99;
    EXPECT_EQ(ReadComm(port.handle, buffer, c.count, &received), c.result) << c.what;
    EXPECT_EQ(received, c.received) << c.what;
    EXPECT_EQ(std::string(buffer, received), c.input.substr(0, received)) << c.what;
    EXPECT_EQ(port.calls, c.calls) << c.what;
    CloseComm(port.handle);
}

INSTANTIATE_TEST_SUITE_P(Loop, ReadCommCases, ::testing::Values(
    ReadCase{"in pieces", "abcdefg", 3, false, 7, 0, 7, {"read 3", "read 3", "read 1"}},
    ReadCase{"fewer than asked", "abcdefg", 3, false, 10, 7, 7, {"read 3", "read 3", "read 1", "read 0"}},
    ReadCase{"nothing", "", 3, false, 5, 7, 0, {"read 0"}},
    ReadCase{"failing call", "abc", 3, true, 5, 7, 0, {"read failed"}},
    ReadCase{"nothing asked", "abc", 3, false, 0, 0, 0, {}}));

TEST_F(PortOps, ReadCommKeepsTheRunningTotalWhenALaterCallFails) {
    port.input = "abcdef";
    port.maxPerRead = 2;
    port.readsBeforeFailure = 2;
    char buffer[8] = {};
    std::uint32_t received = 0;
    EXPECT_EQ(ReadComm(port.handle, buffer, 6, &received), kPortIoFailed);
    EXPECT_EQ(received, 4u);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
}

TEST_F(PortOps, AShortWriteReturnsTwoWithTheBytesWritten) {
    port.writeAccepts = 5;
    std::uint32_t written = 0;
    EXPECT_EQ(WriteComm(port.handle, "0123456789", 10, &written), kPortShortWrite);
    EXPECT_EQ(written, 5u);
    EXPECT_EQ(port.written, "01234");
}

TEST_F(PortOps, AFailingWriteReturnsSevenAndAFullWriteZero) {
    std::uint32_t written = 99;
    EXPECT_EQ(WriteComm(port.handle, "abc", 3, &written), kPortOk);
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(WriteComm(port.handle, "abc", 3, nullptr), kPortOk);  // the count is optional
    port.writeFails = true;
    EXPECT_EQ(WriteComm(port.handle, "abc", 3, &written), kPortIoFailed);
    EXPECT_EQ(written, 0u);
}

TEST_F(PortOps, AFailingCloseReturnsSevenAndStillReleasesTheHandle) {
    port.closeFails = true;
    EXPECT_EQ(CloseComm(port.handle), kPortIoFailed);
    EXPECT_EQ(port.Count("close"), 1);
    EXPECT_EQ(CloseComm(port.handle), kPortIoFailed);
    EXPECT_EQ(port.Count("close"), 1);  // the stale handle never reaches the port again
}

TEST_F(PortOps, EveryCallOnAClosedHandleFailsWithoutReachingThePort) {
    ASSERT_EQ(CloseComm(port.handle), kPortOk);
    port.calls.clear();
    char buffer[4];
    std::uint32_t count = 99;
    bool cts = true;
    EXPECT_EQ(SetReadTimeout(port.handle, 10), 0);
    EXPECT_EQ(FlushInput(port.handle), 1);
    EXPECT_EQ(WriteComm(port.handle, "ab", 2, &count), kPortIoFailed);
    EXPECT_EQ(count, 0u);
    count = 99;
    EXPECT_EQ(ReadComm(port.handle, buffer, 2, &count), kPortIoFailed);
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(SetRts(port.handle, true));
    EXPECT_FALSE(GetCts(port.handle, &cts));
    EXPECT_FALSE(cts);
    EXPECT_EQ(CloseComm(port.handle), kPortIoFailed);
    EXPECT_TRUE(port.calls.empty());
}

TEST(PortHandles, NoPortAndForgedHandlesFail) {
    char buffer[4];
    for (const PortHandle handle : {kNoPort, PortHandle{0xFFu}, PortHandle{0xFFFFFFFFu}, PortHandle{0x100u}}) {
        EXPECT_EQ(SetReadTimeout(handle, 10), 0) << handle.id;
        EXPECT_EQ(FlushInput(handle), 1) << handle.id;
        EXPECT_EQ(ReadComm(handle, buffer, 1, nullptr), kPortIoFailed) << handle.id;
        EXPECT_EQ(CloseComm(handle), kPortIoFailed) << handle.id;
    }
}

TEST(PortHandles, AHandleKeptAfterItsCloseDoesNotReachTheSlotsNextPort) {
    PortDouble first;
    const PortHandle old = first.Open();
    ASSERT_EQ(CloseComm(old), kPortOk);
    // Reopen until the old slot serves a new port.
    std::vector<PortDouble> others(300);
    PortHandle reused = kNoPort;
    std::size_t opened = 0;
    for (; opened < others.size(); ++opened) {
        const PortHandle handle = others[opened].Open();
        if (!HasPort(handle)) break;
        if ((handle.id & 0xFFu) == (old.id & 0xFFu)) {
            reused = handle;
            ++opened;
            break;
        }
    }
    ASSERT_TRUE(HasPort(reused));
    EXPECT_NE(reused.id, old.id);
    char byte = 0;
    EXPECT_EQ(ReadComm(old, &byte, 1, nullptr), kPortIoFailed);
    EXPECT_EQ(CloseComm(old), kPortIoFailed);
    EXPECT_EQ(SetReadTimeout(reused, 10), 100);  // the new port is untouched
    for (std::size_t i = 0; i < opened; ++i) CloseComm(others[i].handle);
}

TEST(PortHandles, TheTableHoldsTwoHundredFiftySixPortsAndThenRefuses) {
    std::vector<PortDouble> ports(257);
    for (std::size_t i = 0; i < 256; ++i) ASSERT_TRUE(HasPort(ports[i].Open())) << i;
    EXPECT_FALSE(HasPort(ports[256].Open()));
    for (std::size_t i = 0; i < 256; ++i) EXPECT_EQ(CloseComm(ports[i].handle), kPortOk) << i;
    EXPECT_TRUE(HasPort(ports[256].Open()));
    CloseComm(ports[256].handle);
}

}  // namespace
}  // namespace kesmzn::serial
