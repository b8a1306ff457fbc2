// The kesmzn program (or any other) run as a user runs it: a process with its own environment and
// folder, its standard output and error, and its exit status. Every wait is bounded.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kesmzn::tool::testing {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Environment changes for a child: a value sets the variable, nullopt removes it.
using Environment = std::map<std::string, std::optional<std::string>>;

inline std::vector<std::string> ChildEnvironment(const Environment& changes) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        const std::string name = variable.substr(0, variable.find('='));
        if (changes.count(name) == 0) variables.push_back(variable);
    }
    for (const auto& [name, value] : changes) {
        if (value) variables.push_back(name + "=" + *value);
    }
    return variables;
}

// A running child with pipes on its standard output and error.
class Process {
public:
    Process(const std::vector<std::string>& command, const Environment& environment = {}, const std::string& folder = {}) {
        int out[2];
        int err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        std::vector<std::string> arguments = command;
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        std::vector<std::string> variables = ChildEnvironment(environment);
        std::vector<char*> envp;
        for (std::string& variable : variables) envp.push_back(variable.data());
        envp.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        outFd_ = out[0];
        errFd_ = err[0];
    }
    ~Process() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (outFd_ >= 0) close(outFd_);
        if (errFd_ >= 0) close(errFd_);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool started() const { return pid_ > 0; }
    void Signal(int signal) const {
        if (pid_ > 0) kill(pid_, signal);
    }

    // Reads what is there within wait; false when both pipes have ended.
    bool Pump(std::chrono::milliseconds wait) {
        pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
        if (outFd_ < 0 && errFd_ < 0) return false;
        if (poll(fds, 2, static_cast<int>(wait.count())) <= 0) return true;
        ReadFrom(fds[0], outFd_, out_);
        ReadFrom(fds[1], errFd_, err_);
        return outFd_ >= 0 || errFd_ >= 0;
    }

    // Waits until the condition holds on what was read, or the time-out passes.
    bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (!condition()) {
            if (Clock::now() >= deadline || !Pump(50ms)) return condition();
        }
        return true;
    }
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout = 10s) {
        return WaitFor([&] { return out_.find(text) != std::string::npos; }, timeout);
    }
    bool WaitForError(const std::string& text, std::chrono::milliseconds timeout = 10s) {
        return WaitFor([&] { return err_.find(text) != std::string::npos; }, timeout);
    }

    // Reads to the end and waits for the exit; the exit status, 128 + signal, or -1 after the time-out
    // (the child is then killed).
    int Finish(std::chrono::milliseconds timeout = 30s) {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline && Pump(50ms)) {
        }
        if (pid_ <= 0) return -1;
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() >= deadline) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
                pid_ = -1;
                return -1;
            }
            std::this_thread::sleep_for(10ms);
        }
        pid_ = -1;
        if (WIFEXITED(status)) return WEXITSTATUS(status);
        return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    }

    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

private:
    static void ReadFrom(const pollfd& ready, int& fd, std::string& text) {
        if (fd < 0 || (ready.revents & (POLLIN | POLLHUP | POLLERR)) == 0) return;
        char buffer[4096];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            close(fd);
            fd = -1;
        }
    }

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
};

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a command to its end.
inline Result RunProgram(const std::vector<std::string>& command, const Environment& environment = {},
                  const std::string& folder = {}, std::chrono::milliseconds timeout = 30s) {
    Process process(command, environment, folder);
    Result result;
    result.status = process.Finish(timeout);
    result.out = process.out();
    result.err = process.err();
    return result;
}

// The kesmzn program with arguments.
inline std::vector<std::string> Kesmzn(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), KESMZN_TOOL_PATH);
    return arguments;
}

inline std::size_t LineCount(const std::string& text) {
    std::size_t lines = 0;
    for (const char c : text) lines += c == '\n' ? 1 : 0;
    return lines;
}

// The words of a line, split at blanks.
inline std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::size_t at = text.find_first_not_of(' ');
    while (at != std::string::npos) {
        const std::size_t end = text.find(' ', at);
        words.push_back(text.substr(at, end - at));
        at = text.find_first_not_of(' ', end);
    }
    return words;
}

// Whether text has the shape of pattern, where '9' stands for any digit and '+' for + or -.
inline bool Shaped(const std::string& text, const std::string& pattern) {
    if (text.size() != pattern.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (pattern[i] == '9' ? (c < '0' || c > '9') : pattern[i] == '+' ? (c != '+' && c != '-') : c != pattern[i]) return false;
    }
    return true;
}

// The numbers of the statistics line "N reads sent, N answered, N failed ...": sent, answered, failed.
inline std::vector<long> Statistics(const std::string& out) {
    const std::size_t end = out.find(" reads sent, ");
    if (end == std::string::npos) return {};
    const std::size_t start = out.rfind('\n', end) + 1;
    long sent = 0;
    long answered = 0;
    long failed = 0;
    if (std::sscanf(out.c_str() + start, "%ld reads sent, %ld answered, %ld failed", &sent, &answered, &failed) != 3) return {};
    return {sent, answered, failed};
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace kesmzn::tool::testing
