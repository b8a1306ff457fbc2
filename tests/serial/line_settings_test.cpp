// Speed, framing and modem-line control flags as the Linux port builds them from a request.
#include <gtest/gtest.h>
#include <termios.h>

#include <ostream>

#include "serial/control_flags.h"
#include "serial/port_linux.h"

namespace kesmzn::serial {
namespace {

struct FramingCase {
    PortParams params;
    tcflag_t framing;  // CSIZE, PARENB, PARODD, CMSPAR and CSTOPB bits expected
    speed_t speed;
    bool custom;
};

void PrintTo(const FramingCase& c, std::ostream* out) {
    *out << c.params.baud << " baud, codes " << c.params.dataBits << "/" << c.params.stopBits << "/" << c.params.parity;
}

class LineSettingsCases : public ::testing::TestWithParam<FramingCase> {};

TEST_P(LineSettingsCases, SetsSpeedAndFraming) {
    const FramingCase& c = GetParam();
    termios current{};
    current.c_cflag = CS8 | PARENB | CSTOPB | HUPCL | CRTSCTS;
    current.c_iflag = ICRNL | IXON | IXOFF | INPCK | ISTRIP;
    current.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    current.c_oflag = OPOST;
    termios settings{};
    bool custom = false;
    ASSERT_TRUE(MakeLineSettings(current, c.params, &settings, &custom)) << c.params.baud;
    EXPECT_EQ(settings.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB), c.framing) << c.params.baud;
    EXPECT_EQ(custom, c.custom);
    EXPECT_EQ(cfgetospeed(&settings), c.speed);
    EXPECT_EQ(cfgetispeed(&settings), c.speed);
    // Raw, no flow control, no hang-up on close, reads paced by the layer.
    EXPECT_EQ(settings.c_cflag & (HUPCL | CRTSCTS), 0u);
    EXPECT_EQ(settings.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
    EXPECT_EQ(settings.c_iflag & (ICRNL | IXON | IXOFF | INPCK | ISTRIP), 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);
    EXPECT_EQ(settings.c_cc[VMIN], 1);
    EXPECT_EQ(settings.c_cc[VTIME], 0);
}

INSTANTIATE_TEST_SUITE_P(Requests, LineSettingsCases, ::testing::Values(
    FramingCase{{4800, 8, 0, 0}, CS8, B4800, false},
    FramingCase{{9600, 7, 0, 2}, CS7 | PARENB, B9600, false},
    FramingCase{{19200, 7, 2, 1}, CS7 | PARENB | PARODD | CSTOPB, B19200, false},
    FramingCase{{1200, 6, 0, 3}, CS6 | PARENB | PARODD | CMSPAR, B1200, false},
    FramingCase{{57600, 5, 0, 4}, CS5 | PARENB | CMSPAR, B57600, false},
    FramingCase{{50, 8, 0, 0}, CS8, B50, false},
    // Only the low 8 bits of each code count.
    FramingCase{{2400, 0x0108, 0x0100, 0x0102}, CS8 | PARENB, B2400, false},
    // No B-constant: a placeholder, the real speed goes through termios2.
    FramingCase{{12345, 8, 0, 0}, CS8, B38400, true},
    FramingCase{{65535, 8, 0, 0}, CS8, B38400, true},
    FramingCase{{14400, 8, 0, 0}, CS8, B38400, true}));

TEST(LineSettings, RefusesWhatTermiosCannotDo) {
    const PortParams refused[] = {
        {0, 8, 0, 0},     // speed 0 would hang the line up
        {9600, 9, 0, 0},  {9600, 4, 0, 0}, {9600, 0, 0, 0},
        {9600, 8, 0, 5},  {9600, 8, 0, 7},
        {9600, 8, 1, 0},  // one and a half stop bits
        {9600, 8, 3, 0},
    };
    for (const PortParams& params : refused) {
        termios settings{};
        bool custom = false;
        EXPECT_FALSE(MakeLineSettings(termios{}, params, &settings, &custom))
            << params.baud << " " << params.dataBits << " " << params.stopBits << " " << params.parity;
    }
}

struct FlagsCase {
    std::uint16_t flags;
    DtrControl dtr;
    RtsControl rts;
};

void PrintTo(const FlagsCase& c, std::ostream* out) { *out << "flags 0x" << std::hex << c.flags; }

class ControlFlagCases : public ::testing::TestWithParam<FlagsCase> {};

TEST_P(ControlFlagCases, DecodeInTheirOrder) {
    const LineControl control = DecodeControlFlags(GetParam().flags);
    EXPECT_EQ(control.dtr, GetParam().dtr) << std::hex << GetParam().flags;
    EXPECT_EQ(control.rts, GetParam().rts) << std::hex << GetParam().flags;
}

INSTANTIATE_TEST_SUITE_P(Flags, ControlFlagCases, ::testing::Values(
    FlagsCase{0x0000, DtrControl::kOff, RtsControl::kOff},
    FlagsCase{PORT_RTS_ON, DtrControl::kOff, RtsControl::kOn},
    FlagsCase{0x0200, DtrControl::kOff, RtsControl::kOn},  // either bit of the pair
    FlagsCase{0x0002, DtrControl::kOff, RtsControl::kOn},
    FlagsCase{PORT_DTR_ON, DtrControl::kOn, RtsControl::kOff},
    FlagsCase{0x0001, DtrControl::kOn, RtsControl::kOff},
    FlagsCase{PORT_DTR_HANDSHAKE, DtrControl::kHandshake, RtsControl::kOff},
    FlagsCase{PORT_DTR_HANDSHAKE | 0x0100, DtrControl::kOn, RtsControl::kOff},
    FlagsCase{PORT_RTS_HANDSHAKE, DtrControl::kOff, RtsControl::kHandshake},
    FlagsCase{PORT_RTS_HANDSHAKE | 0x0002, DtrControl::kOff, RtsControl::kOn},
    FlagsCase{PORT_RTS_TOGGLE, DtrControl::kOff, RtsControl::kToggle},
    FlagsCase{PORT_RTS_TOGGLE | PORT_RTS_HANDSHAKE, DtrControl::kOff, RtsControl::kHandshake},
    FlagsCase{PORT_RTS_TOGGLE | PORT_DTR_ON | PORT_RTS_ON, DtrControl::kOn, RtsControl::kOn}));

}  // namespace
}  // namespace kesmzn::serial
