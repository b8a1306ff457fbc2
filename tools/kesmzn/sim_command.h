// kesmzn sim: the panel simulator as a command, with the options of the kesmzn-panel program.
#pragma once

#include <array>
#include <string>

#include "kesmzn_sim/panel.h"

namespace kesmzn::tool {

struct SimOptions {
    sim::PanelConfig config;
    std::string device;
    std::string link;
    std::string logPath;
    std::string modes;
    unsigned password = 0;
    bool passwordGiven = false;
    double duration = 0;
    bool quiet = false;
    std::array<std::string, sim::kFaultKinds> faults;
};

}  // namespace kesmzn::tool
