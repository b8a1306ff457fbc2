// kesmzn ports: the serial devices of this machine and the port names that KESMZN_DEVICES maps.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "commands.h"
#include "exit_status.h"
#include "port_name.h"
#include "serial_devices.h"

namespace kesmzn::tool {

CLI::App* AddPortsCommand(CLI::App& app) {
    return app.add_subcommand("ports", "the serial devices of this machine and the port names KESMZN_DEVICES maps");
}

int RunPorts() {
    const auto devices = ListSerialDevices();
    std::printf("serial devices:\n");
    if (devices.empty()) std::printf("  none found\n");
    for (const SerialDevice& device : devices) {
        std::string line = "  " + device.path;
        line.resize(std::max<std::size_t>(line.size() + 1, 16), ' ');
        if (!device.comName.empty()) line += "port name " + device.comName + "  ";
        if (!device.driver.empty()) line += "(driver " + device.driver + ")";
        std::printf("%s\n", line.c_str());
        for (const std::string& stable : device.stableNames) std::printf("      %s\n", stable.c_str());
    }

    const char* folder = std::getenv("KESMZN_DEVICES");
    if (folder == nullptr || *folder == '\0') {
        std::printf("\nKESMZN_DEVICES is not set: COMn opens /dev/ttyS(n-1), NUL the null device, any other name "
                    "/dev/NAME.\nTo give a device a port name: mkdir ~/kesmzn-ports && ln -s /dev/ttyUSB0 "
                    "~/kesmzn-ports/COM3 && export KESMZN_DEVICES=~/kesmzn-ports\n");
        return kExitOk;
    }
    std::printf("\nport names in KESMZN_DEVICES=%s:\n", folder);
    const auto names = ListMappedNames(folder);
    if (names.empty()) std::printf("  none\n");
    for (const MappedName& mapped : names) {
        std::string line = "  " + mapped.name;
        line.resize(std::max<std::size_t>(line.size() + 1, 16), ' ');
        line += "-> " + mapped.target;
        if (!mapped.present) line += "  (missing)";
        if (mapped.name.size() > kMaxPortNameLength) line += "  (longer than 11 characters: a host cannot give it)";
        std::printf("%s\n", line.c_str());
    }
    std::printf("other names: COMn opens /dev/ttyS(n-1), NUL the null device, any other name /dev/NAME.\n");
    return kExitOk;
}

}  // namespace kesmzn::tool
