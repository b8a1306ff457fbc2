// A panel played by a script, on a real pseudo-terminal pair: the driver opens the terminal end by
// its path; the script answers lines it receives with byte strings of its own, and records every line
// the driver sent. For exact wire checks and for replies no real panel would send.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace kesmzn::testing {

class ScriptedPanel {
public:
    ScriptedPanel() {
        int terminal = -1;
        char name[128] = {};
        if (openpty(&master_, &terminal, name, nullptr, nullptr) != 0) return;
        termios settings{};
        tcgetattr(terminal, &settings);
        cfmakeraw(&settings);
        tcsetattr(terminal, TCSANOW, &settings);
        // Keep the terminal end open: without any holder, the master reads EIO between the driver's
        // close and its next open.
        terminal_ = terminal;
        path_ = name;
        thread_ = std::thread([this] { Serve(); });
    }

    ~ScriptedPanel() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (master_ >= 0) close(master_);
        if (terminal_ >= 0) close(terminal_);
    }

    ScriptedPanel(const ScriptedPanel&) = delete;
    ScriptedPanel& operator=(const ScriptedPanel&) = delete;

    const std::string& path() const { return path_; }

    // When the driver sends exactly this line (CR LF included), answer with the replies, once. Rules
    // are tried in the order given.
    void On(std::string line, std::vector<std::string> replies) {
        std::lock_guard lock(mutex_);
        rules_.push_back({std::move(line), std::move(replies), false});
    }

    // Answer the next line the driver sends, whatever it is.
    void OnNext(std::vector<std::string> replies) {
        std::lock_guard lock(mutex_);
        rules_.push_back({std::nullopt, std::move(replies), false});
    }

    // Writes bytes to the line now.
    void Send(const std::string& bytes) {
        std::lock_guard lock(writeMutex_);
        WriteAll(bytes);
    }

    // Every line the driver has sent so far (each ends with its LF).
    std::vector<std::string> Received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }

    // Waits until the driver has sent count lines; false after the time-out.
    bool WaitForLines(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
    }

private:
    struct Rule {
        std::optional<std::string> line;
        std::vector<std::string> replies;
        bool used;
    };

    void WriteAll(const std::string& bytes) {
        std::size_t at = 0;
        while (at < bytes.size()) {
            const ssize_t n = write(master_, bytes.data() + at, bytes.size() - at);
            if (n <= 0) return;
            at += static_cast<std::size_t>(n);
        }
    }

    void Serve() {
        std::string pending;
        while (!stop_) {
            pollfd fd{master_, POLLIN, 0};
            if (poll(&fd, 1, 20) <= 0 || (fd.revents & POLLIN) == 0) continue;
            char buffer[512];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0) continue;
            pending.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                const std::string line = pending.substr(0, end + 1);
                pending.erase(0, end + 1);
                Answer(line);
            }
        }
    }

    void Answer(const std::string& line) {
        std::vector<std::string> replies;
        {
            std::lock_guard lock(mutex_);
            received_.push_back(line);
            for (auto& rule : rules_) {
                if (rule.used || (rule.line && *rule.line != line)) continue;
                rule.used = true;
                replies = rule.replies;
                break;
            }
        }
        changed_.notify_all();
        std::lock_guard lock(writeMutex_);
        for (const auto& reply : replies) WriteAll(reply);
    }

    int master_ = -1;
    int terminal_ = -1;
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::mutex writeMutex_;
    std::condition_variable changed_;
    std::vector<Rule> rules_;
    std::vector<std::string> received_;
};

}  // namespace kesmzn::testing
