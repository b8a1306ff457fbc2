// The Linux port on real pseudo-terminal pairs and the null device: settings, exclusive access, total
// read time-outs, the drain of queued input, a far end that goes away, and concurrent use of the table.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "pty_pair.h"
#include "serial/port.h"
#include "termios2_probe.h"

namespace kesmzn::serial {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

bool Exclusive(int fd) {
    int exclusive = 0;
    return ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

class PtyPort : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty.ok()); }
    void TearDown() override {
        if (HasPort(handle)) CloseComm(handle);
    }
    int Open(const PortParams& params, std::uint16_t flags = PORT_RTS_ON) {
        return OpenComm(pty.path().c_str(), &params, flags, &handle);
    }
    termios Settings() const {
        termios settings{};
        tcgetattr(pty.terminal(), &settings);
        return settings;
    }

    testing::PtyPair pty;
    PortHandle handle = kNoPort;
};

TEST_F(PtyPort, OpenAppliesRawSettingsAndTakesExclusiveAccess) {
    ASSERT_EQ(Open({9600, 8, 2, 1}), kPortOk);
    const termios settings = Settings();
    EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B9600));
    // A pseudo-terminal keeps these framing bits (it forces 8 data bits and no parity itself).
    EXPECT_EQ(settings.c_cflag & (CSTOPB | PARODD), static_cast<tcflag_t>(CSTOPB | PARODD));
    EXPECT_EQ(settings.c_cflag & HUPCL, 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(settings.c_iflag & (ICRNL | IXON | IXOFF), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);
    EXPECT_TRUE(Exclusive(pty.terminal()));
}

TEST_F(PtyPort, MarkAndSpaceParityUseCmspar) {
    ASSERT_EQ(Open({4800, 8, 0, 3}), kPortOk);
    EXPECT_EQ(Settings().c_cflag & (CMSPAR | PARODD), static_cast<tcflag_t>(CMSPAR | PARODD));
    ASSERT_EQ(CloseComm(handle), kPortOk);
    ASSERT_EQ(Open({4800, 8, 0, 4}), kPortOk);
    EXPECT_EQ(Settings().c_cflag & (CMSPAR | PARODD), static_cast<tcflag_t>(CMSPAR));
}

TEST_F(PtyPort, ASpeedWithoutBConstantGoesThroughTermios2) {
    ASSERT_EQ(Open({12345, 8, 0, 0}), kPortOk);
    const testing::SpeedProbe speed = testing::ProbeSpeed(pty.terminal());
    ASSERT_TRUE(speed.ok);
    EXPECT_TRUE(speed.custom);
    EXPECT_EQ(speed.outputSpeed, 12345u);
    EXPECT_EQ(speed.inputSpeed, 12345u);
}

TEST_F(PtyPort, CloseGivesTheSettingsAndTheDeviceBack) {
    termios before = Settings();
    before.c_cflag |= HUPCL;
    ASSERT_EQ(tcsetattr(pty.terminal(), TCSANOW, &before), 0);
    ASSERT_EQ(Open({9600, 8, 0, 0}), kPortOk);
    ASSERT_EQ(CloseComm(handle), kPortOk);
    const PortHandle closed = handle;
    handle = kNoPort;
    const termios after = Settings();
    EXPECT_EQ(after.c_cflag & HUPCL, static_cast<tcflag_t>(HUPCL));
    EXPECT_EQ(after.c_lflag & ICANON, before.c_lflag & ICANON);
    EXPECT_FALSE(Exclusive(pty.terminal()));
    ASSERT_EQ(Open({9600, 8, 0, 0}), kPortOk);
    EXPECT_NE(handle.id, closed.id);
}

TEST_F(PtyPort, ASecondOpenOfAHeldDeviceFails) {
    ASSERT_EQ(Open({9600, 8, 0, 0}), kPortOk);
    PortHandle second = kNoPort;
    int osError = 0;
    const PortParams params{9600, 8, 0, 0};
    // As root TIOCEXCL lets the open through; the lock turns it away.
    EXPECT_EQ(OpenComm(pty.path().c_str(), &params, PORT_RTS_ON, &second, &osError), kPortNotOpened);
    EXPECT_FALSE(HasPort(second));
    EXPECT_TRUE(osError == EWOULDBLOCK || osError == EBUSY) << osError;
    // The holder is untouched.
    std::uint32_t written = 0;
    EXPECT_EQ(WriteComm(handle, "ok", 2, &written), kPortOk);
    EXPECT_EQ(pty.Receive(2), "ok");
}

