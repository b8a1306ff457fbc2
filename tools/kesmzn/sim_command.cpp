// kesmzn sim: plays the panel on a pseudo-terminal or a serial device until Ctrl-C (or --duration),
// like the kesmzn-panel program, through the same simulator library and option parsers.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include "commands.h"
#include "connection.h"
#include "escape.h"
#include "exit_status.h"
#include "options.h"
#include "signals.h"

namespace kesmzn::tool {
namespace {

struct FaultOption {
    const char* name;
    sim::Fault fault;
    const char* help;
};

constexpr FaultOption kFaultOptions[] = {
    {"--drop-ack", sim::Fault::DropAck, "send the reply without its acknowledgement"},
    {"--bad-lrc", sim::Fault::BadLrc, "send the reply with a wrong LRC"},
    {"--silent", sim::Fault::Silent, "ignore the command: no acknowledgement, no reply, no change"},
    {"--unsolicited-before-ack", sim::Fault::UnsolicitedBeforeAck,
     "send an event line first and answer once it is acknowledged"},
};

struct LineLog {
    std::FILE* file = nullptr;
    bool trace = true;
    sim::Clock::time_point start = sim::Clock::now();
};

void WriteLogEntry(const LineLog& log, const sim::LogEntry& entry) {
    const double seconds = std::chrono::duration<double>(entry.when - log.start).count();
    const char* direction = entry.direction == sim::Direction::Received ? "RX" : "TX";
    const std::string text = sim::escapeBytes(entry.bytes);
    if (log.file != nullptr) {
        std::fprintf(log.file, "%.6f %s %s\n", seconds, direction, text.c_str());
        std::fflush(log.file);
    }
    if (log.trace) std::fprintf(stderr, "%.6f %s %s\n", seconds, direction, text.c_str());
}

}  // namespace

CLI::App* AddSimCommand(CLI::App& app, SimOptions& options) {
    auto* command = app.add_subcommand("sim", "a simulated panel on a pseudo-terminal or a serial device: prints the "
                                              "device to open, runs until Ctrl-C (or --duration), then a summary");
    sim::PanelConfig& config = options.config;
    config.unrecognisedEvery = 5;  // as kesmzn-panel: a panel also says things the driver does not know
    command->add_option("--device", options.device, "play the panel on this serial device (or socat pty end) "
                                                    "instead of a pseudo-terminal of its own");
    command->add_option("--link", options.link, "put a symbolic link to the pseudo-terminal here (removed at exit); "
                                                "a link in the KESMZN_DEVICES folder gives it a port name")
        ->excludes("--device");
    command->add_option("--zones", config.zones, "number of zones")->check(CLI::Range(1u, sim::kMaxZones))->capture_default_str();
    command->add_option("--password", options.password, "accept only this password (default: any)")
        ->check(CLI::Range(0u, 65535u))
        ->each([&options](const std::string&) { options.passwordGiven = true; });
    command->add_option("--modes", options.modes, "initial values of modes 1, 2, ... (comma-separated, 0-255)")
        ->check([](const std::string& text) { return sim::parseModes(text) ? std::string() : "expected up to 19 values 0-255"; });
    command->add_flag("--d5", config.d5, "answer queries in the D5 status shapes");
    command->add_option("--events", config.eventIntervalSeconds,
                        "send a spontaneous event line every SECONDS (fractions allowed); each is sent again until "
                        "acknowledged")
        ->check(CLI::NonNegativeNumber);
    command->add_option("--pending", config.maxPendingEvents, "events awaiting acknowledgement at once")
        ->check(CLI::Range(1u, 17u))
        ->capture_default_str();
    command->add_option("--unrecognised-every", config.unrecognisedEvery,
                        "every Nth event line carries the unrecognised code 5F (0: never)")
        ->capture_default_str();
    command->add_option("--baud", config.baud, "line speed (device settings and pacing)")->capture_default_str();
    command->add_flag("--pace", config.pace, "hold each byte for its time on the wire at --baud");
    command->add_option("--seed", config.seed, "seed of the fault dice")->capture_default_str();
    for (std::size_t i = 0; i < std::size(kFaultOptions); ++i) {
        command->add_option(kFaultOptions[i].name, options.faults[i],
                            std::string(kFaultOptions[i].help) + "; P: with probability P (0-1), nN: for the next N commands")
            ->type_name("P|nN")
            ->check([](const std::string& text) {
                return sim::parseFaultRate(text) ? std::string() : "expected a probability 0-1 or nN";
            });
    }
    command->add_option("--log", options.logPath, "write every line received and sent to FILE, escaped");
    command->add_option("--duration", options.duration, "stop after SECONDS")->check(CLI::NonNegativeNumber);
    command->add_flag("--quiet", options.quiet, "no trace of lines on standard error");
    return command;
}

int RunSim(SimOptions& options) {
    sim::PanelConfig& config = options.config;
    if (options.passwordGiven) config.password = options.password;
    if (!options.modes.empty()) config.modes = *sim::parseModes(options.modes);
    for (std::size_t i = 0; i < std::size(kFaultOptions); ++i) {
        if (!options.faults[i].empty()) {
            config.faults[static_cast<std::size_t>(kFaultOptions[i].fault)] = *sim::parseFaultRate(options.faults[i]);
        }
    }
    LineLog log;
    log.trace = !options.quiet;
    if (!options.logPath.empty()) {
        log.file = std::fopen(options.logPath.c_str(), "w");
        if (log.file == nullptr) {
            PrintError("cannot write " + options.logPath + ": " + std::strerror(errno));
            return kExitFailure;
        }
    }
    if (log.file != nullptr || log.trace) config.onLog = [&log](const sim::LogEntry& entry) { WriteLogEntry(log, entry); };

    std::unique_ptr<sim::Panel> panel;
    try {
        panel = options.device.empty() ? sim::startOnPty(config, options.link) : sim::startOnDevice(options.device, config);
    } catch (const std::exception& error) {
        PrintError(std::string("cannot start the simulated panel: ") + error.what());
        if (log.file != nullptr) std::fclose(log.file);
        return kExitFailure;
    }
    std::printf("%s\n", panel->devicePath().c_str());
    std::fflush(stdout);

    const auto end = sim::Clock::now() + std::chrono::duration_cast<sim::Clock::duration>(std::chrono::duration<double>(options.duration));
    while (options.duration <= 0 || sim::Clock::now() < end) {
        const auto left = options.duration <= 0 ? std::chrono::milliseconds(1000)
                                                 : std::chrono::duration_cast<std::chrono::milliseconds>(end - sim::Clock::now());
        if (StopRequested(left)) break;
    }
    panel->stop();
    const sim::Stats stats = panel->stats();
    std::printf("kesmzn sim: commands received %llu, answered %llu; events emitted %llu, acknowledged %llu, repeated %llu; "
                "unrecognised lines %llu\n",
                static_cast<unsigned long long>(stats.commandsReceived), static_cast<unsigned long long>(stats.commandsAnswered),
                static_cast<unsigned long long>(stats.eventsEmitted), static_cast<unsigned long long>(stats.eventsAcknowledged),
                static_cast<unsigned long long>(stats.eventRepeats), static_cast<unsigned long long>(stats.unrecognisedEmitted));
    std::fflush(stdout);
    if (log.file != nullptr) std::fclose(log.file);
    return kExitOk;
}

}  // namespace kesmzn::tool
