#include "tty.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace kesmzn::sim {

namespace {

std::optional<speed_t> speedOf(unsigned baud) {
    switch (baud) {
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return std::nullopt;
    }
}

void makeRaw(int fd, unsigned baud) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return;
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~static_cast<tcflag_t>(HUPCL);
    if (const auto speed = speedOf(baud)) cfsetspeed(&settings, *speed);
    tcsetattr(fd, TCSANOW, &settings);
}

[[noreturn]] void fail(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace

bool isStandardBaud(unsigned baud) { return speedOf(baud).has_value(); }

PtyPair openPty(unsigned baud) {
    PtyPair pair;
    char name[PATH_MAX] = {};
    if (openpty(&pair.master, &pair.slave, name, nullptr, nullptr) != 0) fail("openpty");
    pair.slavePath = name;
    // Set through the slave: the line discipline that would echo or translate is the slave's.
    makeRaw(pair.slave, baud);
    for (const int fd : {pair.master, pair.slave}) {
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    fcntl(pair.master, F_SETFL, fcntl(pair.master, F_GETFL) | O_NONBLOCK);
    return pair;
}

int openDevice(const std::string& path, unsigned baud) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (isatty(fd)) makeRaw(fd, baud);
    return fd;
}

bool keepRaw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return false;
    const auto cookedInput = static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                                   ICRNL | IXON | IXOFF | IXANY | IUCLC | IMAXBEL);
    const auto cookedOutput = static_cast<tcflag_t>(OPOST);
    const auto cookedLocal = static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    if ((settings.c_iflag & cookedInput) == 0 && (settings.c_oflag & cookedOutput) == 0 &&
        (settings.c_lflag & cookedLocal) == 0) {
        return false;
    }
    settings.c_iflag &= ~cookedInput;
    settings.c_oflag &= ~cookedOutput;
    settings.c_lflag &= ~cookedLocal;
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

std::optional<std::size_t> unreadInput(int fd) {
    int count = 0;
    if (ioctl(fd, TIOCINQ, &count) != 0 || count < 0) return std::nullopt;
    return static_cast<std::size_t>(count);
}

void placeLink(const std::string& link, const std::string& target) {
    // Made aside and renamed over the name, so a reader never finds the name missing.
    static std::atomic<unsigned> serial{0};
    const std::string temporary =
        link + ".new." + std::to_string(getpid()) + "." + std::to_string(serial.fetch_add(1));
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) fail("symlink");
    if (rename(temporary.c_str(), link.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        errno = error;
        fail("rename link");
    }
}

void removeLinkIfOurs(const std::string& link, const std::string& target) {
    char buffer[PATH_MAX];
    const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (n < 0) return;
    if (std::string(buffer, static_cast<std::size_t>(n)) == target) unlink(link.c_str());
}

}  // namespace kesmzn::sim