struct RefusedCase {
    const char* what;
    PortParams params;
};

void PrintTo(const RefusedCase& c, std::ostream* out) { *out << c.what; }

class RefusedSettings : public PtyPort, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedSettings, ReturnFiveAndLeaveTheDeviceFree) {
    int osError = 0;
    EXPECT_EQ(OpenComm(pty.path().c_str(), &GetParam().params, PORT_RTS_ON, &handle, &osError), kPortBadSettings)
        << GetParam().what;
    EXPECT_FALSE(HasPort(handle));
    EXPECT_EQ(osError, EINVAL);
    EXPECT_FALSE(Exclusive(pty.terminal()));
    EXPECT_EQ(Open({9600, 8, 0, 0}), kPortOk);
}

INSTANTIATE_TEST_SUITE_P(Values, RefusedSettings, ::testing::Values(
    RefusedCase{"nine data bits", {9600, 9, 0, 0}},
    RefusedCase{"parity 7", {9600, 8, 0, 7}},
    RefusedCase{"one and a half stop bits", {9600, 8, 1, 0}},
    RefusedCase{"speed 0", {0, 8, 0, 0}}));

TEST(PortOpen, AFileThatIsNotATerminalGivesNoSettings) {
    char pattern[] = "/tmp/kesmzn-plain-XXXXXX";
    const int fd = mkstemp(pattern);
    ASSERT_GE(fd, 0);
    close(fd);
    const PortParams params{9600, 8, 0, 0};
    PortHandle handle = kNoPort;
    EXPECT_EQ(OpenComm(pattern, &params, PORT_RTS_ON, &handle), kPortNoSettings);
    EXPECT_FALSE(HasPort(handle));
    unlink(pattern);
}

TEST(PortOpen, AMissingDeviceOrAFolderDoesNotOpenAndNothingIsCreated) {
    char pattern[] = "/tmp/kesmzn-none-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string missing = std::string(pattern) + "/COM1";
    const PortParams params{9600, 8, 0, 0};
    PortHandle handle = kNoPort;
    int osError = 0;
    EXPECT_EQ(OpenComm(missing.c_str(), &params, PORT_RTS_ON, &handle, &osError), kPortNotOpened);
    EXPECT_EQ(osError, ENOENT);
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_EQ(OpenComm(pattern, &params, PORT_RTS_ON, &handle, &osError), kPortNotOpened);
    EXPECT_EQ(osError, EISDIR);
    EXPECT_EQ(OpenComm("", &params, PORT_RTS_ON, &handle), kPortNotOpened);
    rmdir(pattern);
}

TEST(PortOpen, NulOpensWithoutSettingsAndAnswersLikeANullDevice) {
    const PortParams nonsense{0, 99, 9, 9};  // never looked at
    PortHandle first = kNoPort;
    PortHandle second = kNoPort;
    ASSERT_EQ(OpenComm("NUL", &nonsense, PORT_RTS_ON, &first), kPortOk);
    ASSERT_EQ(OpenComm("NUL", &nonsense, PORT_RTS_ON, &second), kPortOk);  // not exclusive
    EXPECT_EQ(SetReadTimeout(first, 10), 0);
    EXPECT_EQ(SetReadTimeout(first, 10), 0);
    std::uint32_t count = 0;
    EXPECT_EQ(WriteComm(first, "abcde", 5, &count), kPortOk);
    EXPECT_EQ(count, 5u);
    char buffer[10];
    const auto start = Clock::now();
    EXPECT_EQ(ReadComm(first, buffer, 10, &count), kPortIoFailed);
    EXPECT_LT(MsSince(start), 500);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(FlushInput(first), 0);
    EXPECT_TRUE(SetRts(first, true));
    bool cts = false;
    EXPECT_TRUE(GetCts(first, &cts));
    EXPECT_TRUE(cts);
    EXPECT_EQ(CloseComm(first), kPortOk);
    EXPECT_EQ(CloseComm(second), kPortOk);
}

