// kesmzn-panel: a simulated "MINTZ - EAGEL system" panel on a pseudo-terminal or a serial device.
#include "escape.h"
#include "kesmzn_sim/panel.h"
#include "options.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <string>

namespace {

using namespace kesmzn::sim;

struct FaultOption {
    const char* name;
    Fault fault;
    const char* help;
};

constexpr FaultOption kFaultOptions[] = {
    {"--drop-ack", Fault::DropAck, "send the reply without its acknowledgement"},
    {"--bad-lrc", Fault::BadLrc, "send the reply with a wrong LRC"},
    {"--silent", Fault::Silent, "ignore the command: no acknowledgement, no reply, no change"},
    {"--unsolicited-before-ack", Fault::UnsolicitedBeforeAck,
     "send an event line first and answer once it is acknowledged"},
};

struct LogSink {
    std::FILE* file = nullptr;
    bool trace = true;
    Clock::time_point start = Clock::now();

    void write(const LogEntry& entry) const {
        const double seconds = std::chrono::duration<double>(entry.when - start).count();
        const char* direction = entry.direction == Direction::Received ? "RX" : "TX";
        const std::string text = escapeBytes(entry.bytes);
        if (file) {
            std::fprintf(file, "%.6f %s %s\n", seconds, direction, text.c_str());
            std::fflush(file);
        }
        if (trace) std::fprintf(stderr, "%.6f %s %s\n", seconds, direction, text.c_str());
    }
};

// Waits for SIGINT or SIGTERM (blocked in every thread), or for the duration when it is positive.
void waitForEnd(const sigset_t& signals, double duration) {
    if (duration <= 0) {
        int signal = 0;
        while (sigwait(&signals, &signal) != 0) {
        }
        return;
    }
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(duration));
    while (true) {
        const auto left = end - Clock::now();
        if (left <= Clock::duration::zero()) return;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec timeout{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
        if (sigtimedwait(&signals, nullptr, &timeout) >= 0) return;
        if (errno != EINTR && errno != EAGAIN) return;
    }
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Simulated MINTZ - EAGEL system panel. Prints the device to open on its first line, "
                 "runs until SIGINT or SIGTERM (or --duration), then prints a summary."};
    PanelConfig config;
    config.unrecognisedEvery = 5;  // a panel also says things the driver does not know
    std::string device;
    std::string link;
    std::string logPath;
    std::string modes;
    unsigned password = 0;
    double duration = 0;
    bool quiet = false;
    std::string faultTexts[std::size(kFaultOptions)];

    app.add_option("--device", device, "play the panel on this serial device (or socat pty end) "
                                       "instead of a pseudo-terminal of its own");
    app.add_option("--link", link, "put a symbolic link to the pseudo-terminal here (removed at exit)")
        ->excludes("--device");
    app.add_option("--zones", config.zones, "number of zones")->check(CLI::Range(1u, kMaxZones))->capture_default_str();
    auto* passwordOption =
        app.add_option("--password", password, "accept only this password (default: any)")->check(CLI::Range(0u, 65535u));
    app.add_option("--modes", modes, "initial values of modes 1, 2, ... (comma-separated, 0-255)")
        ->check([](const std::string& text) { return parseModes(text) ? std::string() : "expected up to 19 values 0-255"; });
    app.add_flag("--d5", config.d5, "answer queries in the D5 status shapes");
    app.add_option("--events", config.eventIntervalSeconds,
                   "send a spontaneous event line every SECONDS (fractions allowed); each is sent again "
                   "until acknowledged")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--pending", config.maxPendingEvents, "events awaiting acknowledgement at once")
        ->check(CLI::Range(1u, 17u))->capture_default_str();
    app.add_option("--unrecognised-every", config.unrecognisedEvery,
                   "every Nth event line carries the unrecognised code 5F (0: never)")
        ->capture_default_str();
    app.add_option("--baud", config.baud, "line speed (device settings and pacing)")->capture_default_str();
    app.add_flag("--pace", config.pace, "hold each byte for its time on the wire at --baud");
    app.add_option("--seed", config.seed, "seed of the fault dice")->capture_default_str();
    for (std::size_t i = 0; i < std::size(kFaultOptions); ++i) {
        app.add_option(kFaultOptions[i].name, faultTexts[i],
                       std::string(kFaultOptions[i].help) + "; P: with probability P (0-1), nN: for the next N commands")
            ->type_name("P|nN")
            ->check([](const std::string& text) {
                return parseFaultRate(text) ? std::string() : "expected a probability 0-1 or nN";
            });
    }
    app.add_option("--log", logPath, "write every line received and sent to FILE, escaped");
    app.add_option("--duration", duration, "stop after SECONDS")->check(CLI::NonNegativeNumber);
    app.add_flag("--quiet", quiet, "no trace of lines on standard error");
    CLI11_PARSE(app, argc, argv);

    if (*passwordOption) config.password = password;
    if (!modes.empty()) config.modes = *parseModes(modes);
    for (std::size_t i = 0; i < std::size(kFaultOptions); ++i) {
        if (!faultTexts[i].empty()) config.faults[static_cast<std::size_t>(kFaultOptions[i].fault)] = *parseFaultRate(faultTexts[i]);
    }

    LogSink sink;
    sink.trace = !quiet;
    if (!logPath.empty()) {
        sink.file = std::fopen(logPath.c_str(), "w");
        if (!sink.file) {
            std::fprintf(stderr, "kesmzn-panel: cannot write %s: %s\n", logPath.c_str(), std::strerror(errno));
            return 1;
        }
    }
    if (sink.file || sink.trace) config.onLog = [&sink](const LogEntry& entry) { sink.write(entry); };

    // Blocked before the panel's thread starts, so that only sigwait sees them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::unique_ptr<Panel> panel;
    try {
        panel = device.empty() ? startOnPty(config, link) : startOnDevice(device, config);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kesmzn-panel: %s\n", error.what());
        return 1;
    }
    std::printf("%s\n", panel->devicePath().c_str());
    std::fflush(stdout);

    waitForEnd(signals, duration);
    panel->stop();
    const Stats stats = panel->stats();
    std::printf("kesmzn-panel: commands received %llu, answered %llu; events emitted %llu, acknowledged %llu, "
                "repeated %llu; unrecognised lines %llu\n",
                static_cast<unsigned long long>(stats.commandsReceived),
                static_cast<unsigned long long>(stats.commandsAnswered),
                static_cast<unsigned long long>(stats.eventsEmitted),
                static_cast<unsigned long long>(stats.eventsAcknowledged),
                static_cast<unsigned long long>(stats.eventRepeats),
                static_cast<unsigned long long>(stats.unrecognisedEmitted));
    std::fflush(stdout);
    if (sink.file) std::fclose(sink.file);
    return 0;
}
