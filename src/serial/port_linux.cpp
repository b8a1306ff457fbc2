// Linux ports: the backend over termios, ioctl and poll. Together with port_name_linux.cpp and
// termios2_linux.cpp this file holds every operating-system call of the serial link on Linux.
#include "serial/port_linux.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "serial/control_flags.h"
#include "serial/port_backend.h"
#include "serial/port_name.h"
#include "serial/termios2_linux.h"

namespace kesmzn::serial {
namespace {

constexpr std::int64_t kNsPerMs = 1000000;
constexpr std::int64_t kNsPerSecond = 1000000000;
constexpr std::uint32_t kOpenReadTimeoutMs = 1000;
constexpr std::uint32_t kReadAheadSize = 512;
constexpr std::uint32_t kLargestTransfer = 1u << 30;  // below SSIZE_MAX on every target
// A zero write time-out means "never" on the host platform. Here a stalled device (a terminal whose
// other end nobody reads) must not hold the caller for ever: a write gets the bytes' own time at the
// line speed and this margin.
constexpr std::int64_t kWriteMarginNs = 1000 * kNsPerMs;
// Time granted beyond the bytes' own time on the wire for them to leave the line.
constexpr std::int64_t kDrainMarginNs = 100 * kNsPerMs;
constexpr std::int8_t kRtsUnknown = -1;

struct LinuxPort {
    int fd;
    bool terminal;         // false for the null device: no settings, time-outs or queues
    bool modemLines;       // false where the modem-line calls fail with ENOTTY or EINVAL
    bool exclusive;        // TIOCEXCL was set
    bool settingsChanged;  // saved must be put back
    bool rs485Changed;     // savedRs485 must be put back
    std::int8_t rts;       // the level last set, or kRtsUnknown
    std::uint32_t baud;
    std::uint32_t bitsPerChar;  // start, data, parity and stop bits
    PortTimeouts timeouts;      // termios has no total time-out: the layer keeps its own
    termios saved;
    serial_rs485 savedRs485;
    // Bytes taken in by one read() beyond what the caller asked for; still part of the receive queue
    // as far as callers can tell. Lets the line transfer read a line a byte at a time without a
    // system call per byte.
    std::uint32_t aheadStart;
    std::uint32_t aheadEnd;
    unsigned char ahead[kReadAheadSize];
    // When a read last found the receive queue empty (monotonic ns; 0: not known). Within one
    // character's time of that no new byte can have completed, so the next read waits before it reads
    // instead of spending a call on finding the queue empty again.
    std::int64_t drainedAt;
};

static_assert(sizeof(LinuxPort) <= kPlatformStateSize, "the Linux port state must fit its record");
static_assert(alignof(LinuxPort) <= 8, "the record aligns its platform state to 8");

LinuxPort& StateOf(PortRecord& record) {
    return *std::launder(reinterpret_cast<LinuxPort*>(record.platform));
}

std::int64_t Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * kNsPerSecond + now.tv_nsec;
}

timespec ToTimespec(std::int64_t ns) {
    timespec span{};
    span.tv_sec = static_cast<time_t>(ns / kNsPerSecond);
    span.tv_nsec = static_cast<long>(ns % kNsPerSecond);
    return span;
}

std::int64_t WireTimeNs(const LinuxPort& port, std::uint32_t count) {
    if (port.baud == 0) return 0;
    return static_cast<std::int64_t>(count) * port.bitsPerChar * kNsPerSecond / port.baud;
}

// Stores the error and forgets the RTS level: after a failure the next RTS change goes to the device
// and reports its own result, as it would without the remembered level.
bool Failed(PortRecord& record, int error) {
    record.lastError = error;
    StateOf(record).rts = kRtsUnknown;
    return false;
}

// Waits until fd is ready for events or the deadline passes. 1 ready (or hung up: the next call tells
// which), 0 deadline passed, -1 failed with errno set. EINTR resumes with the time that is left.
int WaitReady(int fd, short events, std::int64_t deadline) {
    for (;;) {
        const std::int64_t left = deadline - Now();
        if (left <= 0) return 0;
        pollfd watched{fd, events, 0};
        const timespec span = ToTimespec(left);
        const int ready = ppoll(&watched, 1, &span, nullptr);
        if (ready >= 0) return ready > 0 ? 1 : 0;
        if (errno != EINTR) return -1;
    }
}

std::uint32_t TakeAhead(LinuxPort& port, unsigned char* buffer, std::uint32_t count) {
    const std::uint32_t held = port.aheadEnd - port.aheadStart;
    const std::uint32_t taken = held < count ? held : count;
    if (taken > 0) std::memcpy(buffer, port.ahead + port.aheadStart, taken);
    port.aheadStart += taken;
    if (port.aheadStart == port.aheadEnd) port.aheadStart = port.aheadEnd = 0;
    return taken;
}

// Puts back what open changed. Results are not tested: the close that follows releases the device
// whatever they say, and on a device that went away they fail at once.
void Restore(LinuxPort& port) {
    if (port.rs485Changed) ioctl(port.fd, TIOCSRS485, &port.savedRs485);
    // The saved settings carry the device's own HUPCL back, so its last close drops the lines as usual.
    if (port.settingsChanged) tcsetattr(port.fd, TCSANOW, &port.saved);
    if (port.exclusive) ioctl(port.fd, TIOCNXCL);
    port.rs485Changed = port.settingsChanged = port.exclusive = false;
}

// ---- The backend ----------------------------------------------------------------------------------

bool GetTimeouts(PortRecord& record, PortTimeouts* timeouts) {
    const LinuxPort& port = StateOf(record);
    if (!port.terminal) return Failed(record, ENOTTY);
    *timeouts = port.timeouts;
    return true;
}

bool SetTimeouts(PortRecord& record, const PortTimeouts& timeouts) {
    LinuxPort& port = StateOf(record);
    if (!port.terminal) return Failed(record, ENOTTY);
    port.timeouts = timeouts;
    return true;
}

bool QueueStatus(PortRecord& record, std::uint32_t* waiting) {
    LinuxPort& port = StateOf(record);
    int queued = 0;
    if (ioctl(port.fd, TIOCINQ, &queued) != 0) return Failed(record, errno);
    *waiting = static_cast<std::uint32_t>(queued > 0 ? queued : 0) + (port.aheadEnd - port.aheadStart);
    return true;
}

// Reads come from a descriptor opened non-blocking with VMIN 1: an empty queue reads as EAGAIN and a
// read of 0 bytes only happens after a hang-up. The waiting is done by ppoll against a deadline on the
// monotonic clock, never by the terminal's VTIME, an inter-byte timer in 100 ms steps.
bool Read(PortRecord& record, void* buffer, std::uint32_t count, std::uint32_t* received) {
    LinuxPort& port = StateOf(record);
    auto* bytes = static_cast<unsigned char*>(buffer);
    *received = 0;
    if (!port.terminal) {
        // The null device: every read ends at once, empty.
        const ssize_t n = read(port.fd, bytes, count < kLargestTransfer ? count : kLargestTransfer);
        if (n < 0) return Failed(record, errno);
        *received = static_cast<std::uint32_t>(n);
        return true;
    }

    std::uint32_t total = TakeAhead(port, bytes, count);
    if (total == count) {
        *received = total;
        return true;
    }
    const std::int64_t start = Now();
    const std::int64_t deadline =
        start + (static_cast<std::int64_t>(port.timeouts.readTotalConstant) +
                 static_cast<std::int64_t>(port.timeouts.readTotalMultiplier) * count) * kNsPerMs;
    bool waitFirst = deadline > start && port.drainedAt != 0 && start - port.drainedAt < WireTimeNs(port, 1);
    int error = 0;
    while (total < count && error == 0) {
        if (waitFirst) {
            waitFirst = false;
            const int ready = WaitReady(port.fd, POLLIN, deadline);
            if (ready == 0) break;
            if (ready < 0) {
                error = errno;
                break;
            }
        }
        const std::uint32_t left = count - total;
        const std::uint32_t wanted = left < kLargestTransfer ? left : kLargestTransfer;
        ssize_t n = 0;
        std::uint32_t asked = 0;
        if (wanted >= kReadAheadSize) {
            asked = wanted;
            n = read(port.fd, bytes + total, wanted);
            if (n > 0) total += static_cast<std::uint32_t>(n);
        } else {
            asked = kReadAheadSize;
            n = read(port.fd, port.ahead, kReadAheadSize);
            if (n > 0) {
                port.aheadStart = 0;
                port.aheadEnd = static_cast<std::uint32_t>(n);
                total += TakeAhead(port, bytes + total, wanted);
            }
        }
        if (n > 0) {
            port.drainedAt = static_cast<std::uint32_t>(n) < asked ? Now() : 0;
            continue;
        }
        if (n == 0) {
            error = EIO;  // hung up: the device went away or the other end of a pseudo-terminal closed
        } else if (errno == EINTR) {
            continue;
        } else if (errno != EAGAIN) {
            error = errno;
        } else {
            port.drainedAt = Now();
            const int ready = WaitReady(port.fd, POLLIN, deadline);
            if (ready == 0) break;
            if (ready < 0) error = errno;
        }
    }
    if (error != 0) {
        Failed(record, error);
        // What arrived before the failure is delivered; the failure shows again on the next call.
        if (total == 0) return false;
    }
    *received = total;
    return true;
}

// Returns once the bytes have left the line, so the RTS drop that follows a send never cuts a frame
// short on RS-485 converters that switch direction on RTS. tcdrain alone could wait for ever on a
// stalled device, so the wait for the kernel's output queue is bounded here by the bytes' time at the
// line speed plus a margin; tcdrain then only waits for the UART's own FIFO, which the serial core
// bounds by itself.
void DrainOutput(LinuxPort& port, std::uint32_t count) {
    const std::int64_t deadline = Now() + WireTimeNs(port, count) + kDrainMarginNs;
    for (;;) {
        int pending = 0;
        if (ioctl(port.fd, TIOCOUTQ, &pending) != 0) return;
        if (pending <= 0) break;
        const std::int64_t left = deadline - Now();
        if (left <= 0) return;
        std::int64_t pause = WireTimeNs(port, static_cast<std::uint32_t>(pending));
        if (pause < kNsPerMs) pause = kNsPerMs;
        const timespec span = ToTimespec(pause < left ? pause : left);
        nanosleep(&span, nullptr);
    }
    tcdrain(port.fd);
}

std::int64_t WriteBoundNs(const LinuxPort& port, std::uint32_t count) {
    const std::uint64_t fixedMs = port.timeouts.writeTotalConstant +
                                  static_cast<std::uint64_t>(port.timeouts.writeTotalMultiplier) * count;
    if (fixedMs != 0) return static_cast<std::int64_t>(fixedMs) * kNsPerMs;
    return WireTimeNs(port, count) + kWriteMarginNs;
}

bool Write(PortRecord& record, const void* data, std::uint32_t count, std::uint32_t* written) {
    LinuxPort& port = StateOf(record);
    const auto* bytes = static_cast<const unsigned char*>(data);
    *written = 0;
    std::uint32_t total = 0;
    std::int64_t deadline = 0;  // set at the first wait
    int error = 0;
    while (total < count && error == 0) {
        const std::uint32_t left = count - total;
        const ssize_t n = write(port.fd, bytes + total, left < kLargestTransfer ? left : kLargestTransfer);
        if (n > 0) {
            total += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            error = errno;
            break;
        }
        // The output queue is full: wait for room within the write's bound.
        if (deadline == 0) deadline = Now() + WriteBoundNs(port, count);
        const int ready = WaitReady(port.fd, POLLOUT, deadline);
        if (ready == 0) break;
        if (ready < 0) error = errno;
    }
    if (error != 0) {
        Failed(record, error);
        if (total == 0) return false;
    }
    if (port.modemLines && total > 0) DrainOutput(port, total);
    *written = total;
    return true;
}

bool SetRtsLine(PortRecord& record, bool asserted) {
    LinuxPort& port = StateOf(record);
    if (!port.modemLines) return true;  // nothing to drive: succeeds without effect
    const std::int8_t level = asserted ? 1 : 0;
    if (port.rts == level) return true;  // the line is there already
    int bits = TIOCM_RTS;
    if (ioctl(port.fd, asserted ? TIOCMBIS : TIOCMBIC, &bits) != 0) return Failed(record, errno);
    // In RS-485 mode the kernel moves RTS itself, so the level set here is not remembered.
    port.rts = port.rs485Changed ? kRtsUnknown : level;
    return true;
}

bool GetCtsLine(PortRecord& record, bool* asserted) {
    LinuxPort& port = StateOf(record);
    if (!port.modemLines) {
        *asserted = true;  // nobody to wait for
        return true;
    }
    int lines = 0;
    if (ioctl(port.fd, TIOCMGET, &lines) != 0) return Failed(record, errno);
    *asserted = (lines & TIOCM_CTS) != 0;
    return true;
}

bool Close(PortRecord& record) {
    LinuxPort& port = StateOf(record);
    Restore(port);
    // The flock goes with the descriptor. Linux releases the descriptor even when close reports an
    // error, so the port is gone either way.
    const int result = close(port.fd);
    const int error = errno;
    port.fd = -1;
    port.aheadStart = port.aheadEnd = 0;
    if (result != 0) return Failed(record, error);
    return true;
}

constexpr PortBackend kLinuxBackend{
    GetTimeouts, SetTimeouts, QueueStatus, Read, Write, SetRtsLine, GetCtsLine, Close,
};

// ---- Open -----------------------------------------------------------------------------------------

struct StandardSpeed {
    std::uint32_t baud;
    speed_t code;
};

constexpr StandardSpeed kStandardSpeeds[] = {
    {50, B50},       {75, B75},       {110, B110},     {134, B134},     {150, B150},   {200, B200},
    {300, B300},     {600, B600},     {1200, B1200},   {1800, B1800},   {2400, B2400}, {4800, B4800},
    {9600, B9600},   {19200, B19200}, {38400, B38400}, {57600, B57600},
};

// Releases what the open took so far and answers with code; error is the failing step's errno.
int Abandon(PortRecord& record, int code, int error) {
    LinuxPort& port = StateOf(record);
    record.lastError = error;
    Restore(port);
    close(port.fd);
    port.fd = -1;
    return code;
}

std::uint32_t BitsPerChar(const PortParams& params) {
    const std::uint32_t parityBits = (params.parity & 0xFF) == 0 ? 0 : 1;
    const std::uint32_t stopBits = (params.stopBits & 0xFF) == 2 ? 2 : 1;
    return 1 + (params.dataBits & 0xFFu) + parityBits + stopBits;
}

// Modem lines as the control flags ask. A device without them (pseudo-terminals, socat's virtual
// ports, network redirectors) answers the first call with ENOTTY or EINVAL: it is marked once here,
// and from then on RTS changes succeed without effect and CTS counts as asserted.
int ApplyControlLines(PortRecord& record, std::uint16_t controlFlags) {
    LinuxPort& port = StateOf(record);
    int lines = 0;
    if (ioctl(port.fd, TIOCMGET, &lines) != 0) {
        if (errno != ENOTTY && errno != EINVAL) return Abandon(record, kPortBadSettings, errno);
        port.modemLines = false;
        return kPortOk;
    }
    port.modemLines = true;

    const LineControl control = DecodeControlFlags(controlFlags);
    // termios has no DTR/DSR handshake, and its RTS handshake (CRTSCTS) would also hold output while
    // CTS is low, which these settings must not do.
    if (control.dtr == DtrControl::kHandshake || control.rts == RtsControl::kHandshake) {
        return Abandon(record, kPortBadSettings, EINVAL);
    }
    if (control.rts == RtsControl::kToggle) {
        if (ioctl(port.fd, TIOCGRS485, &port.savedRs485) != 0) return Abandon(record, kPortBadSettings, errno);
        serial_rs485 toggle = port.savedRs485;
        toggle.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        toggle.flags &= ~static_cast<decltype(toggle.flags)>(SER_RS485_RTS_AFTER_SEND);
        if (ioctl(port.fd, TIOCSRS485, &toggle) != 0) return Abandon(record, kPortBadSettings, errno);
        port.rs485Changed = true;
    }

    int raise = 0;
    int lower = 0;
    (control.dtr == DtrControl::kOn ? raise : lower) |= TIOCM_DTR;
    if (control.rts == RtsControl::kOn) raise |= TIOCM_RTS;
    if (control.rts == RtsControl::kOff) lower |= TIOCM_RTS;
    if (raise != 0 && ioctl(port.fd, TIOCMBIS, &raise) != 0) return Abandon(record, kPortBadSettings, errno);
    if (lower != 0 && ioctl(port.fd, TIOCMBIC, &lower) != 0) return Abandon(record, kPortBadSettings, errno);
    port.rts = control.rts == RtsControl::kOn ? 1 : control.rts == RtsControl::kOff ? 0 : kRtsUnknown;
    return kPortOk;
}

}  // namespace