TEST_F(PtyPort, SetReadTimeoutReturnsTheOpeningTimeoutThenTheNewOne) {
    ASSERT_EQ(Open({9600, 8, 0, 0}), kPortOk);
    EXPECT_EQ(SetReadTimeout(handle, 10), 100);
    EXPECT_EQ(SetReadTimeout(handle, 10), 10);
    EXPECT_EQ(SetReadTimeout(handle, 25), 10);
    EXPECT_EQ(SetReadTimeout(handle, 10), 25);
}

TEST_F(PtyPort, AReadShortOfItsCountEndsAfterTwoTimeoutPeriods) {
    ASSERT_EQ(Open({9600, 8, 0, 0}), kPortOk);
    SetReadTimeout(handle, 10);
    pty.Send(std::string(20, 'z'));
    char buffer[300];
    std::uint32_t received = 0;
    const auto start = Clock::now();
    EXPECT_EQ(ReadComm(handle, buffer, 300, &received), kPortIoFailed);
    const auto elapsed = MsSince(start);
    EXPECT_EQ(received, 20u);
    EXPECT_EQ(std::string(buffer, 20), std::string(20, 'z'));
    EXPECT_GE(elapsed, 190);
    EXPECT_LT(elapsed, 2000);
}

TEST_F(PtyPort, AReadEndsAsSoonAsItsCountHasArrived) {
    ASSERT_EQ(Open({9600, 8, 0, 0}), kPortOk);
    SetReadTimeout(handle, 1000);  // 10 s
    std::thread far([&] {
        pty.Send("abc");
        std::this_thread::sleep_for(milliseconds(50));
        pty.Send("de");
    });
    char buffer[5];
    std::uint32_t received = 0;
    const auto start = Clock::now();
    EXPECT_EQ(ReadComm(handle, buffer, 5, &received), kPortOk);
    EXPECT_LT(MsSince(start), 5000);
    far.join();
    EXPECT_EQ(std::string(buffer, received), "abcde");
}

TEST_F(PtyPort, AZeroTimeoutReadsOnlyWhatIsThere) {
    ASSERT_EQ(Open({9600, 8, 0, 0}), kPortOk);
    SetReadTimeout(handle, 0);
    char buffer[4];
    std::uint32_t received = 0;
    const auto start = Clock::now();
    EXPECT_EQ(ReadComm(handle, buffer, 4, &received), kPortIoFailed);
    EXPECT_LT(MsSince(start), 500);
    pty.Send("ab");
    ASSERT_TRUE(pty.WaitQueued(2));
    EXPECT_EQ(ReadComm(handle, buffer, 4, &received), kPortIoFailed);
    EXPECT_EQ(received, 2u);
}

TEST_F(PtyPort, FlushInputDiscardsQueuedInputAndRestoresTheTimeout) {
    ASSERT_EQ(Open({9600, 8, 0, 0}), kPortOk);
    pty.Send(std::string(2000, 'q'));
    ASSERT_TRUE(pty.WaitQueued(2000));
    EXPECT_EQ(FlushInput(handle), kPortOk);
    EXPECT_EQ(SetReadTimeout(handle, 10), 100);  // the opening 1000 ms came back
    char byte = 0;
    std::uint32_t received = 0;
    EXPECT_EQ(ReadComm(handle, &byte, 1, &received), kPortIoFailed);
    pty.Send("z");
    EXPECT_EQ(ReadComm(handle, &byte, 1, &received), kPortOk);
    EXPECT_EQ(byte, 'z');
}

// Reads of single bytes may be served from one larger read; callers must not see the difference.
TEST_F(PtyPort, BytesTakenInAheadStillBelongToTheQueue) {
    ASSERT_EQ(Open({9600, 8, 0, 0}), kPortOk);
    SetReadTimeout(handle, 10);
    pty.Send("abcdef");
    ASSERT_TRUE(pty.WaitQueued(6));
    char byte = 0;
    std::string got;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(ReadComm(handle, &byte, 1, nullptr), kPortOk);
        got += byte;
    }
    EXPECT_EQ(got, "abc");
    char rest[8];
    std::uint32_t received = 0;
    EXPECT_EQ(ReadComm(handle, rest, 3, &received), kPortOk);
    EXPECT_EQ(std::string(rest, received), "def");

    pty.Send("ghij");
    ASSERT_TRUE(pty.WaitQueued(4));
    ASSERT_EQ(ReadComm(handle, &byte, 1, nullptr), kPortOk);
    EXPECT_EQ(byte, 'g');
    EXPECT_EQ(FlushInput(handle), kPortOk);  // "hij" waits, whichever buffer holds it
    EXPECT_EQ(ReadComm(handle, &byte, 1, nullptr), kPortIoFailed);
}

