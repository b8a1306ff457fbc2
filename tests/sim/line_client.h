// A tiny driver stand-in for the simulator's tests: raw POSIX reads and writes on the line.
#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace kesmzn::sim::client {

using Millis = std::chrono::milliseconds;

class LineClient {
public:
    explicit LineClient(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        termios settings{};
        if (fd_ >= 0 && tcgetattr(fd_, &settings) == 0) {
            cfmakeraw(&settings);
            tcsetattr(fd_, TCSANOW, &settings);
        }
    }
    explicit LineClient(int fd) : fd_(fd) {}
    ~LineClient() {
        if (fd_ >= 0) close(fd_);
    }
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    bool send(std::string_view bytes) const { return write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()); }

    bool waitReadable(Millis timeout) const {
        pollfd p{fd_, POLLIN, 0};
        return poll(&p, 1, static_cast<int>(timeout.count())) == 1;
    }

    // Discards what is waiting, as the driver does before each transmission.
    void flush() const { tcflush(fd_, TCIFLUSH); }

    // One line up to its LF, or what arrived before the time-out.
    std::string readLine(Millis timeout = Millis(1000)) const { return readLineFrom(fd_, timeout); }

    static std::string readLineFrom(int fd, Millis timeout) {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (line.empty() || line.back() != '\n') {
            char c = 0;
            if (!readByteFrom(fd, c, deadline)) break;
            line += c;
        }
        return line;
    }

    // Everything that arrives until the line has been quiet for the given time (at most for limit).
    std::string readUntilQuiet(Millis quiet, Millis limit = Millis(3000)) const {
        std::string bytes;
        char c = 0;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end &&
               readByteFrom(fd_, c, std::min(end, std::chrono::steady_clock::now() + quiet))) {
            bytes += c;
        }
        return bytes;
    }

    static bool readByteFrom(int fd, char& c, std::chrono::steady_clock::time_point deadline) {
        while (true) {
            const auto left = std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            const int ready = poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
            if (ready <= 0) return false;
            const ssize_t n = read(fd, &c, 1);
            if (n == 1) return true;
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) return false;
        }
    }

private:
    int fd_;
};

}  // namespace kesmzn::sim::client
