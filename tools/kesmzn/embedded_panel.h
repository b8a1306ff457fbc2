// The panel simulator started in-process when no --port is given, so that the commands work on a
// machine without hardware: a pseudo-terminal, linked under a port name in a private KESMZN_DEVICES
// folder that this process alone uses.
#pragma once

#include <memory>
#include <string>

#include "kesmzn_sim/panel.h"

namespace kesmzn::tool {

inline constexpr const char* kEmbeddedPortName = "SIM";

struct EmbeddedPanel {
    std::string folder;  // the private KESMZN_DEVICES
    std::string link;    // folder/SIM
    std::unique_ptr<sim::Panel> panel;
};

// Starts the panel (16 zones; mode n holds n) and points KESMZN_DEVICES at its folder. events: send a
// spontaneous event line now and then, for the live view. Nothing, with error set, when it cannot.
std::unique_ptr<EmbeddedPanel> StartEmbeddedPanel(bool events, std::string& error);

// Stops the panel and removes its link and folder. Idempotent.
void StopEmbeddedPanel(EmbeddedPanel& embedded);

// Removes the link and folder of the panel started last, with nothing but system calls: for a signal
// handler, when the process is about to end at once.
void RemoveEmbeddedPanelFilesNow();

}  // namespace kesmzn::tool
