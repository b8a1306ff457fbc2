// The serial devices of this machine and the port names that KESMZN_DEVICES maps.
#pragma once

#include <string>
#include <vector>

namespace kesmzn::tool {

struct SerialDevice {
    std::string path;                   // /dev/ttyUSB0
    std::string driver;                 // the kernel driver behind it (ftdi_sio, serial8250, ...)
    std::vector<std::string> stableNames;  // /dev/serial/by-id/... and by-path/... links to it
    std::string comName;                // COMn for /dev/ttyS(n-1), which the driver maps without a link
};

// Terminals with a device behind them (on-board UARTs only when a port was detected), by path.
std::vector<SerialDevice> ListSerialDevices();

struct MappedName {
    std::string name;    // the entry of the folder
    std::string target;  // where the link points (the entry itself when it is no link)
    bool present = false;  // the device behind it exists
};

// The entries of the KESMZN_DEVICES folder, by name.
std::vector<MappedName> ListMappedNames(const std::string& folder);

}  // namespace kesmzn::tool
