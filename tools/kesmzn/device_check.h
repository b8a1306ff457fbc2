// Checks of the device behind a port name, for the reasons that stop people most often: the name
// points nowhere, the device is not a terminal, this user may not open it, another program holds it,
// it has no modem lines or CTS is off.
#pragma once

#include <string>
#include <vector>

#include "instance.h"
#include "port_name.h"

namespace kesmzn::tool {

enum class Verdict { kOk, kNote, kWarning, kFailure };

struct Finding {
    Verdict verdict = Verdict::kOk;
    std::string topic;  // "device", "access", "terminal", "free", "modem lines", "settings"
    std::string text;   // what was found
    std::string cause;  // failures: a few words for a one-line error ("not found", "no permission", "in use")
    std::string hint;   // what to do about it
};

// Checks in order; stops after the first failure. The device is opened and closed again, never kept.
std::vector<Finding> InspectDevice(const std::string& portName, const ResolvedPort& resolved, const LineSettings& settings);

// Another process that has a file open.
struct Holder {
    int pid = 0;
    std::string command;
};

// Processes other than this one that have the device open.
std::vector<Holder> FindHolders(const std::string& devicePath);

// "pid 123 (minicom), pid 456 (cat)"
std::string DescribeHolders(const std::vector<Holder>& holders);

}  // namespace kesmzn::tool
