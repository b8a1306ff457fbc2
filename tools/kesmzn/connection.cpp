#include "connection.h"

#include <unistd.h>

#include <cstdio>

#include "device_check.h"
#include "exit_status.h"
#include "port_name.h"

namespace kesmzn::tool {

int LoadForCommand(Connection& connection, const PortOptions& options) {
    std::string error;
    auto driver = LoadDriver(error);
    if (!driver) {
        PrintError(error);
        return kExitFailure;
    }
    connection.driver = std::move(*driver);
    const std::optional<std::string> file = options.logFile.empty() ? std::nullopt : std::optional(options.logFile);
    if (!OpenDriverLog(connection.log, file, options.trace, error)) {
        PrintError(error);
        return kExitUsage;
    }
    return kExitOk;
}

std::string PortLabel(const std::string& portName) {
    const auto resolved = ResolvePortName(portName);
    return portName + " (" + (resolved ? DeviceText(*resolved) : std::string("no device")) + ")";
}

std::string PortLabel(const Connection& connection) { return PortLabel(connection.portName); }

std::string DescribeOpenFailure(const std::string& portName, const LineSettings& settings) {
    const std::string start = "cannot open port " + PortLabel(portName) + ": ";
    const auto resolved = ResolvePortName(portName);
    if (!resolved) return start + "the name resolves to no path";
    for (const Finding& finding : InspectDevice(portName, *resolved, settings)) {
        if (finding.verdict == Verdict::kFailure) return start + finding.cause + ": " + finding.text + "; " + finding.hint;
    }
    return start + "the driver could not open it with " + DescribeSettings(settings) +
           "; --trace shows the driver's own messages";
}

int StartEmbeddedForCommand(Connection& connection, bool panelEvents) {
    std::string error;
    connection.embedded = StartEmbeddedPanel(panelEvents, error);
    if (!connection.embedded) {
        PrintError(error);
        return kExitFailure;
    }
    connection.portName = kEmbeddedPortName;
    PrintError("no --port given: using a simulated panel (" + std::to_string(connection.embedded->panel->zoneStates().size()) +
               " zones) on " + connection.embedded->panel->devicePath() + " as port " + kEmbeddedPortName);
    return kExitOk;
}

int OpenForCommand(Connection& connection, const PortOptions& options, OpenMode mode) {
    if (!connection.embedded) {
        connection.portName = options.portName;
        if (options.portName.empty()) {
            if (const int status = StartEmbeddedForCommand(connection, mode.panelEvents); status != kExitOk) return status;
        }
    }
    if (connection.portName.size() > kMaxPortNameLength) {
        PrintError("cannot open port " + connection.portName + ": a host gives at most 11 characters; name the device "
                   "with a link in a KESMZN_DEVICES folder (ln -s " + connection.portName +
                   " \"$KESMZN_DEVICES/COM3\") and give --port COM3");
        return kExitPortNotOpened;
    }
    connection.settings = SettingsFrom(options, connection.driver.info);
    connection.instance = NewInstance(connection.driver, options.station);
    if (connection.instance.block == nullptr) {
        PrintError("out of memory for the instance block");
        return kExitFailure;
    }
    // One-shot commands need no listener passes: every exchange answers the panel's own lines itself.
    SetListenerTick(mode.listener ? DefaultListenerTick() : 0);
    const int result = ColdStart(connection.instance, connection.portName, connection.settings);
    if (result == KES_OK) {
        connection.started = true;
        return kExitOk;
    }
    DrainLog(connection.log);
    if (result == KES_FAILED) {
        PrintError("the driver could not register its host client for station " + std::to_string(options.station));
        return kExitFailure;
    }
    PrintError(DescribeOpenFailure(connection.portName, connection.settings));
    return kExitPortNotOpened;
}

void CloseConnection(Connection& connection) {
    if (connection.instance.block != nullptr) {
        EndInstance(connection.instance);
        connection.instance.block = nullptr;  // kept allocated on purpose: the listener may still hold it
    }
    DrainLog(connection.log);
    if (connection.embedded) {
        StopEmbeddedPanel(*connection.embedded);
        connection.embedded.reset();
    }
}

}  // namespace kesmzn::tool
