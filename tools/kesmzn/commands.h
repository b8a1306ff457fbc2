// The commands of the kesmzn program: each adds its subcommand with its options, and runs it.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

#include "port_options.h"
#include "sim_command.h"

namespace kesmzn::tool {

struct InfoOptions {
    bool json = false;
};
CLI::App* AddInfoCommand(CLI::App& app, InfoOptions& options);
int RunInfo(const InfoOptions& options);

struct CheckOptions {
    std::string address;
    std::optional<int> block;
    bool json = false;
};
CLI::App* AddCheckCommand(CLI::App& app, CheckOptions& options);
int RunCheck(const CheckOptions& options);

struct ReadOptions {
    PortOptions port;
    std::string address;
    std::optional<int> block;
    std::optional<int> mode;
    bool json = false;
};
CLI::App* AddReadCommand(CLI::App& app, ReadOptions& options);
int RunRead(const ReadOptions& options);

struct WriteOptions {
    PortOptions port;
    std::string address;
    long value = 0;
    std::optional<int> mode;
};
CLI::App* AddWriteCommand(CLI::App& app, WriteOptions& options);
int RunWrite(const WriteOptions& options);

struct PollOptions {
    PortOptions port;
    std::vector<std::string> addresses;
    std::optional<int> mode;
    unsigned intervalMs = 1000;
    std::optional<unsigned> count;
    bool json = false;
};
CLI::App* AddPollCommand(CLI::App& app, PollOptions& options);
int RunPoll(const PollOptions& options);

struct WatchOptions {
    PortOptions port;
    std::optional<int> zones;
    unsigned intervalMs = 1000;
};
CLI::App* AddWatchCommand(CLI::App& app, WatchOptions& options);
int RunWatch(const WatchOptions& options);

CLI::App* AddPortsCommand(CLI::App& app);
int RunPorts();

struct DoctorOptions {
    PortOptions port;
};
CLI::App* AddDoctorCommand(CLI::App& app, DoctorOptions& options);
int RunDoctor(const DoctorOptions& options);

struct DemoOptions {
    PortOptions port;
};
CLI::App* AddDemoCommand(CLI::App& app, DemoOptions& options);
int RunDemo(const DemoOptions& options);

CLI::App* AddSimCommand(CLI::App& app, SimOptions& options);
int RunSim(SimOptions& options);

}  // namespace kesmzn::tool
