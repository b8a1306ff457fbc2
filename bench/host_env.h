// The host around the driver during a benchmark run: a folder of its own (the current folder, so no
// initialization file is found), a KESMZN_DEVICES folder where each simulated panel's pseudo-terminal
// gets a port name, the driver's log in a file there, and no listener ticks unless a benchmark asks.
#pragma once

#include <string>

namespace kesmzn::bench {

// Sets the process up once; later calls do nothing.
void SetUpHost();

// Where the links that give port names to devices live.
const std::string& DevicesFolder();

// Removes the folder again (at the end of the run).
void TearDownHost();

}  // namespace kesmzn::bench
