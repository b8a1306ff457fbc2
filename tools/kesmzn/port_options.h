// The options that say which port to open and how: shared by every command that talks to the panel.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

#include "instance.h"

namespace kesmzn::tool {

struct PortOptions {
    std::string portName;  // empty: the simulated panel in-process
    std::optional<unsigned> baud;
    std::optional<unsigned> dataBits;
    std::string parity;    // empty: the driver's default
    std::string stopBits;  // empty: the driver's default
    unsigned timeoutMs = 1000;
    int station = 1;
    bool trace = false;
    std::string logFile;
};

void AddPortOptions(CLI::App& command, PortOptions& options);

// The settings for ColdStart: the options given, the driver's announced defaults for the others.
LineSettings SettingsFrom(const PortOptions& options, const DriverInfoData& defaults);

}  // namespace kesmzn::tool
