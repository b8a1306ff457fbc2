// A pseudo-terminal pair for port tests: the port layer opens the terminal end by its path, the test
// plays the far end of the line on the master.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

namespace kesmzn::testing {

class PtyPair {
public:
    PtyPair() {
        char name[128] = {};
        if (openpty(&master_, &terminal_, name, nullptr, nullptr) == 0) path_ = name;
    }
    ~PtyPair() {
        CloseMaster();
        if (terminal_ >= 0) close(terminal_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::string& path() const { return path_; }
    // A descriptor of the terminal end kept by the test: reads the settings the port layer applied,
    // and keeps the terminal alive between a close and the next open.
    int terminal() const { return terminal_; }

    void Send(const std::string& bytes) {
        std::size_t at = 0;
        while (at < bytes.size()) {
            const ssize_t n = write(master_, bytes.data() + at, bytes.size() - at);
            if (n <= 0) return;
            at += static_cast<std::size_t>(n);
        }
    }

    // What the port layer sent, up to count bytes or until the time-out.
    std::string Receive(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(2)) {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (got.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd watched{master_, POLLIN, 0};
            if (poll(&watched, 1, static_cast<int>(left.count())) <= 0) break;
            char buffer[256];
            const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    // Waits until the terminal end holds at least count unread input bytes.
    bool WaitQueued(int count, std::chrono::milliseconds timeout = std::chrono::seconds(2)) const {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            int queued = 0;
            if (ioctl(terminal_, TIOCINQ, &queued) == 0 && queued >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

    // Hangs the terminal end up, as a device that goes away.
    void CloseMaster() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    int terminal_ = -1;
    std::string path_;
};

}  // namespace kesmzn::testing