bool MakeLineSettings(const termios& current, const PortParams& params, termios* settings, bool* customSpeed) {
    termios next = current;
    // Raw bytes both ways. Parity is generated and stripped by the UART; INPCK stays off because it
    // would turn a byte with a parity error into NUL, a replacement the line must not make.
    next.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                           IXOFF | IXANY | IMAXBEL | INPCK | IUCLC | IUTF8);
    next.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    next.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    // No hang-up on close: the lines stay as the driver set them between a close and the next open.
    next.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
    next.c_cflag |= static_cast<tcflag_t>(CREAD | CLOCAL);
    // VMIN 1 with a non-blocking descriptor: an empty queue reads as EAGAIN, never as 0 bytes.
    next.c_cc[VMIN] = 1;
    next.c_cc[VTIME] = 0;

    switch (params.dataBits & 0xFF) {
        case 5: next.c_cflag |= CS5; break;
        case 6: next.c_cflag |= CS6; break;
        case 7: next.c_cflag |= CS7; break;
        case 8: next.c_cflag |= CS8; break;
        default: return false;
    }
    switch (params.parity & 0xFF) {
        case 0: break;
        case 1: next.c_cflag |= static_cast<tcflag_t>(PARENB | PARODD); break;
        case 2: next.c_cflag |= static_cast<tcflag_t>(PARENB); break;
        case 3: next.c_cflag |= static_cast<tcflag_t>(PARENB | CMSPAR | PARODD); break;
        case 4: next.c_cflag |= static_cast<tcflag_t>(PARENB | CMSPAR); break;
        default: return false;
    }
    switch (params.stopBits & 0xFF) {
        case 0: break;
        case 2: next.c_cflag |= static_cast<tcflag_t>(CSTOPB); break;
        default: return false;
    }

    if (params.baud == 0) return false;  // B0 would hang the line up
    speed_t speed = B38400;              // placeholder until termios2 sets the real speed
    *customSpeed = true;
    for (const StandardSpeed& standard : kStandardSpeeds) {
        if (standard.baud != params.baud) continue;
        speed = standard.code;
        *customSpeed = false;
        break;
    }
    if (cfsetispeed(&next, speed) != 0 || cfsetospeed(&next, speed) != 0) return false;
    *settings = next;
    return true;
}

