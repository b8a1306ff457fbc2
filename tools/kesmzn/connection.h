// Everything a command needs to talk to the panel: the loaded driver, its log, an instance, and the
// port it opened (a real one, or the simulated panel in-process when no --port was given).
#pragma once

#include <memory>
#include <string>

#include "driver.h"
#include "driver_log.h"
#include "embedded_panel.h"
#include "instance.h"
#include "messages.h"
#include "port_options.h"

namespace kesmzn::tool {

struct Connection {
    Driver driver;
    DriverLog log;
    Instance instance;
    std::unique_ptr<EmbeddedPanel> embedded;
    std::string portName;
    LineSettings settings;
    bool started = false;  // ColdStart succeeded
};

// Loads the driver and points its log where the options say. 0, or the exit status after the message.
int LoadForCommand(Connection& connection, const PortOptions& options);

struct OpenMode {
    bool listener = false;     // keep the listener collecting the panel's events (poll, watch)
    bool panelEvents = false;  // the simulated panel sends events now and then (watch)
};

// Starts the simulated panel in-process and says so in one line on standard error. 0, or the exit
// status after a message.
int StartEmbeddedForCommand(Connection& connection, bool panelEvents);

// Opens the port named by the options (or starts the simulated panel and says so), ColdStart.
// 0, or the exit status after a one-line message that names the port, the device, the cause and a hint.
int OpenForCommand(Connection& connection, const PortOptions& options, OpenMode mode);

// Ends the instance and stops the simulated panel. Idempotent.
void CloseConnection(Connection& connection);

// "SIM (/dev/pts/3)": the port as given and the device it resolves to now.
std::string PortLabel(const Connection& connection);
std::string PortLabel(const std::string& portName);

// The message for a port that cannot be opened, from a look at its device.
std::string DescribeOpenFailure(const std::string& portName, const LineSettings& settings);

}  // namespace kesmzn::tool