TEST_F(PtyPort, WritesReachTheFarEnd) {
    ASSERT_EQ(Open({9600, 8, 0, 0}), kPortOk);
    const std::string frame = ":0A1234567890ABCD\r\n";
    std::uint32_t written = 0;
    EXPECT_EQ(WriteComm(handle, frame.data(), static_cast<std::uint32_t>(frame.size()), &written), kPortOk);
    EXPECT_EQ(written, frame.size());
    EXPECT_EQ(pty.Receive(frame.size()), frame);
}

TEST_F(PtyPort, ModemLineCallsSucceedWithoutEffectOnAPseudoTerminal) {
    ASSERT_EQ(Open({9600, 8, 0, 0}), kPortOk);
    EXPECT_TRUE(SetRts(handle, true));
    EXPECT_TRUE(SetRts(handle, false));
    bool cts = false;
    EXPECT_TRUE(GetCts(handle, &cts));
    EXPECT_TRUE(cts);
    // Every control mode opens: there is no line to drive.
    for (const int flags : {0x0000, 0x0101, 0x8000, 0x1000, 0x2000}) {
        ASSERT_EQ(CloseComm(handle), kPortOk);
        EXPECT_EQ(Open({9600, 8, 0, 0}, static_cast<std::uint16_t>(flags)), kPortOk) << flags;
    }
}

TEST_F(PtyPort, AFarEndThatGoesAwayEndsAReadAtOnceAndFailsWhatFollows) {
    ASSERT_EQ(Open({9600, 8, 0, 0}), kPortOk);
    SetReadTimeout(handle, 500);  // 5 s
    std::thread far([&] {
        pty.Send("abc");
        std::this_thread::sleep_for(milliseconds(100));
        pty.CloseMaster();
    });
    char buffer[10];
    std::uint32_t received = 0;
    const auto start = Clock::now();
    EXPECT_EQ(ReadComm(handle, buffer, 10, &received), kPortIoFailed);
    EXPECT_LT(MsSince(start), 2500);
    far.join();
    EXPECT_EQ(received, 3u);  // what arrived before the hang-up is delivered
    EXPECT_EQ(LastPortError(handle), EIO);

    std::uint32_t written = 0;
    const auto later = Clock::now();
    EXPECT_EQ(WriteComm(handle, "x", 1, &written), kPortIoFailed);
    EXPECT_EQ(FlushInput(handle), 1);
    EXPECT_EQ(ReadComm(handle, buffer, 1, &received), kPortIoFailed);
    EXPECT_LT(MsSince(later), 2500);
    EXPECT_EQ(CloseComm(handle), kPortOk);
    handle = kNoPort;
}

TEST_F(PtyPort, ACloseWaitsForAReadInProgressOnAnotherThread) {
    ASSERT_EQ(Open({9600, 8, 0, 0}), kPortOk);
    SetReadTimeout(handle, 30);
    std::atomic<int> readResult{-1};
    std::thread reader([&] {
        char buffer[4];
        readResult = ReadComm(handle, buffer, 4, nullptr);
    });
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(CloseComm(handle), kPortOk);
    reader.join();
    EXPECT_EQ(readResult.load(), kPortIoFailed);
    char byte = 0;
    EXPECT_EQ(ReadComm(handle, &byte, 1, nullptr), kPortIoFailed);
    handle = kNoPort;
}

TEST(PortTable, ThreadsOpeningUsingAndClosingAtOnceNeverMixPortsUp) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 300;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const PortParams params{9600, 8, 0, 0};
            for (int round = 0; round < kRounds; ++round) {
                PortHandle handle = kNoPort;
                if (OpenComm("NUL", &params, PORT_RTS_ON, &handle) != kPortOk) {
                    ++failures;
                    continue;
                }
                std::uint32_t written = 0;
                if (WriteComm(handle, "abc", 3, &written) != kPortOk || written != 3) ++failures;
                if (FlushInput(handle) != 0) ++failures;
                if (CloseComm(handle) != kPortOk) ++failures;
                if (CloseComm(handle) != kPortIoFailed) ++failures;  // a second close never hits another port
                (void)t;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace kesmzn::serial