int PlatformOpen(const char* name, const PortParams& params, std::uint16_t controlFlags, PortRecord& record) {
    LinuxPort& port = *new (record.platform) LinuxPort{};
    port.fd = -1;
    port.rts = kRtsUnknown;
    record.backend = &kLinuxBackend;

    char path[kPortPathCapacity];
    if (!ResolvePortName(name, path, sizeof path)) {
        record.lastError = name[0] == '\0' ? ENOENT : ENAMETOOLONG;
        return kPortNotOpened;
    }
    // Never O_CREAT: a name that matches nothing must not leave a file behind. O_NONBLOCK: the open
    // must not wait for a carrier, and every later wait is a ppoll against a deadline.
    port.fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (port.fd < 0) {
        record.lastError = errno;
        return kPortNotOpened;
    }
    if (std::strcmp(name, "NUL") == 0) {
        // The null device runs the driver without hardware: no settings, time-outs, queues or lock (any
        // number of instances may use it), and no modem lines to wait for.
        return kPortOk;
    }
    // TIOCEXCL turns away a second open, but not one with CAP_SYS_ADMIN (root); flock turns away every
    // other user of this driver and every program that honours flock on the device.
    if (flock(port.fd, LOCK_EX | LOCK_NB) != 0) return Abandon(record, kPortNotOpened, errno);

    if (tcgetattr(port.fd, &port.saved) != 0) return Abandon(record, kPortNoSettings, errno);
    port.terminal = true;
    if (ioctl(port.fd, TIOCEXCL) != 0) return Abandon(record, kPortNotOpened, errno);
    port.exclusive = true;

    port.timeouts = PortTimeouts{0, 0, kOpenReadTimeoutMs, 0, 0};

    termios settings{};
    bool customSpeed = false;
    if (!MakeLineSettings(port.saved, params, &settings, &customSpeed)) {
        return Abandon(record, kPortBadSettings, EINVAL);
    }
    port.settingsChanged = true;  // from here a failed change may have applied in part
    if (tcsetattr(port.fd, TCSANOW, &settings) != 0) return Abandon(record, kPortBadSettings, errno);
    if (customSpeed && !SetCustomSpeed(port.fd, params.baud)) return Abandon(record, kPortBadSettings, errno);
    port.baud = params.baud;
    port.bitsPerChar = BitsPerChar(params);

    const int lines = ApplyControlLines(record, controlFlags);
    if (lines != kPortOk) return lines;
    // Queue sizes: the terminal layer's buffers are fixed and larger than the 1200 bytes asked for.
    return kPortOk;
}

}  // namespace kesmzn::serial
